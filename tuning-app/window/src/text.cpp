// Text the window prints on itself and on its status line: channel titles with a drop
// shadow, and outlined lines that stay upright although the window font is italic.
#include "conversions.h"
#include "skin/design.h"
#include "window/main_window.h"

namespace dravik {
namespace {

constexpr forms::OleColor kShadow = 0x404040;
constexpr forms::OleColor kTitleInk = 0xB0B0B0;
constexpr forms::OleColor kOutline = 0x8888AA;
constexpr forms::OleColor kOutlinedInk = 0xFFFFFF;

void PrintAt(forms::Surface& target, const std::string& text, int x, int y) {
    target.SetCurrentX(x);
    target.SetCurrentY(y);
    target.Print(text);
}

}  // namespace

void MainWindow::Form_Paint() {
    for (std::int16_t row = 0; row < 6; ++row) {
        DrawChannelTitle(row, ChannelName(static_cast<std::int16_t>(PageOffset + row)));
    }
    const std::string ecu = EcuType();
    const std::int16_t x = ScreenInt16(Image1->Left());
    const std::int16_t y = ScreenInt16((Image1->Height() - TextHeight(ecu)) / 2 + Image1->Top());
    // A long identification is cut at the end of its strip rather than run off the window;
    // measured upright, as it is printed.
    const bool italic = FontItalic();
    SetFontItalic(false);
    const std::string line = ElidedText("Box Code: " + ecu, skin::kBoxCodeRight - x);
    SetFontItalic(italic);
    PrintOutlinedOnForm(line, x, y);
}

void MainWindow::DrawChannelTitle(std::int16_t row, const std::string& name) {
    const forms::Image& anchor = imgTitles(row);
    const std::int16_t w = ScreenInt16(TextWidth(name));
    const std::int16_t x = ScreenInt16((anchor.Width() - w) / 2 + anchor.Left());
    const std::int16_t y = ScreenInt16(anchor.Top());
    DrawShadowText(name, x, y);
}

void MainWindow::DrawShadowText(const std::string& text, std::int16_t x, std::int16_t y) {
    SetForeColor(kShadow);
    PrintAt(*this, text, x + 2, y + 2);
    SetForeColor(kTitleInk);
    PrintAt(*this, text, x, y);
}

void MainWindow::PrintOutlined(forms::Surface& target, const std::string& text, std::int16_t x,
                               std::int16_t y) {
    target.SetForeColor(kOutline);
    const bool italic = target.FontItalic();
    target.SetFontItalic(false);
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) PrintAt(target, text, x + dx, y + dy);
    }
    target.SetForeColor(kOutlinedInk);
    PrintAt(target, text, x, y);
    target.SetFontItalic(italic);
}

void MainWindow::PrintOutlinedOnForm(const std::string& text, std::int16_t x, std::int16_t y) {
    PrintOutlined(*this, text, x, y);
}

}  // namespace dravik
