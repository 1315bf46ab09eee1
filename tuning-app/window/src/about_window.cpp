#include "window/about_window.h"

#include "skin/pictures.h"
#include "window/main_window.h"

namespace dravik {
namespace {

constexpr int kClientWidth = 440;
constexpr int kClientHeight = 300;
constexpr forms::OleColor kBack = 0x100D0B;
constexpr forms::OleColor kTitleInk = 0xFFFFFF;
constexpr forms::OleColor kTextInk = 0xD8D8D8;
constexpr forms::OleColor kHeadingInk = 0x8888FF;

constexpr char kDisclaimer[] =
    "By using Quelsor Dravik, you agree to the following terms. If you do not agree, then you "
    "must not use this program.\r\n\r\n"
    "Quelsor Dravik is intended for use by professional car tuners. Any changes made to your "
    "vehicle by you, through the use of Quelsor Dravik, are solely your responsibility. ";

forms::Font LabelFont(double size, bool bold) {
    forms::Font font;
    font.size = size;
    font.bold = bold;
    return font;
}

}  // namespace

AboutWindow::AboutWindow(MainWindow& main)
    : Form("frmAbout", kClientWidth, kClientHeight), m_main(main) {
    SetBackColor(kBack);
    picIcon = &AddImage("picIcon", -1, forms::Rect{16, 16, 32, 32});
    picIcon->SetPicture(skin::Icon());
    Image1 = &AddImage("Image1", -1, forms::Rect{16, 250, 32, 32});
    lblTitle = &AddLabel("lblTitle", -1, forms::Rect{60, 14, 360, 28});
    lblTitle->SetFont(LabelFont(14, true));
    lblTitle->SetForeColor(kTitleInk);
    lblTitle->SetCaption(MainWindow::kCaption);
    lblVersion = &AddLabel("lblVersion", -1, forms::Rect{60, 44, 360, 18});
    lblVersion->SetFont(LabelFont(8.25, false));
    lblVersion->SetForeColor(kTextInk);
    lblVersion->SetCaption("Version");
    lblDisclaimerTitle = &AddLabel("lblDisclaimerTitle", -1, forms::Rect{16, 76, 408, 18});
    lblDisclaimerTitle->SetFont(LabelFont(9.75, true));
    lblDisclaimerTitle->SetForeColor(kHeadingInk);
    lblDisclaimerTitle->SetCaption("Disclaimer:");
    lblDescription = &AddLabel("lblDescription", -1, forms::Rect{16, 98, 408, 140});
    lblDescription->SetFont(LabelFont(8.25, false));
    lblDescription->SetForeColor(kTextInk);
    btnAccept = &AddImage("btnAccept", -1, forms::Rect{330, 245, 94, 43});

    btnAccept->MouseDown = [this](int, int, float, float) { SetAcceptImage(true); };
    btnAccept->MouseUp = [this](int, int, float, float) { SetAcceptImage(false); };
    btnAccept->Click = [this] { btnAccept_Click(); };
}

void AboutWindow::ShowLoaded(forms::Form* owner) {
    if (!m_loaded) {
        m_loaded = true;
        Load();
    }
    if (owner != nullptr) {
        ShowModal(owner);
    } else {
        Show();
    }
}

void AboutWindow::Unload() { Close(forms::kUnloadFromCode); }

void AboutWindow::Form_Load() {
    SetCaption(std::string("About ") + MainWindow::kProductName);
    lblVersion->SetCaption(kVersionLine);
    lblDescription->SetCaption(kDisclaimer);
    btnAccept->SetPicture(m_main.GetImage(23));
}

void AboutWindow::btnAccept_Click() {
    if (m_main.fAgreementAccepted) {
        Hide();  // the about box: it stays loaded
        return;
    }
    m_main.fAgreementAccepted = true;
    Unload();
    m_main.Form_FinishLoad();
}

void AboutWindow::OnKeyDown(int keyCode, int) {
    if (keyCode == forms::kKeyReturn) btnAccept_Click();
    if (keyCode == forms::kKeyEscape) Close(forms::kUnloadFromControlMenu);
}

void AboutWindow::SetAcceptImage(bool pressed) {
    m_main.SetButtonImage(*btnAccept, 24, 23, 0, 0, pressed);
}

void AboutWindow::Form_QueryUnload(int& cancel, int unloadMode) {
    // Closing the disclaimer without accepting it ends the program.
    if (!m_main.fAgreementAccepted) m_main.Form_FinishLoad();
}

}  // namespace dravik
