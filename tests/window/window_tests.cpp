// The window as a whole: press pictures, page switch, printed titles, the status line, the
// message box and the fixed layout.
#include <QImage>
#include <QMenuBar>
#include <QPalette>
#include <QWidget>
#include <cmath>

#include "dravik/run_time_error.h"
#include "forms/screen.h"
#include "window_fixture.h"

namespace window_test {
namespace {

// Leftmost and rightmost columns where two pictures differ, within a band of rows.
std::pair<int, int> DiffSpan(const QImage& a, const QImage& b, int top, int bottom,
                             int xBegin = 270, int xEnd = 510) {
    int left = -1, right = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = xBegin; x < xEnd; ++x) {
            if (a.pixel(x, y) == b.pixel(x, y)) continue;
            if (left < 0 || x < left) left = x;
            right = std::max(right, x);
        }
    }
    return {left, right};
}

TEST_F(WindowTest, AnyMouseButtonShowsThePressedPictureUntilRelease) {
    struct Pictures {
        forms::Image* button;
        int down;
        int up;
    };
    std::vector<Pictures> buttons = {{window.btnSet, 12, 13},       {window.btnLoad, 3, 4},
                                     {window.btnSave, 10, 11},      {window.btnAdvancedFuel, 21, 2},
                                     {window.btnDisconnect, 20, 1}, {window.btnBaseWindow, 22, 9}};
    for (int r = 0; r < 6; ++r) {
        buttons.push_back({&window.btnTest(r), 15, 16});
        buttons.push_back({&window.btnMinus(r), 5, 6});
        buttons.push_back({&window.btnPlus(r), 7, 8});
    }
    buttons.push_back({window.btnConnect, 19, 0});  // released by its Click after a left press
    window.btnConnect->SetVisible(false);           // Disconnect lies under it
    for (const Pictures& p : buttons) {
        const bool wasVisible = p.button->Visible();
        p.button->SetVisible(true);
        const double left = p.button->Left(), top = p.button->Top();
        for (int button : {forms::kRightButton, forms::kMiddleButton, forms::kLeftButton}) {
            Press(*p.button, button);
            EXPECT_EQ(p.button->GetPicture(), window.GetImage(p.down)) << p.button->Name();
            Release(*p.button, button);
            EXPECT_EQ(p.button->GetPicture(), window.GetImage(p.up)) << p.button->Name();
        }
        // Pictures swap, the button stays in place.
        EXPECT_EQ(p.button->Left(), left);
        EXPECT_EQ(p.button->Top(), top);
        if (window.PageOffset != 0) window.btnBaseWindow_Click();
        p.button->SetVisible(wasVisible);
    }
    EXPECT_EQ(window.connectClicks, 1);
    EXPECT_THROW(window.GetImage(25), dravik::RunTimeError);
}

TEST_F(WindowTest, PageSwitchShowsTheOtherSixChannelsAndIgnoresADoubleClicksSecondClick) {
    Click(window.btnPlus(0));  // edited while not connected: the switch puts it back
    ASSERT_EQ(Value(0), 256);
    const forms::Image& page = *window.btnAdvancedFuel;
    const double x = CentreX(page), y = CentreY(page);
    for (int i = 0; i < 2; ++i) {
        forms::testing::PostMouse(window, MouseAction::Press, forms::kLeftButton, x, y);
        forms::testing::PostMouse(window, MouseAction::Release, forms::kLeftButton, x, y);
    }
    forms::DoEvents();
    EXPECT_EQ(window.PageOffset, 6);
    EXPECT_FALSE(window.btnAdvancedFuel->Visible());
    EXPECT_TRUE(window.btnBaseWindow->Visible());
    EXPECT_TRUE(window.btnBaseWindow->Enabled());
    EXPECT_EQ(window.GetPicture(), window.GetImage(18));
    EXPECT_EQ(ThumbLeft(0), 380);  // Main Fuel Scale 128 in 64..192

    Click(*window.btnBaseWindow);
    EXPECT_EQ(window.PageOffset, 0);
    EXPECT_EQ(window.GetPicture(), window.GetImage(17));
    EXPECT_EQ(ThumbLeft(0), 395);
    EXPECT_EQ(Value(0), 255);
}

