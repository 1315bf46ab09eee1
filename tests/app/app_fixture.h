#pragma once
// The tuning program started as a user starts it (disclaimer, accept), on scripted window
// timers and scripted message boxes, with a settings store of its own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forms/app.h"
#include "forms/msgbox.h"
#include "forms/settings.h"
#include "forms/testing.h"
#include "window/about_window.h"
#include "window/main_window.h"

namespace app_test {

using forms::testing::MessageBoxCall;
using forms::testing::MouseAction;

class AppWindow : public dravik::MainWindow {
public:
    std::vector<std::string> statuses;
    int loadClicks = 0;
    int saveClicks = 0;

    void SetStatus(const std::string& text) override {
        statuses.push_back(text);
        MainWindow::SetStatus(text);
    }
    void btnLoad_Click() override {
        ++loadClicks;
        MainWindow::btnLoad_Click();
    }
    void btnSave_Click() override {
        ++saveClicks;
        MainWindow::btnSave_Click();
    }
    using MainWindow::bcc_Disconnected;
    using MainWindow::EcuType;
    using MainWindow::mnuConnectionType_Click;
    using MainWindow::mnuFile_Click;
    using MainWindow::mnuSpecial_Click;
};

class AppTest : public ::testing::Test {
protected:
    AppTest() {
        char folder[] = "/tmp/dravik-app-XXXXXX";
        if (mkdtemp(folder) != nullptr) m_configHome = folder;
        setenv("XDG_CONFIG_HOME", m_configHome.c_str(), 1);
    }
    ~AppTest() override {
        unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(m_configHome);
    }

    std::string ConfigHome() const { return m_configHome; }

    static void StoreConnectionType(const std::string& text) {
        ASSERT_TRUE(forms::SaveSetting("Quelsor Dravik", "Settings", "ConnectionType", text));
    }
    static std::string StoredConnectionType() {
        return forms::GetSetting("Quelsor Dravik", "Settings", "ConnectionType", "<none>");
    }

    static void Click(forms::Form& form, const forms::Image& c) {
        forms::testing::ClickAt(form, c.Left() + c.Width() / 2, c.Top() + c.Height() / 2);
    }
    void Click(const forms::Image& c) { Click(window, c); }

    // Program start and a click on the disclaimer's accept button.
    void StartAndAccept() {
        window.Load();
        forms::DoEvents();
        ASSERT_TRUE(window.frmAbout);
        Click(*window.frmAbout, *window.frmAbout->btnAccept);
        forms::DoEvents();
    }

    std::int32_t Value(int channel) const {
        return window.Channels.ChannelTable.at(static_cast<std::size_t>(channel)).Value;
    }
    // A new value on the slider of a channel, as the row's buttons would leave it.
    void Edit(int channel, std::int32_t value) {
        window.Channels.ChannelTable.at(static_cast<std::size_t>(channel)).Value = value;
    }
    // Edit, then Test on the channel's row of the base page.
    void EditAndTest(int channel, std::int32_t value) {
        Edit(channel, value);
        Click(window.btnTest(channel));
    }

    // Yes to the Set confirmation, OK to everything else.
    static int YesToTheConfirmation(const MessageBoxCall& call) {
        return call.style == 292 ? forms::kIdYes : forms::kIdOk;
    }
    // After a Set: the lost-link box came second and the report last, naming only the
    // channels left behind by the loss.
    void ExpectOnlyLostChannelsReported(const std::string& names) {
        ASSERT_EQ(boxes.Calls().size(), 3u);
        EXPECT_EQ(boxes.Calls()[1].prompt, "Lost communication with ECU");
        EXPECT_EQ(boxes.Calls()[2].prompt,
                  "The following settings could not be changed to the requested values:\r\n\r\n"
                  "Dravik lost communication with the ECU before it could set the following "
                  "values:\r\n\r\n" +
                      names);
        EXPECT_EQ(window.statuses.back(), "Some channels could not be set.");
        EXPECT_TRUE(window.btnConnect->Visible());
    }

    std::function<int(const MessageBoxCall&)> answer;
    forms::testing::ScriptedTimers timers;
    forms::testing::ScriptedMessageBoxes boxes{[this](const MessageBoxCall& call) {
        return answer ? answer(call) : forms::DefaultAnswer(call.style);
    }};
    forms::testing::RecordedEnds ends;
    // File dialogs answer with this path; they are cancelled while it is empty.
    std::optional<std::string> fileAnswer;
    forms::testing::ScriptedFileDialogs dialogs{
        [this](const forms::FileDialogRequest&) { return fileAnswer; }};

private:
    std::string m_configHome;

protected:
    AppWindow window;
};

}  // namespace app_test
