#pragma once
// The skinned main window "Dravik": its controls, picture store, the two pages of six
// channel rows, the text it prints (titles, the "Box Code: " line, the status line), the
// channel-row handlers (plus / minus, slider tracks, thumb drag with auto-repeat), the
// message box, and the fixed layout kept on every resize.
//
// The ECU operations, settings files, menus' handlers and start-up flow are the virtual
// handlers below, each area in a source file of its own; tests may override them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dravik/bcClass.h"
#include "dravik/channel_table.h"
#include "forms/form.h"
#include "window/file_box.h"

namespace dravik {

class AboutWindow;

struct ControlLayout {
    std::string Name;  // empty: not recorded yet
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
    double FontSize = 0;
};

class MainWindow : public forms::Form {
public:
    static constexpr const char* kProductName = "Dravik";
    static constexpr const char* kCaption = "Quelsor Dravik";

    MainWindow();
    ~MainWindow() override;

    // --- Controls (names as the window's collection knows them) -------------------------
    forms::ControlArray<forms::Image> images;  // picture store 0-24, never shown
    forms::Image* Image1 = nullptr;
    forms::ControlArray<forms::Image> imgTitles;
    forms::Image* btnSet = nullptr;
    forms::Image* btnConnect = nullptr;
    forms::Image* btnDisconnect = nullptr;
    forms::Image* btnLoad = nullptr;
    forms::Image* btnSave = nullptr;
    forms::Image* btnAdvancedFuel = nullptr;
    forms::Image* btnBaseWindow = nullptr;
    forms::ControlArray<forms::Image> btnTest;
    forms::ControlArray<forms::Image> btnMinus;
    forms::ControlArray<forms::Image> btnPlus;
    forms::ControlArray<forms::Image> SlideTracks;
    forms::ControlArray<forms::Image> tmbSlider;
    forms::ControlArray<forms::PictureBox> lblValues;
    forms::PictureBox* lblStatus = nullptr;
    forms::Timer* tmrKeepalive = nullptr;
    forms::Timer* tmrMinusPlus = nullptr;
    forms::Timer* tmrSlideTrack = nullptr;
    forms::ControlArray<forms::Menu> mnuMain;
    forms::ControlArray<forms::Menu> mnuFile;
    forms::ControlArray<forms::Menu> mnuSettings;
    forms::ControlArray<forms::Menu> mnuConnectionType;
    forms::ControlArray<forms::Menu> mnuSpecial;
    forms::ControlArray<forms::Menu> mnuHelp;

    // --- State ---------------------------------------------------------------------------
    ChannelState Channels;        // ChannelTable, StartupValues, TestedValues, ...
    std::int32_t PageOffset = 0;  // 0: base page, 6: advanced fuel page
    bool fRepeatFired = false;
    std::int16_t SliderMouseX = 0;
    std::vector<ControlLayout> LayoutTable;
    ControlLayout WindowLayout;
    std::unique_ptr<FileBox> FileDialog;  // the settings files' dialogs, made on first use

    // --- Session and start-up ------------------------------------------------------------
    // The session; none until Form_FinishLoad. New sessions reach the library through this.
    std::unique_ptr<bcClass> bcc;
    bcClass::CommsFactory CommsFactory = CreateBoschComms;
    std::uint8_t SelectedConnectionType = 0;  // 0: USB cable, 1-4: COM1-COM4
    bool fAgreementAccepted = false;
    bool fDisconnecting = false;
    bool fReading = false;
    // The disclaimer / about window, made on first use.
    std::unique_ptr<AboutWindow> frmAbout;
    AboutWindow& AboutBox();

    // Start-up: shows the disclaimer and keeps this window hidden until it is accepted.
    void Form_Load();
    // Builds and shows this window, or ends the program when the disclaimer was refused.
    void Form_FinishLoad();
    void LoadConnectionType();
    void ReadAllFromEcu();

    // --- Skin ----------------------------------------------------------------------------
    // The picture of member index of the store (overflow error beyond 16 bits, subscript
    // error outside 0-24).
    forms::Picture GetImage(std::int32_t index) const;
    void SetButtonImage(forms::Image& button, std::int32_t downIndex, std::int32_t upIndex,
                        std::int16_t dx, std::int16_t dy, bool pressed);
    void PressConnectButton(bool pressed);
    void PressDisconnectButton(bool pressed);
    void PressSetButton(bool pressed);
    void PressLoadButton(bool pressed);
    void PressSaveButton(bool pressed);
    void PressTestButton(int row, bool pressed);
    void PressMinusButton(int row, bool pressed);
    void PressPlusButton(int row, bool pressed);
    void PressAdvancedFuelButton(bool pressed);
    void PressBaseWindowButton(bool pressed);
    // Released pictures of every button and thumb, rows shown from the table, base-page
    // background (the skin part of building the window at start-up).
    void ApplySkin();

