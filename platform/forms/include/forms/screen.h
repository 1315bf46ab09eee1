#pragma once
// The screen's twips per pixel. The design screen has 96 dots per inch, 15 twips per pixel;
// tests may pretend another ratio.
namespace forms {

inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kDesignTwipsPerPixel = 15.0;

class Screen {
public:
    static double TwipsPerPixelX();
    static double TwipsPerPixelY();
    static void SetTwipsPerPixel(double x, double y);  // test seam
};

}  // namespace forms
