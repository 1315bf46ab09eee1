// The fixed layout: the first run records every control's design geometry and font size;
// every later run puts controls and window back on their records, scaled through the
// screen's twips per pixel so that they keep their size in pixels.
#include <string>

#include "forms/screen.h"
#include "window/main_window.h"

namespace dravik {
namespace {

bool TakesNewSize(const forms::Control& control) {
    return control.Name() == "Image1" || control.Name() == "imgTitles" || control.IsPictureBox();
}

}  // namespace

void MainWindow::Form_Resize() {
    const std::vector<forms::Control*>& controls = Controls();
    LayoutTable.resize(controls.size());
    const double tx = forms::Screen::TwipsPerPixelX();
    const double ty = forms::Screen::TwipsPerPixelY();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        forms::Control& control = *controls[i];
        ControlLayout& record = LayoutTable[i];
        const std::optional<forms::Rect> now = control.Geometry();
        if (record.Name.empty()) {
            // A property the control lacks leaves its field 0.
            record.Name = control.Name();
            if (now) {
                record.Left = now->left;
                record.Top = now->top;
                record.Width = now->width;
                record.Height = now->height;
            }
            record.FontSize = control.FontSize().value_or(0);
        }
        // Controls without geometry (timers, menu items) are recorded and left alone.
        if (!now) continue;
        const double left = record.Left / 15 * tx;
        const double top = record.Top / 15 * ty;
        const double width = record.Width / 15 * tx;
        const double height = record.Height / 15 * ty;
        if (now->left == left && now->top == top && now->width == width && now->height == height) {
            continue;
        }
        if (TakesNewSize(control)) {
            control.Move(left, top, width, height);
        } else {
            // An image button's size follows its picture.
            control.Move(left, top);
        }
        if (control.FontSize()) control.SetFontSize(record.FontSize / 15 * tx);
    }
    for (std::int16_t r = 0; r < 6; ++r) RefreshRow(r);

    if (WindowLayout.Name.empty()) {
        WindowLayout.Name = Name();
        WindowLayout.Left = Left() / 15;
        WindowLayout.Top = Top() / 15;
        WindowLayout.Width = Width() / 15;
        WindowLayout.Height = Height() / 15;
        WindowLayout.FontSize = FontSize();
    }
    const float wantWidth = static_cast<float>(tx * WindowLayout.Width);
    const float wantHeight = static_cast<float>(ty * WindowLayout.Height);
    if (wantWidth != static_cast<float>(Width()) || wantHeight != static_cast<float>(Height())) {
        SetWidth(wantWidth);
        SetHeight(wantHeight);
        SetFontSize(static_cast<float>(WindowLayout.FontSize / 15 * tx));
    }
}

}  // namespace dravik
