// Start-up behind the disclaimer, the about box, the end of the program and the menus.
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <fstream>

#include "app_fixture.h"

namespace app_test {
namespace {

TEST_F(AppTest, ClosingTheDisclaimerEndsBeforeAnythingIsBuilt) {
    StoreConnectionType("3");
    window.Load();
    ASSERT_TRUE(window.frmAbout);
    dravik::AboutWindow& about = *window.frmAbout;
    EXPECT_TRUE(about.Visible());
    EXPECT_FALSE(window.Visible());
    EXPECT_EQ(about.Caption(), "About Dravik");
    EXPECT_EQ(about.lblVersion->Caption(), "Version 1.0.176");
    EXPECT_EQ(about.lblDescription->Caption(),
              "By using Quelsor Dravik, you agree to the following terms. If you do not agree, "
              "then you must not use this program.\r\n\r\nQuelsor Dravik is intended for use by "
              "professional car tuners. Any changes made to your vehicle by you, through the use "
              "of Quelsor Dravik, are solely your responsibility. ");
    EXPECT_EQ(about.btnAccept->GetPicture(), window.GetImage(23));
    EXPECT_EQ(about.picIcon->GetPicture().size(), QSize(32, 32));  // no blank beside the title
    // The same emblem marks the windows in title and task bar.
    const QImage emblem = about.picIcon->GetPicture().convertToFormat(QImage::Format_ARGB32);
    for (const forms::Form* form :
         {static_cast<forms::Form*>(&about), static_cast<forms::Form*>(&window)}) {
        EXPECT_EQ(form->Window()->windowIcon().pixmap(32, 32).toImage().convertToFormat(
                      QImage::Format_ARGB32),
                  emblem);
    }
    const double x = about.btnAccept->Left() + 5, y = about.btnAccept->Top() + 5;
    forms::testing::SendMouse(about, MouseAction::Press, forms::kRightButton, x, y);
    EXPECT_EQ(about.btnAccept->GetPicture(), window.GetImage(24));
    forms::testing::SendMouse(about, MouseAction::Release, forms::kRightButton, x, y);
    EXPECT_EQ(about.btnAccept->GetPicture(), window.GetImage(23));
    EXPECT_EQ(ends.Count(), 0);  // only a left click accepts

    about.Close(forms::kUnloadFromControlMenu);
    EXPECT_EQ(ends.Count(), 1);
    EXPECT_FALSE(window.bcc);
    EXPECT_FALSE(window.Visible());
    EXPECT_EQ(window.SelectedConnectionType, 0);  // the store was not read
    EXPECT_FALSE(window.mnuConnectionType(3).Checked());
}

TEST_F(AppTest, AcceptingBuildsTheWindowAndHelpShowsTheSameWindowModal) {
    StoreConnectionType("3");
    Edit(0, 300);  // a value from before the build goes back to the default
    StartAndAccept();
    EXPECT_EQ(ends.Count(), 0);
    EXPECT_TRUE(window.Visible());
    EXPECT_FALSE(window.frmAbout->Visible());
    EXPECT_FALSE(window.frmAbout->Loaded());
    ASSERT_TRUE(window.bcc);
    EXPECT_FALSE(window.bcc->IsConnected());
    EXPECT_EQ(window.GetPicture(), window.GetImage(17));
    EXPECT_EQ(window.btnConnect->GetPicture(), window.GetImage(0));
    EXPECT_EQ(window.SelectedConnectionType, 3);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(window.mnuConnectionType(i).Checked(), i == 3) << i;
    for (std::int16_t i = 0; i < 12; ++i) {
        EXPECT_EQ(Value(i), dravik::ChannelDefault(i));
        EXPECT_EQ(window.Channels.StartupValues[i], dravik::ChannelDefault(i));
        EXPECT_EQ(window.Channels.TestedValues[i], dravik::ChannelDefault(i));
    }

    // The about box: modal, its accept only hides it; its close box unloads it.
    dravik::AboutWindow& about = *window.frmAbout;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(about.Visible());
        Click(about, *about.btnAccept);
    });
    window.mnuHelp(0).Choose();
    EXPECT_FALSE(about.Visible());
    EXPECT_TRUE(about.Loaded());
    about.lblVersion->SetCaption("changed");
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(about.lblVersion->Caption(), "changed");  // shown again as it was
        about.Window()->close();
    });
    window.mnuHelp(0).Choose();
    EXPECT_FALSE(about.Loaded());
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(about.lblVersion->Caption(), "Version 1.0.176");  // loaded again
        about.Window()->close();
    });
    window.mnuHelp(0).Choose();
    EXPECT_EQ(ends.Count(), 0);
    EXPECT_TRUE(window.Visible());

    window.Window()->close();  // the main window's close box ends the program
    EXPECT_EQ(ends.Count(), 1);
}

