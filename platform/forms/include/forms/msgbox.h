#pragma once
// Message boxes with the Windows style bits and result codes.
#include <string>

namespace forms {

class Form;

// Buttons (low four bits), icon, default button.
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kAbortRetryIgnore = 2;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kDefaultButton1 = 0;
inline constexpr int kDefaultButton2 = 256;
inline constexpr int kDefaultButton3 = 512;

// Results.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The program's title, the caption of a message box that is given none.
void SetAppTitle(const std::string& title);
const std::string& AppTitle();

// A message box is at least this much wider than its title in bold: the room a window
// manager's title bar takes for the window's icon and its buttons, so the title shows whole.
inline constexpr int kTitleBarRoom = 140;

// Shows a modal box; an empty title means AppTitle(). owner may be nullptr.
int MsgBox(const std::string& prompt, int style = kOkOnly, const std::string& title = {},
           Form* owner = nullptr);

// The result code of the default button of a style (what Enter answers).
int DefaultAnswer(int style);

}  // namespace forms
