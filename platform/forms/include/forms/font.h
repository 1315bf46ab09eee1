#pragma once
// Control fonts. Face names of the design ("MS Sans Serif") are drawn with a free face that is
// loaded from its TTF files by path, so text is measured and drawn alike on every machine.
#include <QFont>
#include <string>

namespace forms {

struct Font {
    std::string name = "MS Sans Serif";
    double size = 8.25;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// Loads the bundled faces once (needs a QGuiApplication); true when they are available.
bool LoadFonts();
// The Qt font for a control font in pixels at the dots per inch that the screen's twips
// per pixel give (96 at the design ratio), whatever the monitor's own resolution.
QFont ToQFont(const Font& font);

}  // namespace forms
