// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/steprunner.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSteps, "quaverly.app.steps")

namespace {
const QString kErrorTitle = QStringLiteral("Application Error");
}

QString formLocation(const char* procedure) {
    return QStringLiteral("in Tindrell2021/08/31.Form1.") + QString::fromLatin1(procedure) +
           QLatin1Char(' ');
}

QString errorBoxText(const QString& description, const QString& location, int step) {
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") +
           QString::number(step) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") +
           QStringLiteral(QUAVERLY_SUPPORT_EMAIL);
}

QString StepRunner::describe(const std::exception& e) {
    if (auto* f = dynamic_cast<const Failure*>(&e)) return f->description();
    return QString::fromLocal8Bit(e.what());
}

void StepRunner::fail(int n, const QString& description) {
    qCWarning(lcSteps).noquote()
        << QStringLiteral(
               "%1 (%2at line %3); the box shown says whom to tell, and the program "
               "goes on with its next step.")
               .arg(description, m_location)
               .arg(n);
    m_boxes.error(kErrorTitle, errorBoxText(description, m_location, n));
}
