// Message boxes (styles, default answers, titles, timers ticking while a box is open) and
// program settings in the per-user store.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

#include "forms/form.h"
#include "forms/msgbox.h"
#include "forms/settings.h"
#include "forms/testing.h"
#include "registry/registry.h"

namespace {

TEST(MessageBox, DefaultAnswersFollowTheStyleBits) {
    EXPECT_EQ(forms::DefaultAnswer(0), forms::kIdOk);
    EXPECT_EQ(forms::DefaultAnswer(64), forms::kIdOk);
    EXPECT_EQ(forms::DefaultAnswer(292), forms::kIdNo);  // Yes/No, question, second default
    EXPECT_EQ(forms::DefaultAnswer(4), forms::kIdYes);
    EXPECT_EQ(forms::DefaultAnswer(3 + 512), forms::kIdCancel);
}

TEST(MessageBox, ScriptedBoxesAreRecordedWithTheProgramTitleByDefault) {
    forms::SetAppTitle("Dravik");
    forms::testing::ScriptedMessageBoxes boxes([](const forms::testing::MessageBoxCall& call) {
        return call.style == 292 ? forms::kIdYes : forms::kIdOk;
    });
    EXPECT_EQ(forms::MsgBox("Change?", 292), forms::kIdYes);
    EXPECT_EQ(forms::MsgBox("Done.", 64, "Report"), forms::kIdOk);
    ASSERT_EQ(boxes.Calls().size(), 2u);
    EXPECT_EQ(boxes.Calls()[0].title, "Dravik");
    EXPECT_EQ(boxes.Calls()[0].prompt, "Change?");
    EXPECT_EQ(boxes.Calls()[1].title, "Report");
    EXPECT_EQ(boxes.Calls()[1].style, 64);
}

// The keep-alive relies on it: a real, modal message box goes on dispatching window timers.
TEST(MessageBox, RealBoxKeepsTimersRunningAndEnterAnswersTheDefaultButton) {
    forms::SetAppTitle("Dravik");
    forms::Form form("Owner", 100, 100);
    form.Show();
    forms::Timer& timer = form.AddTimer("tmr", -1, 1);
    int ticks = 0;
    std::string caption;
    const auto pressEnter = [] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) return;
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
    };
    timer.OnTimer = [&] {
        if (++ticks != 5) return;
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle().toStdString();
        pressEnter();
    };
    timer.SetEnabled(true);
    // Should the timer stall behind the box, the box still closes and the test fails.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, pressEnter);
    fallback.start(2000);
    const int answer = forms::MsgBox("Are you sure?", 292, {}, &form);
    timer.SetEnabled(false);
    EXPECT_EQ(answer, forms::kIdNo);
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(caption, "Dravik");
}

TEST(FileDialogs, ScriptedAnswersAndRequestsAreRecorded) {
    forms::testing::ScriptedFileDialogs dialogs(
        [](const forms::FileDialogRequest& request) -> std::optional<std::string> {
            if (request.save) return std::nullopt;
            return "/tmp/a.dkx";
        });
    forms::FileDialogRequest open;
    open.filter = std::string("Settings (*.dkx)\0*.dkx\0", 23);
    EXPECT_EQ(forms::ShowFileDialog(open, nullptr), "/tmp/a.dkx");
    forms::FileDialogRequest save;
    save.save = true;
    EXPECT_EQ(forms::ShowFileDialog(save, nullptr), std::nullopt);
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[0].filter.size(), 23u);
}

TEST(Settings, ValuesLiveUnderTheProgramSettingsKeyOfTheCurrentUser) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("forms-settings-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);

    EXPECT_EQ(forms::GetSetting("Quelsor Dravik", "Settings", "ConnectionType", "0"), "0");
    ASSERT_TRUE(forms::SaveSetting("Quelsor Dravik", "Settings", "ConnectionType", "3"));
    EXPECT_EQ(forms::GetSetting("Quelsor Dravik", "Settings", "ConnectionType", "0"), "3");
    EXPECT_EQ(forms::GetSetting("Quelsor Dravik", "Other", "ConnectionType", "x"), "x");
    std::string raw;
    ASSERT_TRUE(registry::ReadString(
        HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\Quelsor Dravik\\Settings",
        "ConnectionType", raw));
    EXPECT_EQ(raw, "3");
    std::filesystem::remove_all(folder);
}

}  // namespace
