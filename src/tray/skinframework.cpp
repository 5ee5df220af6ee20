#include "tray/skinframework.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStringDecoder>
#include <QWidget>

#include "core/failure.h"
#include "core/ifilesystem.h"

bool looksLikeStyleSheet(const QString& text) {
    int depth = 0;
    bool inComment = false;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 32 && c != u'\n' && c != u'\r' && c != u'\t') return false;
        if (inComment) {
            if (c == u'*' && i + 1 < text.size() && text[i + 1] == u'/') {
                inComment = false;
                ++i;
            }
        } else if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
            inComment = true;
            ++i;
        } else if (c == u'{') {
            ++depth;
        } else if (c == u'}') {
            if (--depth < 0) return false;
        }
    }
    return depth == 0 && !inComment && quote.isNull();
}

void SkinFramework::LoadSkin(const QString& path, const QString& /*ini*/) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Skin file cannot be read: ") + file.errorString());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(file.readAll());
    if (utf8.hasError() || !looksLikeStyleSheet(text))
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
