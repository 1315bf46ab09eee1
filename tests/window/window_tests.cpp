// The window as a whole: press pictures, page switch, printed titles, the status line, the
// message box and the fixed layout.
#include <QImage>
#include <QWidget>

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
    for (int button : {forms::kLeftButton, forms::kRightButton, forms::kMiddleButton}) {
        Press(*window.btnSet, button);
        EXPECT_EQ(window.btnSet->GetPicture(), window.GetImage(12));
        Release(*window.btnSet, button);
        EXPECT_EQ(window.btnSet->GetPicture(), window.GetImage(13));
    }
    EXPECT_EQ(window.btnSet->Left(), 53);  // pictures swap, the button stays in place
    // Connect stays pressed until its Click releases it.
    Press(*window.btnConnect, forms::kRightButton);
    Release(*window.btnConnect, forms::kRightButton);
    EXPECT_EQ(window.btnConnect->GetPicture(), window.GetImage(19));
    Click(*window.btnConnect);
    EXPECT_EQ(window.btnConnect->GetPicture(), window.GetImage(0));
    EXPECT_EQ(window.connectClicks, 1);
    EXPECT_THROW(window.GetImage(25), dravik::RunTimeError);
}

TEST_F(WindowTest, PageSwitchShowsTheOtherSixChannelsAndIgnoresADoubleClicksSecondClick) {
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

TEST(WindowLayout, AtTwelveTwipsPerPixelControlsAreScaledBackToTheirPixels) {
    forms::testing::ScriptedTimers timers;
    forms::Screen::SetTwipsPerPixel(12, 12);
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
        EXPECT_EQ(window.ClientWidget()->width(), 800);
    }
    forms::Screen::SetTwipsPerPixel(15, 15);
}

}  // namespace
}  // namespace window_test
