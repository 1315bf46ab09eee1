#include "window/main_window.h"

#include "conversions.h"
#include "dravik/run_time_error.h"
#include "forms/app.h"
#include "forms/chrome.h"
#include "forms/msgbox.h"
#include "skin/design.h"
#include "skin/pictures.h"
#include "window/about_window.h"

namespace dravik {
namespace {

using skin::Box;

forms::Rect ToRect(const Box& box) {
    return forms::Rect{static_cast<double>(box.left), static_cast<double>(box.top),
                       static_cast<double>(box.width), static_cast<double>(box.height)};
}

forms::Font WindowFont() {
    forms::Font font;
    font.name = "MS Sans Serif";
    font.size = 9.75;
    font.bold = true;
    font.italic = true;
    return font;
}

}  // namespace

MainWindow::MainWindow() : Form("Dravik", skin::kClientWidth, skin::kClientHeight) {
    forms::SetAppTitle(kProductName);
    forms::SetChrome(forms::Chrome{skin::kChromeBack, skin::kChromeRaised, skin::kChromeText,
                                   skin::kChromeDimText, skin::kChromeAccent,
                                   skin::kChromeAccentText});
    SetCaption(kCaption);
    SetFont(WindowFont());
    SetBackColor(0x100D0B);
    CreateControls();
    CreateMenus();
    ConnectHandlers();
    Channels.setValueTooltip = [this](int row, const std::string& tooltip) {
        if (row >= 0 && row < lblValues.Count()) lblValues(row).SetToolTipText(tooltip);
    };
}

MainWindow::~MainWindow() = default;

void MainWindow::CreateControls() {
    // The picture store lies in a strip below the client area and is never shown.
    for (int i = 0; i < skin::kPictureCount; ++i) {
        forms::Image& image = AddImage("images", i, forms::Rect{i * 32.0, 640, 32, 32});
        image.SetPicture(skin::Picture(i));
        image.SetVisible(false);
        images.Add(image);
    }
    Image1 = &AddImage("Image1", -1, ToRect(skin::kImage1));
    for (int r = 0; r < skin::kRows; ++r) {
        imgTitles.Add(AddImage("imgTitles", r, ToRect(skin::kRowDesign[r].title)));
    }
    btnSet = &AddImage("btnSet", -1, ToRect(skin::kBtnSet));
    btnConnect = &AddImage("btnConnect", -1, ToRect(skin::kBtnConnect));
    btnDisconnect = &AddImage("btnDisconnect", -1, ToRect(skin::kBtnDisconnect));
    btnDisconnect->SetVisible(false);
    btnLoad = &AddImage("btnLoad", -1, ToRect(skin::kBtnLoad));
    btnSave = &AddImage("btnSave", -1, ToRect(skin::kBtnSave));
    btnAdvancedFuel = &AddImage("btnAdvancedFuel", -1, ToRect(skin::kBtnAdvancedFuel));
    btnBaseWindow = &AddImage("btnBaseWindow", -1, ToRect(skin::kBtnBaseWindow));
    btnBaseWindow->SetVisible(false);

    btnSet->ToolTipText =
        "Store the current values to the ECU so they will be used whenever you start the car. "
        "Note that untested items (ones marked with *) will not be set.";
    btnConnect->ToolTipText =
        "Connects to the ECU using the connection specified in the Settings menu.";
    btnDisconnect->ToolTipText = "Disconnects from the ECU.";
    btnLoad->ToolTipText = "Load settings from a file.";
    btnSave->ToolTipText = "Save settings to a file.";
    btnAdvancedFuel->ToolTipText = "Changes to the Advanced Fuel Controls page.";
    btnBaseWindow->ToolTipText = "Returns to the main control page.";

    for (int r = 0; r < skin::kRows; ++r) {
        btnTest.Add(AddImage("btnTest", r, ToRect(skin::kRowDesign[r].test)));
    }
    for (int r = 0; r < skin::kRows; ++r) {
        btnMinus.Add(AddImage("btnMinus", r, ToRect(skin::kRowDesign[r].minus)));
    }
    for (int r = 0; r < skin::kRows; ++r) {
        btnPlus.Add(AddImage("btnPlus", r, ToRect(skin::kRowDesign[r].plus)));
    }
    for (int r = 0; r < skin::kRows; ++r) {
        forms::Image& track = AddImage("SlideTracks", r, ToRect(skin::kRowDesign[r].track));
        track.Tag = "1";
        SlideTracks.Add(track);
    }
    // Thumbs come after the tracks so that they lie on top of them.
    for (int r = 0; r < skin::kRows; ++r) {
        tmbSlider.Add(AddImage("tmbSlider", r, ToRect(skin::kRowDesign[r].thumb)));
    }
    forms::Font valueFont;
    valueFont.size = 8.25;
    valueFont.bold = true;
    for (int r = 0; r < skin::kRows; ++r) {
        forms::PictureBox& box = AddPictureBox("lblValues", r, ToRect(skin::kRowDesign[r].value));
        box.SetFont(valueFont);
        box.SetForeColor(skin::kValueInk);
        box.SetBackColor(skin::kValueBack);
        lblValues.Add(box);
    }
    lblStatus = &AddPictureBox("lblStatus", -1, ToRect(skin::kLblStatus));
    forms::Font statusFont;
    statusFont.size = 9.75;
    statusFont.bold = true;
    lblStatus->SetFont(statusFont);
    lblStatus->SetBackColor(skin::kStatusBack);

    tmrKeepalive = &AddTimer("tmrKeepalive", -1, 270);
    tmrMinusPlus = &AddTimer("tmrMinusPlus", -1, 50);
    tmrSlideTrack = &AddTimer("tmrSlideTrack", -1, 50);
}

void MainWindow::CreateMenus() {
    const char* tops[] = {"&File", "&Settings", "S&pecial", "&Help"};
    for (int i = 0; i < 4; ++i) mnuMain.Add(AddMenu("mnuMain", i, tops[i], nullptr));
    const char* files[] = {"&Load Settings File...", "&Save Settings File...", "-", "E&xit"};
    for (int i = 0; i < 4; ++i) mnuFile.Add(AddMenu("mnuFile", i, files[i], &mnuMain(0)));
    mnuFile(0).SetShortcut("Ctrl+O");
    mnuFile(1).SetShortcut("Ctrl+S");
    mnuSettings.Add(AddMenu("mnuSettings", 0, "&Connection Type", &mnuMain(1)));
    const char* ports[] = {"&USB", "COM&1", "COM&2", "COM&3", "COM&4"};
    for (int i = 0; i < 5; ++i) {
        mnuConnectionType.Add(AddMenu("mnuConnectionType", i, ports[i], &mnuSettings(0)));
    }
    mnuSpecial.Add(AddMenu("mnuSpecial", 0, "&Reset ECU to Default Values", &mnuMain(2)));
    mnuHelp.Add(AddMenu("mnuHelp", 0, "&About...", &mnuMain(3)));
}

void MainWindow::ConnectHandlers() {
    // Image buttons show their pressed picture from any press to its release.
    auto pressPair = [](forms::Image& button, auto press) {
        button.MouseDown = [press](int, int, float, float) { press(true); };
        button.MouseUp = [press](int, int, float, float) { press(false); };
    };
    btnConnect->MouseDown = [this](int, int, float, float) { PressConnectButton(true); };
    // Connect's left release leaves it pressed for its Click, which shows it released; the
    // release of another button makes no click.
    btnConnect->MouseUp = [this](int button, int, float, float) {
        if (button != forms::kLeftButton) PressConnectButton(false);
    };
    btnConnect->Click = [this] { btnConnect_Click(); };
    pressPair(*btnDisconnect, [this](bool p) { PressDisconnectButton(p); });
    btnDisconnect->Click = [this] { btnDisconnect_Click(); };
    pressPair(*btnSet, [this](bool p) { PressSetButton(p); });
    btnSet->Click = [this] { btnSet_Click(); };
    pressPair(*btnLoad, [this](bool p) { PressLoadButton(p); });
    btnLoad->Click = [this] { btnLoad_Click(); };
    pressPair(*btnSave, [this](bool p) { PressSaveButton(p); });
    btnSave->Click = [this] { btnSave_Click(); };
    pressPair(*btnAdvancedFuel, [this](bool p) { PressAdvancedFuelButton(p); });
    btnAdvancedFuel->Click = [this] { btnAdvancedFuel_Click(); };
    pressPair(*btnBaseWindow, [this](bool p) { PressBaseWindowButton(p); });
    btnBaseWindow->Click = [this] { btnBaseWindow_Click(); };

    for (int r = 0; r < skin::kRows; ++r) {
        pressPair(btnTest(r), [this, r](bool p) { PressTestButton(r, p); });
        btnTest(r).Click = [this, r] { btnTest_Click(r); };
        btnMinus(r).MouseDown = [this, r](int b, int s, float x, float y) {
            btnMinus_MouseDown(r, b, s, x, y);
        };
        btnMinus(r).MouseUp = [this, r](int b, int s, float x, float y) {
            btnMinus_MouseUp(r, b, s, x, y);
        };
        btnPlus(r).MouseDown = [this, r](int b, int s, float x, float y) {
            btnPlus_MouseDown(r, b, s, x, y);
        };
        btnPlus(r).MouseUp = [this, r](int b, int s, float x, float y) {
            btnPlus_MouseUp(r, b, s, x, y);
        };
        SlideTracks(r).MouseDown = [this, r](int b, int s, float x, float y) {
            SlideTracks_MouseDown(r, b, s, x, y);
        };
        SlideTracks(r).MouseMove = [this, r](int b, int s, float x, float y) {
            SlideTracks_MouseMove(r, b, s, x, y);
        };
        SlideTracks(r).MouseUp = [this, r](int b, int s, float x, float y) {
            SlideTracks_MouseUp(r, b, s, x, y);
        };
        tmbSlider(r).MouseDown = [this, r](int b, int s, float x, float y) {
            tmbSlider_MouseDown(r, b, s, x, y);
        };
        tmbSlider(r).MouseMove = [this, r](int b, int s, float x, float y) {
            tmbSlider_MouseMove(r, b, s, x, y);
        };
    }
    tmrKeepalive->OnTimer = [this] { tmrKeepalive_Timer(); };
    tmrMinusPlus->OnTimer = [this] { tmrMinusPlus_Timer(); };
    tmrSlideTrack->OnTimer = [this] { tmrSlideTrack_Timer(); };

    for (int i = 0; i < mnuFile.Count(); ++i) mnuFile(i).Click = [this, i] { mnuFile_Click(i); };
    for (int i = 0; i < mnuConnectionType.Count(); ++i) {
        mnuConnectionType(i).Click = [this, i] { mnuConnectionType_Click(i); };
    }
    mnuSpecial(0).Click = [this] { mnuSpecial_Click(0); };
    mnuHelp(0).Click = [this] { mnuHelp_Click(0); };
}

forms::Picture MainWindow::GetImage(std::int32_t index) const {
    if (index < -32768 || index > 32767) throw OverflowError();
    if (index < 0 || index >= images.Count()) throw SubscriptError();
    return images(index).GetPicture();
}

void MainWindow::SetButtonImage(forms::Image& button, std::int32_t downIndex, std::int32_t upIndex,
                                std::int16_t dx, std::int16_t dy, bool pressed) {
    button.SetPicture(GetImage(pressed ? downIndex : upIndex));
    const int s = pressed ? 1 : -1;
    button.SetLeft(button.Left() + s * dx);
    button.SetTop(button.Top() + s * dy);
}

void MainWindow::PressConnectButton(bool p) { SetButtonImage(*btnConnect, 19, 0, 0, 0, p); }
void MainWindow::PressDisconnectButton(bool p) { SetButtonImage(*btnDisconnect, 20, 1, 0, 0, p); }
void MainWindow::PressSetButton(bool p) { SetButtonImage(*btnSet, 12, 13, 0, 0, p); }
void MainWindow::PressLoadButton(bool p) { SetButtonImage(*btnLoad, 3, 4, 0, 0, p); }
void MainWindow::PressSaveButton(bool p) { SetButtonImage(*btnSave, 10, 11, 0, 0, p); }
void MainWindow::PressTestButton(int row, bool p) { SetButtonImage(btnTest(row), 15, 16, 0, 0, p); }
void MainWindow::PressMinusButton(int row, bool p) { SetButtonImage(btnMinus(row), 5, 6, 0, 0, p); }
void MainWindow::PressPlusButton(int row, bool p) { SetButtonImage(btnPlus(row), 7, 8, 0, 0, p); }
void MainWindow::PressAdvancedFuelButton(bool p) {
    SetButtonImage(*btnAdvancedFuel, 21, 2, 0, 0, p);
}
void MainWindow::PressBaseWindowButton(bool p) { SetButtonImage(*btnBaseWindow, 22, 9, 0, 0, p); }

void MainWindow::ApplySkin() {
    btnSet->SetPicture(GetImage(13));
    btnLoad->SetPicture(GetImage(4));
    btnSave->SetPicture(GetImage(11));
    btnConnect->SetPicture(GetImage(0));
    btnDisconnect->SetPicture(GetImage(1));
    for (std::int16_t r = 0; r < skin::kRows; ++r) {
        btnTest(r).SetPicture(GetImage(16));
        btnMinus(r).SetPicture(GetImage(6));
        btnPlus(r).SetPicture(GetImage(8));
        tmbSlider(r).SetPicture(GetImage(14));
        RefreshRow(r);
    }
    btnAdvancedFuel->SetPicture(GetImage(2));
    btnBaseWindow->SetPicture(GetImage(9));
    SetPicture(GetImage(17));
}

void MainWindow::btnAdvancedFuel_Click() { SwitchPage(true); }
void MainWindow::btnBaseWindow_Click() { SwitchPage(false); }

void MainWindow::SwitchPage(bool advanced) {
    forms::Image& leaving = advanced ? *btnAdvancedFuel : *btnBaseWindow;
    forms::Image& arriving = advanced ? *btnBaseWindow : *btnAdvancedFuel;
    leaving.SetVisible(false);
    arriving.SetVisible(true);
    PageOffset = advanced ? 6 : 0;
    Channels.InitChannelLimits();
    for (std::int16_t r = 0; r < skin::kRows; ++r) RefreshRow(r);
    SetPicture(GetImage(advanced ? 18 : 17));
    // Clicks already queued for the newly shown button (the second click of a double click
    // on the same spot) arrive while it is disabled and are dropped.
    arriving.SetEnabled(false);
    forms::DoEvents();
    arriving.SetEnabled(true);
}

void MainWindow::SetStatus(const std::string& text) {
    lblStatus->Cls();
    const std::int16_t y = ScreenInt16((lblStatus->Height() - TextHeight(text)) / 2 + 1);
    PrintOutlined(*lblStatus, text, 1, y);
    lblStatus->Refresh();
}

int MainWindow::MsgBoxEx(const std::string& prompt, int buttons, const std::string& title) {
    return forms::MsgBox(prompt, buttons, title.empty() ? kProductName : title, this);
}

}  // namespace dravik
