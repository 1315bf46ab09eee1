#pragma once
// The parts of the program that the window system draws rather than the program itself: the
// menu bar and its menus, message boxes, file dialogs and tooltips, and the windows' icon. A
// skinned program gives them its own colours, for the whole program; they keep their usual
// keyboard use.
#include <QImage>
#include <string>

#include "forms/color.h"

namespace forms {

struct Chrome {
    OleColor back;        // menu bar, menus, message boxes, file dialogs, tooltips
    OleColor raised;      // push buttons of message boxes
    OleColor text;        // texts, menu captions, check marks
    OleColor dimText;     // disabled items
    OleColor accent;      // the chosen menu item, the focused button's rim
    OleColor accentText;  // text on the accent colour
};

// Message boxes draw their icons in these colours too.
void SetChrome(const Chrome& chrome);

// The icon of every window of the program, in its title bar and the task bar.
void SetAppIcon(const QImage& icon);

// Tooltips wider than this (pixels) wrap onto further lines at word breaks.
inline constexpr int kToolTipWidth = 360;
// A tooltip text as it is shown: broken into lines no wider than kToolTipWidth.
std::string WrapToolTip(const std::string& text);

}  // namespace forms