    // --- Rows ----------------------------------------------------------------------------
    // The thumb's leftmost and rightmost Left on a screen row.
    std::int16_t ThumbMinLeft(int row) const;
    std::int16_t ThumbMaxLeft(int row) const;
    void UpdateRow(std::int16_t row, std::int32_t min, std::int32_t max, std::int32_t value);
    void RefreshRow(std::int16_t row);
    void DrawValueText(std::int16_t row, const std::string& text);

    // --- Text ----------------------------------------------------------------------------
    void DrawChannelTitle(std::int16_t row, const std::string& name);
    void DrawShadowText(const std::string& text, std::int16_t x, std::int16_t y);
    static void PrintOutlined(forms::Surface& target, const std::string& text, std::int16_t x,
                              std::int16_t y);
    void PrintOutlinedOnForm(const std::string& text, std::int16_t x, std::int16_t y);
    virtual void SetStatus(const std::string& text);
    // The program's message box; an empty title is the product name.
    int MsgBoxEx(const std::string& prompt, int buttons, const std::string& title = {});

    // --- Event handlers of this window ----------------------------------------------------
    void Form_Paint();
    void Form_Resize();
    void btnAdvancedFuel_Click();
    void btnBaseWindow_Click();
    void btnMinus_MouseDown(int row, int button, int shift, float x, float y);
    void btnMinus_MouseUp(int row, int button, int shift, float x, float y);
    void btnPlus_MouseDown(int row, int button, int shift, float x, float y);
    void btnPlus_MouseUp(int row, int button, int shift, float x, float y);
    void tmrMinusPlus_Timer();
    void SlideTracks_MouseDown(int row, int button, int shift, float x, float y);
    void SlideTracks_MouseMove(int row, int button, int shift, float x, float y);
    void SlideTracks_MouseUp(int row, int button, int shift, float x, float y);
    void tmrSlideTrack_Timer();
    void tmbSlider_MouseDown(int row, int button, int shift, float x, float y);
    void tmbSlider_MouseMove(int row, int button, int shift, float x, float y);

protected:
    // --- Handlers that other parts of the program provide ---------------------------------
    // The session's ECU identification for the "Box Code: " line (empty before a connect).
    virtual std::string EcuType();
    // Image buttons: the press pictures are handled here; these run on Click.
    virtual void btnConnect_Click();
    virtual void btnDisconnect_Click();
    virtual void btnSet_Click();
    // Settings files (settings_file.cpp).
    virtual void btnLoad_Click();
    virtual void btnSave_Click();
    virtual void btnTest_Click(int row);
    virtual void tmrKeepalive_Timer();
    virtual void bcc_Disconnected();
    virtual void mnuFile_Click(int index);
    virtual void mnuConnectionType_Click(int index);
    virtual void mnuSpecial_Click(int index);
    virtual void mnuHelp_Click(int index);

    void OnLoad() override { Form_Load(); }
    void OnUnload(int& cancel) override;
    void OnPaint() override { Form_Paint(); }
    void OnResize() override { Form_Resize(); }

private:
    void CreateControls();
    void CreateMenus();
    void ConnectHandlers();
    void SwitchPage(bool advanced);
    // FileDialog, made on first use, set up for a settings-file dialog.
    FileBox& SettingsFileDialog(const std::string& title, int flags);
    // Tag of an auto-repeat timer: the row, and whether it steps toward Max.
    static bool DecodeTag(const std::string& tag, int& row, bool& upward);
    void TrackOnOffTest(int row, bool leftHeld, double x);
    std::int32_t Clamped(std::int32_t value, std::int32_t min, std::int32_t max) const;
    // The screen text of a value for a message, without marks (leaves the tooltips alone).
    std::string MessageText(std::int16_t index, std::int32_t value);
    // Value, limits, start-up and tested value of a channel all become what the ECU reported.
    void TakeStoredValue(std::int16_t index, std::int32_t value);

    // Whether a left press on a track armed the track's repeat (a release acts only then).
    bool m_trackArmed = false;
};

}  // namespace dravik
