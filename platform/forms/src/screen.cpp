#include "forms/screen.h"

namespace forms {
namespace {
double g_twipsX = kDesignTwipsPerPixel;
double g_twipsY = kDesignTwipsPerPixel;
}  // namespace

double Screen::TwipsPerPixelX() { return g_twipsX; }
double Screen::TwipsPerPixelY() { return g_twipsY; }
void Screen::SetTwipsPerPixel(double x, double y) {
    g_twipsX = x;
    g_twipsY = y;
}

}  // namespace forms
