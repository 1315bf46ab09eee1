#pragma once
// Colours as the window system writes them: 0x00BBGGRR (&HBBGGRR).
#include <QColor>
#include <cstdint>

namespace forms {

using OleColor = std::uint32_t;

constexpr OleColor Rgb(int red, int green, int blue) {
    return static_cast<OleColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

inline QColor ToQColor(OleColor color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

inline OleColor FromQColor(const QColor& color) {
    return Rgb(color.red(), color.green(), color.blue());
}

}  // namespace forms
