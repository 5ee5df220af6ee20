// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/skinframework.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStringDecoder>
#include <QWidget>

#include "core/failure.h"
#include "core/ifilesystem.h"

namespace {

// Set while a sheet is being parsed: Qt reports a sheet it cannot parse only as a warning.
bool* g_parseFailed = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void noticeParseFailure(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("Could not parse stylesheet"))) {
        *g_parseFailed = true;
        return;
    }
    g_previousHandler(type, context, text);
}

}  // namespace

bool parsesAsStyleSheet(const QString& text) {
    // Qt reads a widget's sheet that fails as a whole sheet a second time as the body of
    // "* { ... }", where almost any text passes. The empty rule in front makes that second
    // reading fail always, so the verdict is Qt's reading as a whole sheet, as a skin is.
    bool failed = false;
    g_parseFailed = &failed;
    g_previousHandler = qInstallMessageHandler(noticeParseFailure);
    {
        QWidget probe;
        probe.setStyleSheet(QStringLiteral("* {} ") + text);
        probe.ensurePolished();
    }
    qInstallMessageHandler(g_previousHandler);
    g_parseFailed = nullptr;
    return !failed;
}

void SkinFramework::LoadSkin(const QString& path, const QString& /*ini*/) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Skin file cannot be read: ") + file.errorString());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(file.readAll());
    if (utf8.hasError() || !parsesAsStyleSheet(text))
        throw Failure(QStringLiteral("Skin file is not a style sheet: ") + path);
    m_sheet = text;
}

void SkinFramework::ApplyWindow(QWidget* window) const {
    window->setStyleSheet(m_sheet);
}

void ApplySkin(QWidget& window, const IFileSystem& fs, const QString& programFolder) {
    const QString skinFile = programFolder + QStringLiteral("/x/o.cjs");
    const auto attributes = fs.attributes(skinFile);
    const bool ordinary =
        attributes && (*attributes & FileAttr::Archive) &&
        !(*attributes & (FileAttr::Directory | FileAttr::Hidden | FileAttr::System));
    if (!ordinary) return;
    const QColor face = window.palette().color(QPalette::Active, QPalette::Button);
    auto recolour = [&](QWidget* w) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, face);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    };
    recolour(&window);
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w))
            recolour(w);
    }
    SkinFramework skin;
    skin.LoadSkin(skinFile, QString());
    skin.ApplyWindow(&window);
}
