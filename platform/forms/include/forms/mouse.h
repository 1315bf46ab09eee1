#pragma once
// Mouse arguments of control events: buttons and shift keys as bit masks, positions in twips
// relative to the control.
#include <functional>

namespace forms {

inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// button: the button that changed (down / up) or the buttons held (move).
using MouseHandler = std::function<void(int button, int shift, float x, float y)>;
using ClickHandler = std::function<void()>;

}  // namespace forms