TEST_F(WindowTest, SecondPressOfADoubleClickIsNoPressOnTheButtonTheFirstClickShowed) {
    // Each click is handled in full before the next press comes, as a person's are.
    forms::testing::InputOnTimeLine paced;
    auto clickAt = [this](double x, double y) { forms::testing::ClickAt(window, x, y); };
    const double pageX = CentreX(*window.btnAdvancedFuel), pageY = CentreY(*window.btnAdvancedFuel);
    clickAt(pageX, pageY);
    timers.Advance(150);
    forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, pageX, pageY);
    EXPECT_EQ(window.btnBaseWindow->GetPicture(), window.GetImage(9));  // not pressed
    forms::testing::SendMouse(window, MouseAction::Release, forms::kLeftButton, pageX, pageY);
    EXPECT_EQ(window.PageOffset, 6);
    timers.Advance(400);  // a later click is a click
    clickAt(pageX, pageY);
    EXPECT_EQ(window.PageOffset, 0);

    window.connectShowsDisconnect = true;
    timers.Advance(1000);
    const double connectX = CentreX(*window.btnConnect), connectY = CentreY(*window.btnConnect);
    clickAt(connectX, connectY);
    timers.Advance(200);
    clickAt(connectX, connectY);
    EXPECT_EQ(window.connectClicks, 1);
    EXPECT_EQ(window.disconnectClicks, 0);
    EXPECT_EQ(window.btnDisconnect->GetPicture(), window.GetImage(1));

    // Two quick clicks on one button are two clicks.
    timers.Advance(1000);
    Click(window.btnPlus(0));
    timers.Advance(100);
    Click(window.btnPlus(0));
    EXPECT_EQ(Value(0), 257);
}

TEST_F(WindowTest, ADragBegunBesideTheControlsMovesNoSliderAndStepsNothing) {
    // Pressed on the bare window, the mouse belongs to the window until released: the thumb
    // it crosses is not dragged and the plus button it is released over makes no step.
    const double y = CentreY(window.tmbSlider(0));
    forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, 200, 200);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 404, y);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 330, y);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 440, y);
    Release(window.btnPlus(1));
    timers.Advance(500);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(Value(i), dravik::ChannelDefault(i)) << i;
    EXPECT_EQ(window.btnPlus(1).GetPicture(), window.GetImage(8));
}

TEST_F(WindowTest, RepeatTickActsOnTheChannelItsRowShowsNow) {
    Press(window.btnPlus(0));
    window.btnAdvancedFuel_Click();
    timers.Advance(50);
    EXPECT_EQ(Value(6), 129);
    EXPECT_EQ(Value(0), 255);
    Release(window.btnPlus(0));
}

TEST_F(WindowTest, TitlesAreCentredOverTheirAnchors) {
    window.SetPicture(QImage());
    window.Refresh();
    const QImage withTitles = window.Grab();
    QImage blank(withTitles.size(), withTitles.format());
    blank.fill(forms::ToQColor(window.BackColor()));
    const forms::Image& anchor = window.imgTitles(0);
    auto [left, right] = DiffSpan(withTitles, blank, 235, 260);
    ASSERT_GE(left, 0);
    // The drop shadow widens the ink by 2 pixels to the right.
    EXPECT_NEAR((left + right - 2) / 2.0, anchor.Left() + anchor.Width() / 2, 2.0);

    // A title wider than its anchor starts left of it by half the excess.
    const std::string wide(30, 'W');
    const double width = window.TextWidth(wide);
    ASSERT_GT(width, anchor.Width());
    window.DrawChannelTitle(0, wide);
    auto [wideLeft, wideRight] = DiffSpan(window.Grab(), withTitles, 235, 260, 0, 800);
    EXPECT_NEAR(wideLeft, anchor.Left() - (width - anchor.Width()) / 2, 2.0);
    EXPECT_TRUE(window.FontItalic());
}

TEST_F(WindowTest, StatusLineIsClearedAndPrintedAtOnce) {
    window.SetStatus("Connecting to ECU...");
    const QImage& canvas = window.lblStatus->Canvas();
    bool white = false;
    for (int x = 0; x < canvas.width() && !white; ++x) {
        for (int y = 0; y < canvas.height() && !white; ++y)
            white = canvas.pixel(x, y) == qRgb(255, 255, 255);
    }
    EXPECT_TRUE(white);
    window.SetStatus("");
    const QRgb back = forms::ToQColor(window.lblStatus->BackColor()).rgb();
    for (int x = 0; x < canvas.width(); ++x) {
        for (int y = 0; y < canvas.height(); ++y) ASSERT_EQ(canvas.pixel(x, y), back);
    }
}

TEST_F(WindowTest, MessageBoxCarriesTheProductNameUnlessTitled) {
    EXPECT_EQ(window.MsgBoxEx("Are you sure?", 292), 7);  // unanswered: the default, No
    EXPECT_EQ(window.MsgBoxEx("Report", 0, "Change Startup Parameters?"), 1);
    ASSERT_EQ(boxes.Calls().size(), 2u);
    EXPECT_EQ(boxes.Calls()[0].title, "Dravik");
    EXPECT_EQ(boxes.Calls()[1].title, "Change Startup Parameters?");
}

