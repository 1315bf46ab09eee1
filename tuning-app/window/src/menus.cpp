// The File and Settings menus: the settings-file flows, Exit and the connection type, kept
// in the per-user settings store.
#include <algorithm>
#include <cctype>

#include "forms/form.h"
#include "forms/msgbox.h"
#include "forms/settings.h"
#include "window/main_window.h"

namespace dravik {
namespace {

constexpr char kSettingsApp[] = "Quelsor Dravik";
constexpr char kSettingsSection[] = "Settings";
constexpr char kConnectionTypeKey[] = "ConnectionType";
constexpr int kConnectionTypes = 5;  // USB, COM1 to COM4

// The stored index; USB for anything but a whole number from 0 to 4.
std::uint8_t ConnectionTypeFromText(std::string text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    if (text.empty() || text.size() > 3) return 0;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value < kConnectionTypes ? static_cast<std::uint8_t>(value) : 0;
}

}  // namespace

void MainWindow::LoadConnectionType() {
    // A value out of range is left in the store until the user chooses an item.
    SelectedConnectionType = ConnectionTypeFromText(
        forms::GetSetting(kSettingsApp, kSettingsSection, kConnectionTypeKey, "0"));
    mnuConnectionType(SelectedConnectionType).SetChecked(true);
}

void MainWindow::mnuConnectionType_Click(int index) {
    if (index < 0 || index >= kConnectionTypes) return;
    mnuConnectionType(SelectedConnectionType).SetChecked(false);
    mnuConnectionType(index).SetChecked(true);
    SelectedConnectionType = static_cast<std::uint8_t>(index);
    if (!forms::SaveSetting(kSettingsApp, kSettingsSection, kConnectionTypeKey,
                            std::to_string(index))) {
        // Said with the reason, or a damaged store stays a mystery behind "Could not connect."
        const std::string problem = forms::SettingsProblem();
        MsgBoxEx("The connection type could not be stored; it applies until Dravik ends." +
                     (problem.empty() ? std::string() : "\n\n" + problem + "."),
                 forms::kExclamation);
    }
}

void MainWindow::mnuFile_Click(int index) {
    switch (index) {
        case 0:
            btnLoad_Click();
            break;
        case 1:
            btnSave_Click();
            break;
        case 3:
            Close(forms::kUnloadFromCode);
            break;
        default:
            break;
    }
}

}  // namespace dravik
