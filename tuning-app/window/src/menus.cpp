// The File and Settings menus: the settings-file flows, Exit and the connection type, kept
// in the per-user settings store.
#include "com/bstr.h"
#include "com/com.h"
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

// The stored text converted to a byte as Automation converts texts: the whole text one number
// (blanks around it, a fraction, an exponent or "&H" allowed), rounded half to even. USB for
// a text that is no number from 0 to 255, and for a byte beyond COM4.
std::uint8_t ConnectionTypeFromText(const std::string& text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = com::ToBstr(text);
    std::uint8_t type = 0;
    if (SUCCEEDED(VariantChangeType(&value, &value, 0, VT_UI1))) type = value.bVal;
    VariantClear(&value);
    return type < kConnectionTypes ? type : 0;
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
