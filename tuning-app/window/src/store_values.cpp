// Set: stores the changed and tested channels as the ECU's start-up values, after the user
// confirms the list, and reports every channel the ECU did not take as asked.
#include <algorithm>
#include <utility>

#include "ecu_values.h"
#include "forms/app.h"
#include "forms/msgbox.h"
#include "trap.h"
#include "window/main_window.h"

namespace dravik {
namespace {

constexpr char kCrLf[] = "\r\n";
constexpr char kNothingToSet[] =
    "You have not changed any values (or you forgot to test them first), so there is nothing "
    "to set in the ECU.";
constexpr char kSetWhileDisconnected[] =
    "You cannot set the following values because you are not currently connected to the ECU:";
constexpr char kConfirmTitle[] = "Change Startup Parameters?";
constexpr char kReportHeading[] =
    "The following settings could not be changed to the requested values:";
constexpr char kLostBeforeSet[] =
    "Dravik lost communication with the ECU before it could set the following values:";
constexpr int kYesNoQuestionNoDefault = forms::kYesNo | forms::kQuestion | forms::kDefaultButton2;

}  // namespace

std::string MainWindow::MessageText(std::int16_t index, std::int32_t value) {
    // Formatting a screen text also sets the tooltip of the row the channel would occupy,
    // which a channel of the other page must not do.
    auto tooltip = std::exchange(Channels.setValueTooltip, nullptr);
    std::string text = Channels.FormatChannelValue(index, value, false);
    Channels.setValueTooltip = std::move(tooltip);
    text.erase(std::remove(text.begin(), text.end(), '*'), text.end());
    return text;
}

void MainWindow::btnSet_Click() {
    auto qualifies = [this](std::size_t i) {
        const std::int32_t value = Channels.ChannelTable[i].Value;
        return Channels.StartupValues[i] != value && Channels.TestedValues[i] == value;
    };

    std::string list;
    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        if (!qualifies(at)) continue;
        if (!list.empty()) list += std::string(",") + kCrLf;
        list += ChannelName(i) + " = " + MessageText(i, Channels.TestedValues[at]);
    }
    if (list.empty()) {
        MsgBoxEx(kNothingToSet, forms::kInformation);
        return;
    }
    if (!bcc || !bcc->IsConnected()) {
        MsgBoxEx(std::string(kSetWhileDisconnected) + kCrLf + kCrLf + list, forms::kOkOnly);
        return;
    }
    const std::string prompt =
        std::string(
            "Are you sure you want to change your car's startup values to the "
            "following?") +
        kCrLf + kCrLf + list + kCrLf + kCrLf +
        "Remember, changing these values can cause damage to your engine." + kCrLf +
        "If you have not read or agreed to the license agreement, you must click No.";
    if (MsgBoxEx(prompt, kYesNoQuestionNoDefault, kConfirmTitle) != forms::kIdYes) return;

    std::string report = kReportHeading;
    bool anyEntry = false;
    bool linkLost = false;
    bool failure = false;
    auto beginEntry = [&] {
        report += anyEntry ? std::string(",") + kCrLf : std::string(kCrLf) + kCrLf;
    };
    {
        // The stores hold the window; the report box after them does not.
        const forms::BlockingWork work;
        for (std::int16_t i = 0; i < kChannelCount; ++i) {
            const std::size_t at = static_cast<std::size_t>(i);
            if (!qualifies(at)) continue;
            const std::int32_t requested = Channels.ChannelTable[at].Value;
            const std::int32_t v = ToEcu(i, requested);
            std::int32_t r = 0;
            const std::int32_t err = Trapped([&] {
                // The workshop code is asked for again for every channel.
                const std::vector<std::uint8_t> workshop =
                    bcc->GetWorkShopCode().value_or(std::vector<std::uint8_t>{});
                r = bcc->SetAdaptationValue(ChannelByte(i), v, workshop);
            });
            if (err == 0) {
                r = FromEcu(i, r);
                if (r != requested) {
                    beginEntry();
                    report += ChannelName(i) +
                              ". Reason: The ECU denied the requested value, using " +
                              MessageText(i, r) + " instead";
                    anyEntry = true;
                }
                TakeStoredValue(i, r);
                continue;
            }
            failure = true;
            if (bcc->IsConnected()) {
                beginEntry();
                report += ChannelName(i) + ". Reason: The ECU denied setting this value";
            } else {
                if (linkLost) {
                    report += std::string(",") + kCrLf;
                } else {
                    report += std::string(kCrLf) + kCrLf + (anyEntry ? "Additionally, " : "") +
                              kLostBeforeSet + kCrLf + kCrLf;
                }
                report += ChannelName(i);
                linkLost = true;
            }
            anyEntry = true;
        }
    }
    for (std::int16_t r = 0; r < kRowsPerPage; ++r) RefreshRow(r);
    if (anyEntry) MsgBoxEx(report, forms::kOkOnly);
    if (failure) SetStatus("Some channels could not be set.");
    Refresh();
}

}  // namespace dravik
