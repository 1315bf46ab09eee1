// The main window's ECU operations: connect, keep-alive, read all channels, test one
// channel, reset, disconnect and the lost link. Each request is trapped on its own and its
// outcome judged together with a fresh IsConnected, so one failing channel stops no other.
// An operation holds the window for up to seconds: the clicks and keys given meanwhile are
// dropped (forms::BlockingWork), or they would land on whatever the operation showed in
// their place. The keep-alive changes nothing on the window, so what it delays stays valid.
#include <exception>
#include <utility>

#include "ecu_values.h"
#include "forms/app.h"
#include "forms/msgbox.h"
#include "trap.h"
#include "window/main_window.h"

namespace dravik {
namespace {

constexpr char kLostCommunication[] = "Lost communication with ECU";
constexpr char kTestWhileDisconnected[] =
    "You cannot test this value because you are not currently connected to the ECU.";

// One character per identification byte (0-255), as UTF-8.
std::string Latin1ToUtf8(const std::u16string& text) {
    std::string utf8;
    for (char16_t c : text) {
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
        } else {
            utf8.push_back(static_cast<char>(0xC0 | ((c >> 6) & 0x1F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return utf8;
}

}  // namespace

std::string MainWindow::EcuType() { return bcc ? Latin1ToUtf8(bcc->GetEcuType()) : std::string(); }

void MainWindow::TakeStoredValue(std::int16_t index, std::int32_t value) {
    Channels.ChannelTable.at(static_cast<std::size_t>(index)).Value = value;
    Channels.WidenLimits(index, value);
    Channels.SetStartupValue(index, value);
    Channels.TestedValues.at(static_cast<std::size_t>(index)) = value;
}

void MainWindow::btnConnect_Click() {
    PressConnectButton(false);
    if (!bcc) return;  // the window is not built yet
    const forms::BlockingWork work;
    SetStatus("Connecting to ECU...");
    const bool ok = bcc->Connect(SelectedConnectionType);
    if (ok) {
        SetStatus("Retrieving Settings...");
        tmrKeepalive->SetEnabled(true);
        btnConnect->SetVisible(false);
        btnDisconnect->SetVisible(true);
        Refresh();
        if (bcc->IsConnected()) {
            Channels.InitChannelLimits();
            ReadAllFromEcu();
        }
    }
    if (bcc->IsConnected()) {
        SetStatus("Connected.");
    } else {
        SetStatus("Could not connect.");
        tmrKeepalive->SetEnabled(false);
        btnConnect->SetVisible(true);
        btnDisconnect->SetVisible(false);
        // The connect emptied the identification: the top line must not go on naming the
        // ECU of an earlier session.
        Refresh();
    }
}

void MainWindow::tmrKeepalive_Timer() {
    if (bcc) Trapped([&] { bcc->SendKeepalive(); });
}

void MainWindow::ReadAllFromEcu() {
    if (!bcc || fReading) return;
    fReading = true;
    // Whatever a channel does, the flag must not stay set.
    struct ReadingFlag {
        bool& flag;
        ~ReadingFlag() { flag = false; }
    } reading{fReading};

    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        ChannelRecord& record = Channels.ChannelTable[at];
        std::int32_t v = 0;
        const std::int32_t err = Trapped([&] { v = bcc->ReadAdaptationValue(ChannelByte(i)); });
        const bool up = bcc->IsConnected();
        if (err == 0 && up) {
            TakeStoredValue(i, FromEcu(i, v));
        } else if (!bcc->IsConnected()) {
            // Lost on the way: the value shown counts as stored.
            Channels.SetStartupValue(i, record.Value);
            Channels.TestedValues[at] = record.Value;
        } else {
            Channels.TestedValues[at] = ValueUnknown;
        }
    }
    for (std::int16_t r = 0; r < kRowsPerPage; ++r) RefreshRow(r);
}

void MainWindow::btnTest_Click(int row) {
    if (!bcc || !bcc->IsConnected()) {
        MsgBoxEx(kTestWhileDisconnected, forms::kOkOnly);
        return;
    }
    const forms::BlockingWork work;
    const auto i = static_cast<std::int16_t>(PageOffset + row);
    const std::size_t at = static_cast<std::size_t>(i);
    const std::int32_t v = ToEcu(i, Channels.ChannelTable.at(at).Value);
    std::int32_t r = 0;
    const std::int32_t err = Trapped([&] { r = bcc->TestAdaptationValue(ChannelByte(i), v); });
    if (err == 0) {
        r = FromEcu(i, r);
        Channels.ChannelTable[at].Value = r;
        Channels.WidenLimits(i, r);
        Channels.TestedValues[at] = r;
    }
    RefreshRow(static_cast<std::int16_t>(i % kRowsPerPage));
}

void MainWindow::mnuSpecial_Click(int index) {
    if (index != 0 || !bcc) return;
    const forms::BlockingWork work;
    // Deliberately without a question: the menu item's caption says what it does.
    const std::vector<std::uint8_t> workshop =
        bcc->GetWorkShopCode().value_or(std::vector<std::uint8_t>{});
    Trapped([&] { bcc->ResetAdaptationValues(workshop); });
    ReadAllFromEcu();
}

void MainWindow::btnDisconnect_Click() {
    // Also ends a lost link's hold before its message box.
    const forms::BlockingWork work;
    SetStatus("Disconnecting...");
    tmrKeepalive->SetEnabled(false);
    // A close that fails still leaves the window disconnected; the status line tells why.
    std::string failure;
    if (bcc) {
        fDisconnecting = true;
        try {
            bcc->Disconnect();
        } catch (const std::exception& e) {
            failure = *e.what() != '\0' ? e.what() : "The link could not be closed.";
        }
        fDisconnecting = false;
    }
    SetStatus(failure.empty() ? std::string("Disconnected.") : "Disconnected. " + failure);
    btnConnect->SetVisible(true);
    btnDisconnect->SetVisible(false);
}

void MainWindow::bcc_Disconnected() {
    if (fDisconnecting) return;
    btnDisconnect_Click();
    forms::MsgBox(kLostCommunication, forms::kOkOnly, kProductName, nullptr);
}

}  // namespace dravik
