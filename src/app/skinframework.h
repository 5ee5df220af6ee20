// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class IFileSystem;
class QWidget;

// The skin control: a Qt style sheet loaded from a file and applied to one window.
// Its members are called in a fixed order by ApplySkin; a load that fails throws.
class SkinFramework {
public:
    // Reads and checks the style sheet; throws Failure when it cannot be read or parsed.
    void LoadSkin(const QString& path, const QString& ini);
    // Skins the window from now on.
    void ApplyWindow(QWidget* window) const;

    const QString& styleSheet() const { return m_sheet; }

private:
    QString m_sheet;
};

// True when Qt parses `text` as a whole style sheet (rules, not a widget's bare
// properties). Needs the application object.
bool parsesAsStyleSheet(const QString& text);

// The optional skin beside the program ("x/o.cjs"): when it is there, the window and its
// frames, labels and option buttons take the button-face colour and the skin is loaded
// and applied. A skin that fails to load throws after the colours have changed.
void ApplySkin(QWidget& window, const IFileSystem& fs, const QString& programFolder);