// At the keyboard the disclaimer answers as a dialog: Enter accepts (and later hides the
// about box), Escape is its close box (at start-up the end of the program).
TEST_F(AppTest, EnterAcceptsTheDisclaimerAndEscapeClosesIt) {
    const auto key = [](forms::Form& form, Qt::Key k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(form.Window(), &press);
    };
    window.Load();
    key(*window.frmAbout, Qt::Key_Return);
    EXPECT_TRUE(window.fAgreementAccepted);
    EXPECT_TRUE(window.Visible());
    dravik::AboutWindow& about = *window.frmAbout;
    QTimer::singleShot(0, [&] { key(about, Qt::Key_Enter); });
    window.mnuHelp(0).Choose();
    EXPECT_TRUE(about.Loaded());
    QTimer::singleShot(0, [&] { key(about, Qt::Key_Escape); });
    window.mnuHelp(0).Choose();
    EXPECT_FALSE(about.Loaded());
    EXPECT_EQ(ends.Count(), 0);

    dravik::MainWindow second;
    second.Load();
    key(*second.frmAbout, Qt::Key_Escape);
    EXPECT_EQ(ends.Count(), 1);
    EXPECT_FALSE(second.fAgreementAccepted);
}

TEST_F(AppTest, AQuickSecondClickIsASecondClickOnceStarted) {
    forms::Form::SetClassDoubleClicks(true);
    StartAndAccept();
    EXPECT_FALSE(forms::Form::ClassDoubleClicks());
    const forms::Image& plus = window.btnPlus(1);  // Lambda Regulation, 0
    const double x = plus.Left() + 4, y = plus.Top() + 4;
    forms::testing::ClickAt(window, x, y);
    forms::testing::DoubleClickAt(window, x, y);
    EXPECT_EQ(Value(1), 2);

    // Where double clicks are on, the second press is one and makes no step.
    forms::Form::SetClassDoubleClicks(true);
    forms::testing::ClickAt(window, x, y);
    forms::testing::DoubleClickAt(window, x, y);
    forms::Form::SetClassDoubleClicks(false);
    EXPECT_EQ(Value(1), 3);
}

TEST_F(AppTest, ConnectionTypeMenuAndStore) {
    StoreConnectionType("7");
    StartAndAccept();
    EXPECT_EQ(window.SelectedConnectionType, 0);
    EXPECT_TRUE(window.mnuConnectionType(0).Checked());
    EXPECT_EQ(StoredConnectionType(), "7");  // left until the user chooses

    window.mnuConnectionType(2).Choose();
    EXPECT_EQ(window.SelectedConnectionType, 2);
    EXPECT_FALSE(window.mnuConnectionType(0).Checked());
    EXPECT_TRUE(window.mnuConnectionType(2).Checked());
    EXPECT_EQ(StoredConnectionType(), "2");
    window.mnuConnectionType(2).Choose();
    EXPECT_TRUE(window.mnuConnectionType(2).Checked());

    // Any text that converts to a byte names its port, rounded half to even; others are USB.
    const std::pair<const char*, int> stored[] = {{"abc", 0}, {"-1", 0},  {"300", 0}, {"", 0},
                                                  {"2x", 0},  {"4.6", 0}, {" 4 ", 4}, {"0003", 3},
                                                  {"3.0", 3}, {"3.4", 3}, {"2.5", 2}, {"&H1", 1}};
    for (const auto& [text, type] : stored) {
        StoreConnectionType(text);
        window.LoadConnectionType();
        EXPECT_EQ(window.SelectedConnectionType, type) << text;
    }

    // A damaged store keeps the choice for this run and says what is wrong with which file.
    std::ofstream(ConfigHome() + "/ortaline/registry.ini", std::ios::app) << "garbage\n";
    window.mnuConnectionType(3).Choose();
    EXPECT_EQ(window.SelectedConnectionType, 3);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_NE(boxes.Calls()[0].prompt.find("registry.ini is damaged: line"), std::string::npos)
        << boxes.Calls()[0].prompt;

    // Ctrl+O and Ctrl+S are the File menu's load and save; the separator does nothing.
    EXPECT_EQ(window.mnuFile(0).Shortcut(), "Ctrl+O");
    EXPECT_EQ(window.mnuFile(1).Shortcut(), "Ctrl+S");
    window.mnuFile(0).Choose();
    window.mnuFile(1).Choose();
    window.mnuFile_Click(2);
    EXPECT_EQ(window.loadClicks, 1);
    EXPECT_EQ(window.saveClicks, 1);
    EXPECT_EQ(ends.Count(), 0);
}

}  // namespace
}  // namespace app_test