TEST_F(WindowTest, MenuBarIsDarkLikeTheSkinWithLightText) {
    const QPalette bar = window.MenuBar()->palette();
    EXPECT_LT(bar.color(QPalette::Window).lightness(), 64);
    EXPECT_GT(bar.color(QPalette::WindowText).lightness(), 192);
}

TEST_F(WindowTest, ResizeKeepsTheLayoutAndReturnsThumbsToTheirValues) {
    const double width = window.Width();
    Click(window.btnPlus(0));
    window.tmbSlider(0).SetLeft(380);  // somewhere else than its value's place
    window.Form_Resize();
    EXPECT_EQ(ThumbLeft(0), 396);
    EXPECT_EQ(window.Width(), width);
    EXPECT_EQ(window.ClientWidget()->width(), 800);
    EXPECT_EQ(window.LayoutTable.size(), window.Controls().size());
    EXPECT_EQ(window.LayoutTable.back().Name, "mnuHelp");  // menus: recorded by name only
}

TEST(WindowLayout, FirstRunMovesNothingRecordsTheWindowAsLaidOutAndKeepsItsSize) {
    forms::testing::ScriptedTimers timers;
    TestWindow window;
    std::vector<std::optional<forms::Rect>> before;
    for (const forms::Control* control : window.Controls()) before.push_back(control->Geometry());
    window.Form_Resize();  // before the window is first shown, as at start-up
    for (std::size_t i = 0; i < before.size(); ++i) {
        const forms::Control& control = *window.Controls()[i];
        if (control.Name() == "tmbSlider") continue;  // returned to their values' places
        const std::optional<forms::Rect> now = control.Geometry();
        ASSERT_EQ(now.has_value(), before[i].has_value());
        if (!now) continue;
        EXPECT_EQ(now->left, before[i]->left) << control.Name();
        EXPECT_EQ(now->top, before[i]->top) << control.Name();
        EXPECT_EQ(now->width, before[i]->width) << control.Name();
        EXPECT_EQ(now->height, before[i]->height) << control.Name();
    }
    EXPECT_EQ(window.tmbSlider(0).Left(), 395);

    window.Show();
    forms::DoEvents();
    const QSize shown = window.Window()->size();
    EXPECT_EQ(shown, QSize(800, 600 + window.MenuBar()->height()));
    // At 15 twips per pixel the record holds pixels; it is the size the window has.
    EXPECT_DOUBLE_EQ(window.WindowLayout.Width, shown.width());
    EXPECT_DOUBLE_EQ(window.WindowLayout.Height, shown.height());
    EXPECT_DOUBLE_EQ(window.Width(), shown.width() * 15.0);
    EXPECT_DOUBLE_EQ(window.Height(), shown.height() * 15.0);
    // Writing back what was read changes nothing.
    EXPECT_TRUE(window.SetWidth(window.Width()));
    EXPECT_TRUE(window.SetHeight(window.Height()));
    EXPECT_EQ(window.Window()->size(), shown);

    // The user cannot resize the window: the client area stays 800 x 600.
    window.Window()->resize(shown.width() + 200, shown.height() + 150);
    forms::DoEvents();
    EXPECT_EQ(window.Window()->size(), shown);
    EXPECT_EQ(window.ClientWidget()->size(), QSize(800, 600));
}

TEST(WindowLayout, AtTwelveTwipsPerPixelControlsAreScaledBackToTheirPixels) {
    forms::testing::ScriptedTimers timers;
    forms::Screen::SetTwipsPerPixel(12, 12);
    double scaledHeight = 0;
    {
        dravik::MainWindow window;
        // As a form designed at 15 twips per pixel loads on a 12 twips per pixel screen.
        window.imgTitles(0).Move(358.75, 298.75, 260, 20);
        window.lblValues(0).Move(496.25, 331.25, 260, 21.25);
        window.Form_Resize();
        EXPECT_DOUBLE_EQ(window.imgTitles(0).Left(), 287);
        EXPECT_DOUBLE_EQ(window.imgTitles(0).Top(), 239);
        EXPECT_DOUBLE_EQ(window.imgTitles(0).Width(), 208);
        EXPECT_DOUBLE_EQ(window.lblValues(0).Width(), 208);
        EXPECT_DOUBLE_EQ(window.lblValues(0).Height(), 17);
        EXPECT_NEAR(window.lblStatus->GetFont().size, 7.8, 1e-9);
        EXPECT_NEAR(window.GetFont().size, 7.8, 1e-6);
        EXPECT_EQ(window.ClientWidget()->width(), 800);
        scaledHeight = window.lblStatus->TextHeight("Ag");
    }
    forms::Screen::SetTwipsPerPixel(15, 15);
    // The scaled fonts keep the pixel size of the design.
    dravik::MainWindow design;
    EXPECT_DOUBLE_EQ(scaledHeight, design.lblStatus->TextHeight("Ag"));
}

}  // namespace
}  // namespace window_test
