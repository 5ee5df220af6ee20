// SPDX-License-Identifier: GPL-3.0-or-later
// The properties of the media-player object: read as the bus library reads them, written
// only with values of the property's own type that the player takes.
#include <cmath>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMetaType>
#include <QLoggingCategory>
#include <QMetaProperty>

#include "platform/dbus/mprisadaptors.h"

Q_DECLARE_LOGGING_CATEGORY(lcMpris)

void refuseCall(const QDBusMessage& message, const QString& name, const QString& text) {
    qCDebug(lcMpris) << message.member() << message.arguments().value(1).toString()
                     << "refused:" << text;
    message.setDelayedReply(true);
    QDBusConnection::sessionBus().send(message.createErrorReply(name, text));
}

namespace {
void refuse(const QDBusMessage& message, QDBusError::ErrorType error, const QString& text) {
    refuseCall(message, QDBusError::errorString(error), text);
}

QString dotted(const QString& interface, const QString& name) {
    return interface.isEmpty() ? name : interface + QLatin1Char('.') + name;
}

// The D-Bus type a value came with.
QString signatureOf(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    return QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
}

// Why the player does not take a value of the right type; empty when it does.
QString refusal(const QMetaProperty& property, QObject* adaptor, const QVariant& value) {
    if (value.metaType().id() == QMetaType::Double && std::isnan(value.toDouble()))
        return QStringLiteral("%1 takes a number, not NaN").arg(QLatin1String(property.name()));
    if (property.name() == QByteArrayLiteral("Rate") && value.toDouble() < 0)
        return QStringLiteral("Rate takes 0 (a pause) or more, not %1").arg(value.toDouble());
    // A property that cannot change (the list always wraps) takes only the value it has.
    const QVariant now = property.read(adaptor);
    if (property.name() == QByteArrayLiteral("LoopStatus") && value != now)
        return QStringLiteral("LoopStatus is always \"%1\": the list starts again after its end")
            .arg(now.toString());
    return {};
}
}  // namespace

struct MprisPropertiesAdaptor::Found {
    // The adaptor of `interface`, or with none given, the first one with the property.
    QObject* adaptor = nullptr;
    QMetaProperty property;  // invalid when the adaptor has none of that name
};

MprisPropertiesAdaptor::MprisPropertiesAdaptor(QObject* object) : QDBusAbstractAdaptor(object) {}

// The object's other adaptors by their interfaces.
QList<std::pair<QString, QObject*>> MprisPropertiesAdaptor::adaptors() const {
    QList<std::pair<QString, QObject*>> out;
    for (QObject* child : parent()->children()) {
        if (child == this || !qobject_cast<QDBusAbstractAdaptor*>(child)) continue;
        const QMetaObject* mo = child->metaObject();
        const int info = mo->indexOfClassInfo("D-Bus Interface");
        if (info >= 0) out.append({QString::fromLatin1(mo->classInfo(info).value()), child});
    }
    return out;
}

MprisPropertiesAdaptor::Found MprisPropertiesAdaptor::find(const QString& interface,
                                                           const QString& name) const {
    for (const auto& [served, adaptor] : adaptors()) {
        if (!interface.isEmpty() && interface != served) continue;
        const QMetaObject* mo = adaptor->metaObject();
        // Only the adaptor's own properties are the interface's, not QObject's.
        const int index = mo->indexOfProperty(name.toUtf8().constData());
        const bool own = index >= QDBusAbstractAdaptor::staticMetaObject.propertyCount();
        if (own) return {adaptor, mo->property(index)};
        if (!interface.isEmpty()) return {adaptor, {}};
    }
    return {};
}

QDBusVariant MprisPropertiesAdaptor::Get(const QString& interface, const QString& name,
                                         const QDBusMessage& message) {
    const Found f = find(interface, name);
    if (!f.adaptor)
        refuse(message, QDBusError::UnknownInterface,
               QStringLiteral("Interface %1 was not found in object %2")
                   .arg(interface, message.path()));
    else if (!f.property.isValid())
        refuse(message, QDBusError::UnknownProperty,
               QStringLiteral("Property %1 was not found in object %2")
                   .arg(dotted(interface, name), message.path()));
    else
        return QDBusVariant(f.property.read(f.adaptor));
    return {};
}

QVariantMap MprisPropertiesAdaptor::GetAll(const QString& interface, const QDBusMessage& message) {
    QVariantMap all;
    bool found = false;
    for (const auto& [served, adaptor] : adaptors()) {
        if (!interface.isEmpty() && interface != served) continue;
        found = true;
        const QMetaObject* mo = adaptor->metaObject();
        for (int i = QDBusAbstractAdaptor::staticMetaObject.propertyCount();
             i < mo->propertyCount(); ++i) {
            const QMetaProperty p = mo->property(i);
            if (p.isReadable()) all.insert(QString::fromLatin1(p.name()), p.read(adaptor));
        }
    }
    if (!found && !interface.isEmpty())
        refuse(message, QDBusError::UnknownInterface,
               QStringLiteral("Interface %1 was not found in object %2")
                   .arg(interface, message.path()));
    return all;
}

void MprisPropertiesAdaptor::Set(const QString& interface, const QString& name,
                                 const QDBusVariant& value, const QDBusMessage& message) {
    const Found f = find(interface, name);
    const QString property = dotted(interface, name);
    if (!f.adaptor && !interface.isEmpty()) {
        refuse(message, QDBusError::UnknownInterface,
               QStringLiteral("Interface %1 was not found in object %2")
                   .arg(interface, message.path()));
        return;
    }
    if (!f.property.isValid()) {
        refuse(
            message, QDBusError::UnknownProperty,
            QStringLiteral("Property %1 was not found in object %2").arg(property, message.path()));
        return;
    }
    if (!f.property.isWritable()) {
        refuse(message, QDBusError::PropertyReadOnly,
               QStringLiteral("Property %1 is read-only").arg(property));
        return;
    }
    const QVariant v = value.variant();
    const QString wanted =
        QString::fromLatin1(QDBusMetaType::typeToSignature(f.property.metaType()));
    if (signatureOf(v) != wanted) {
        refuse(
            message, QDBusError::InvalidArgs,
            QStringLiteral("%1 is of type '%2', not '%3'").arg(property, wanted, signatureOf(v)));
        return;
    }
    if (const QString why = refusal(f.property, f.adaptor, v); !why.isEmpty()) {
        refuse(message, QDBusError::InvalidArgs, why);
        return;
    }
    f.property.write(f.adaptor, v);
}
