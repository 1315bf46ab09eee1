#pragma once
// A started main window on scripted timers, and mouse helpers in client pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/app.h"
#include "forms/testing.h"
#include "window/main_window.h"

namespace window_test {

using forms::testing::MouseAction;

// Where and how one Print call drew: its position, colour and whether the font was italic.
struct PrintCall {
    double x = 0;
    double y = 0;
    forms::OleColor color = 0;
    bool italic = false;
};

class TestWindow : public dravik::MainWindow {
public:
    std::string ecu;
    int connectClicks = 0;
    int disconnectClicks = 0;
    bool connectShowsDisconnect = false;  // as a connect that succeeds does
    std::vector<PrintCall> prints;        // every Print on the window itself

protected:
    void PrintTargetChanged() override {
        prints.push_back(PrintCall{CurrentX(), CurrentY(), ForeColor(), FontItalic()});
        MainWindow::PrintTargetChanged();
    }
    std::string EcuType() override { return ecu; }
    void btnConnect_Click() override {
        MainWindow::btnConnect_Click();
        ++connectClicks;
        if (connectShowsDisconnect) {
            btnConnect->SetVisible(false);
            btnDisconnect->SetVisible(true);
        }
    }
    void btnDisconnect_Click() override { ++disconnectClicks; }
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        window.Form_Resize();
        window.ApplySkin();
        window.Show();
        forms::DoEvents();
    }

    static double CentreX(const forms::Image& c) { return c.Left() + c.Width() / 2; }
    static double CentreY(const forms::Image& c) { return c.Top() + c.Height() / 2; }

    void Press(const forms::Image& c, int button = forms::kLeftButton) {
        forms::testing::SendMouse(window, MouseAction::Press, button, CentreX(c), CentreY(c));
    }
    void Release(const forms::Image& c, int button = forms::kLeftButton) {
        forms::testing::SendMouse(window, MouseAction::Release, button, CentreX(c), CentreY(c));
    }
    void Click(const forms::Image& c, int button = forms::kLeftButton) {
        Press(c, button);
        Release(c, button);
    }
    // Press / move / release on row r's track at window pixel x.
    void TrackPress(int r, double x, int button = forms::kLeftButton) {
        forms::testing::SendMouse(window, MouseAction::Press, button, x,
                                  CentreY(window.SlideTracks(r)));
    }
    void TrackMove(int r, double x, int held = forms::kLeftButton) {
        forms::testing::SendMouse(window, MouseAction::Move, held, x,
                                  CentreY(window.SlideTracks(r)));
    }
    void TrackRelease(int r, double x, int button = forms::kLeftButton) {
        forms::testing::SendMouse(window, MouseAction::Release, button, x,
                                  CentreY(window.SlideTracks(r)));
    }
    std::int32_t Value(int channel) const {
        return window.Channels.ChannelTable.at(static_cast<std::size_t>(channel)).Value;
    }
    double ThumbLeft(int r) const { return window.tmbSlider(r).Left(); }

    forms::testing::ScriptedTimers timers;
    forms::testing::ScriptedMessageBoxes boxes;
    // File dialogs answer with this path; they are cancelled while it is empty.
    std::optional<std::string> fileAnswer;
    forms::testing::ScriptedFileDialogs dialogs{
        [this](const forms::FileDialogRequest&) { return fileAnswer; }};
    TestWindow window;
};

}  // namespace window_test
