#pragma once

#include <QString>

class QWidget;

// The skin control: a Qt style sheet loaded from a file and applied to one window.
// Its members are called in a fixed order by ApplySkin; a load that fails throws.
class SkinFramework {
public:
    // Reads and checks the style sheet; throws Failure when it cannot be read or parsed.
    void LoadSkin(const QString& path, const QString& ini);
    int Options = 0;
    bool FlagA = false;
    bool FlagB = false;
    // Skins the window from now on.
    void ApplyWindow(QWidget* window) const;

    const QString& styleSheet() const { return m_sheet; }

private:
    QString m_sheet;
};

// True when Qt parses `text` as a whole style sheet (rules, not a widget's bare
// properties). Needs the application object.
bool parsesAsStyleSheet(const QString& text);
