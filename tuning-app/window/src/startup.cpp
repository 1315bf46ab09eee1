// Start-up: the disclaimer first, the main window only once it is accepted; the end of the
// program; the about box.
#include "forms/app.h"
#include "forms/chrome.h"
#include "skin/pictures.h"
#include "window/about_window.h"
#include "window/main_window.h"

namespace dravik {

AboutWindow& MainWindow::AboutBox() {
    if (!frmAbout) frmAbout = std::make_unique<AboutWindow>(*this);
    return *frmAbout;
}

void MainWindow::Form_Load() {
    // The skin's emblem, as the disclaimer shows it, marks every window in title and task bar.
    forms::SetAppIcon(skin::Icon());
    AboutBox().ShowLoaded(nullptr);
    Hide();
}

void MainWindow::Form_FinishLoad() {
    if (!fAgreementAccepted) {
        forms::End();
        return;
    }
    LoadConnectionType();
    Channels.InitChannelLimits();
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        const std::int32_t value = Channels.ChannelTable[i].Value;
        Channels.TestedValues[i] = value;
        Channels.StartupValues[i] = value;
        Channels.StartupValuesCopy[i] = value;
    }
    bcc = std::make_unique<bcClass>(CommsFactory);
    bcc->SetDisconnectedHandler([this] { bcc_Disconnected(); });
    Channels.isConnected = [this] { return bcc && bcc->IsConnected(); };
    Form_Resize();
    ApplySkin();
    // Every press counts: a quick second click on a button is a second click.
    forms::Form::SetClassDoubleClicks(false);
    Show();
    Refresh();
}

void MainWindow::OnUnload(int& cancel) {
    // Nothing is saved and the ECU is not told: the program just ends.
    forms::End();
}

void MainWindow::mnuHelp_Click(int index) {
    if (index != 0) return;
    AboutBox().ShowLoaded(this);
}

}  // namespace dravik
