#include "forms/font.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QString>
#include <cmath>

#include "forms/screen.h"

namespace forms {
namespace {

constexpr const char* kFaceFiles[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                                      "DejaVuSans-Oblique.ttf", "DejaVuSans-BoldOblique.ttf"};
constexpr const char* kFamily = "DejaVu Sans";

int g_loaded = -1;  // -1 not tried, 0 failed, 1 loaded

}  // namespace

bool LoadFonts() {
    if (g_loaded >= 0) return g_loaded == 1;
    if (QGuiApplication::instance() == nullptr) return false;
    bool all = true;
    for (const char* file : kFaceFiles) {
        const QString path = QString::fromUtf8(FORMS_FONT_DIR) + "/" + file;
        if (QFontDatabase::addApplicationFont(path) < 0) all = false;
    }
    g_loaded = all ? 1 : 0;
    return all;
}

QFont ToQFont(const Font& font) {
    LoadFonts();
    // Every design face is drawn with the one bundled family, so measurements do not depend
    // on the fonts a machine happens to have.
    QFont result{QString::fromUtf8(kFamily)};
    result.setStyleStrategy(QFont::PreferAntialias);
    result.setHintingPreference(QFont::PreferNoHinting);
    // Points at the screen's dots per inch (96 on the design screen), rounded to whole pixels
    // as the window system does. A layout that scales its font sizes by the twips per pixel
    // thus keeps its text the same size in pixels.
    const double dotsPerInch = kTwipsPerInch / Screen::TwipsPerPixelY();
    result.setPixelSize(std::max(1, static_cast<int>(std::lround(font.size * dotsPerInch / 72.0))));
    result.setBold(font.bold);
    result.setItalic(font.italic);
    result.setUnderline(font.underline);
    return result;
}

}  // namespace forms
