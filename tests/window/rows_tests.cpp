// Channel rows: thumb positions, value texts and their marks, plus / minus auto-repeat,
// slider tracks and thumb drags.
#include <QImage>

#include "window_fixture.h"

namespace window_test {
namespace {

// Horizontal ink extent of a picture box canvas (pixels that are not the back colour).
std::pair<int, int> InkSpan(const QImage& canvas) {
    const QRgb back = canvas.pixel(0, canvas.height() - 1);
    int left = -1, right = -1;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            if (canvas.pixel(x, y) == back) continue;
            if (left < 0 || x < left) left = x;
            right = std::max(right, x);
        }
    }
    return {left, right};
}

TEST_F(WindowTest, ThumbSitsAtTheValuesPlaceBetweenTheButtons) {
    EXPECT_EQ(window.ThumbMinLeft(0), 316);
    EXPECT_EQ(window.ThumbMaxLeft(0), 444);
    EXPECT_EQ(ThumbLeft(0), 395);  // Boost 255 in 128..333
    EXPECT_EQ(ThumbLeft(1), 380);  // Lambda 0 in -10..10: the middle
    window.UpdateRow(0, 128, 333, 128);
    EXPECT_EQ(ThumbLeft(0), 316);
    window.UpdateRow(0, 128, 333, 333);
    EXPECT_EQ(ThumbLeft(0), 444);
    // UpdateRow shows, it does not store.
    EXPECT_EQ(Value(0), 255);
}

TEST_F(WindowTest, ValueTextIsCentredAndMarksFollowTheShownValue) {
    auto [left, right] = InkSpan(window.lblValues(0).Canvas());
    ASSERT_GE(left, 0);
    EXPECT_NEAR((left + right) / 2.0, 75 / 2.0, 2.0);
    EXPECT_EQ(window.lblValues(0).ToolTipText(), "");

    Click(window.btnPlus(0));
    EXPECT_EQ(Value(0), 256);
    EXPECT_EQ(window.lblValues(0).ToolTipText(), "This value has not been tested.");
    window.Channels.TestedValues[0] = 256;
    window.RefreshRow(0);
    EXPECT_EQ(window.lblValues(0).ToolTipText(),
              "Press set if you want the ECU to remember this value every time you start the "
              "car.");
    // The mark follows the value shown, not the stored one.
    window.UpdateRow(0, 128, 333, 255);
    EXPECT_EQ(window.lblValues(0).ToolTipText(), "This value has not been tested.");
    EXPECT_EQ(Value(0), 256);
}

TEST_F(WindowTest, ShortPlusPressStepsOnceAtReleaseAndHoldingRepeatsEvery50ms) {
    Press(window.btnPlus(0));
    EXPECT_EQ(window.btnPlus(0).GetPicture(), window.GetImage(7));
    timers.Advance(30);
    EXPECT_EQ(Value(0), 255);  // nothing at the press
    Release(window.btnPlus(0));
    EXPECT_EQ(Value(0), 256);
    EXPECT_EQ(window.btnPlus(0).GetPicture(), window.GetImage(8));
    timers.Advance(500);
    EXPECT_EQ(Value(0), 256);

    Press(window.btnMinus(0));
    EXPECT_EQ(window.tmrMinusPlus->Tag, "-1");  // not 0: minus on row 0
    timers.Advance(49);
    EXPECT_EQ(Value(0), 256);
    timers.Advance(1);
    EXPECT_EQ(Value(0), 255);  // first step one period after the press
    timers.Advance(125);
    EXPECT_EQ(Value(0), 253);
    Release(window.btnMinus(0));
    EXPECT_EQ(Value(0), 253);  // a held press makes no extra step at release
    EXPECT_EQ(ThumbLeft(0), 394);
}

TEST_F(WindowTest, PlusAtMaxChangesNothingButStillShowsThePress) {
    window.Channels.ChannelTable[1].Value = 10;
    window.RefreshRow(1);
    Press(window.btnPlus(1), forms::kRightButton);
    timers.Advance(200);
    EXPECT_EQ(window.btnPlus(1).GetPicture(), window.GetImage(7));
    Release(window.btnPlus(1), forms::kRightButton);
    EXPECT_EQ(Value(1), 10);
    // Nothing is redrawn: a thumb put elsewhere stays there.
    window.tmbSlider(1).SetLeft(300);
    Click(window.btnPlus(1));
    EXPECT_EQ(ThumbLeft(1), 300);
    window.Channels.ChannelTable[1].Value = -10;
    Click(window.btnMinus(1));
    EXPECT_EQ(Value(1), -10);
    EXPECT_EQ(ThumbLeft(1), 300);
    window.Channels.ChannelTable[1].Value = 10;
    window.RefreshRow(1);
    // A middle click on minus acts like a left click.
    Click(window.btnMinus(1), forms::kMiddleButton);
    EXPECT_EQ(Value(1), 9);
}

TEST_F(WindowTest, TrackClickStepsOnceTowardThePressedPoint) {
    TrackPress(0, 330);  // left of the thumb (395)
    TrackRelease(0, 330);
    EXPECT_EQ(Value(0), 254);
    EXPECT_FALSE(window.tmrSlideTrack->Enabled());
    // Exactly at the thumb's left edge (the thumb covers that pixel, so the handlers are
    // called as the window system would for the track): upward.
    const float edge = static_cast<float>((ThumbLeft(0) - window.SlideTracks(0).Left()) * 15);
    window.SlideTracks_MouseDown(0, forms::kLeftButton, 0, edge, 0);
    window.SlideTracks_MouseUp(0, forms::kLeftButton, 0, edge, 0);
    EXPECT_EQ(Value(0), 255);
    window.SlideTracks_MouseDown(0, forms::kLeftButton, 0, edge - 1, 0);  // one twip left
    window.SlideTracks_MouseUp(0, forms::kLeftButton, 0, edge - 1, 0);
    EXPECT_EQ(Value(0), 254);
    timers.Advance(500);
    EXPECT_EQ(Value(0), 254);
}

TEST_F(WindowTest, HeldTrackRunsUntilTheThumbCentreReachesThePoint) {
    TrackPress(0, 430);
    timers.Advance(5000);
    // Upward runs while the centre is at or left of the point: 297 puts it at 431.
    EXPECT_EQ(Value(0), 297);
    EXPECT_EQ(ThumbLeft(0) + 9, 431);
    EXPECT_FALSE(window.tmrSlideTrack->Enabled());
    TrackRelease(0, 430);
    EXPECT_EQ(Value(0), 297);

    TrackPress(0, 340);
    timers.Advance(10000);
    // Downward stops as soon as the centre is at or left of the point.
    EXPECT_EQ(Value(0), 152);
    EXPECT_EQ(ThumbLeft(0) + 9, 340);
    TrackRelease(0, 340);
}

TEST_F(WindowTest, MovingAcrossTheThumbStopsTheRunWhichNeverReverses) {
    TrackPress(0, 430);
    timers.Advance(100);
    EXPECT_EQ(Value(0), 257);
    TrackMove(0, 330);  // beyond the thumb, against the run
    timers.Advance(500);
    EXPECT_EQ(Value(0), 257);
    TrackMove(0, 430);  // back in the run's direction
    timers.Advance(100);
    EXPECT_EQ(Value(0), 259);
    TrackMove(0, 430, 0);  // a move without the left button does nothing
    TrackRelease(0, 430);
    EXPECT_FALSE(window.tmrSlideTrack->Enabled());
}

TEST_F(WindowTest, TrackStepsEndExactlyAtTheLimit) {
    window.SlideTracks(0).Tag = "5";
    window.Channels.ChannelTable[0].Value = 300;
    window.RefreshRow(0);
    TrackPress(0, 454);
    timers.Advance(1000);
    TrackRelease(0, 454);
    EXPECT_EQ(Value(0), 333);

    window.Channels.ChannelTable[0].Value = 140;  // thumb at 323, left of it the track
    window.RefreshRow(0);
    TrackPress(0, 320);
    EXPECT_EQ(window.tmrSlideTrack->Tag, "-1");
    timers.Advance(1000);
    TrackRelease(0, 320);
    EXPECT_EQ(Value(0), 128);
}

TEST_F(WindowTest, DraggingTheThumbSnapsToTheRoundedValue) {
    const double grab = 5;
    const double y = CentreY(window.tmbSlider(0));
    forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, 395 + grab, y);
    // The thumb's would-be left edge 395, 396, 397 gives 255, 256, 258.
    const std::pair<int, int> steps[] = {{395, 255}, {396, 256}, {397, 258}};
    for (auto [wouldBeLeft, expected] : steps) {
        forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, wouldBeLeft + grab,
                                  y);
        EXPECT_EQ(Value(0), expected) << wouldBeLeft;
    }
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 100, y);
    EXPECT_EQ(Value(0), 128);
    EXPECT_EQ(ThumbLeft(0), 316);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 790, y);
    EXPECT_EQ(Value(0), 333);
    EXPECT_EQ(ThumbLeft(0), 444);
    forms::testing::SendMouse(window, MouseAction::Release, forms::kLeftButton, 790, y);
    // Without the left button a move does not drag.
    forms::testing::SendMouse(window, MouseAction::Move, forms::kRightButton, 400, y);
    EXPECT_EQ(Value(0), 333);
}

TEST_F(WindowTest, DragMoveWithoutAChangeReprintsTheTextAndLeavesTheThumb) {
    const QImage clean = window.lblValues(0).Canvas().copy();
    window.lblValues(0).Print("XXXXXXXXXX");
    ASSERT_NE(window.lblValues(0).Canvas(), clean);
    const double y = CentreY(window.tmbSlider(0));
    forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, 400, y);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 400.4, y);
    forms::testing::SendMouse(window, MouseAction::Release, forms::kLeftButton, 400.4, y);
    EXPECT_EQ(Value(0), 255);
    EXPECT_EQ(ThumbLeft(0), 395);
    EXPECT_EQ(window.lblValues(0).Canvas(), clean);
}

TEST_F(WindowTest, ValueOutsideItsLimitsPutsTheThumbAtTheNearerEnd) {
    // InitChannelLimits while connected keeps a value that the restored limits exclude. The
    // thumb stays on its track instead of covering the plus button (or leaving 16 bits).
    window.Channels.ChannelTable[0] = dravik::ChannelRecord{128, 333, 400};
    window.RefreshRow(0);
    EXPECT_EQ(ThumbLeft(0), window.ThumbMaxLeft(0));
    window.Channels.ChannelTable[0] = dravik::ChannelRecord{128, 333, 100};
    window.RefreshRow(0);
    EXPECT_EQ(ThumbLeft(0), window.ThumbMinLeft(0));
    window.Channels.ChannelTable[2] = dravik::ChannelRecord{0, 31, 65535};
    EXPECT_NO_THROW(window.RefreshRow(2));
    EXPECT_EQ(ThumbLeft(2), window.ThumbMaxLeft(2));
    // A drag brings it back inside.
    const double y = CentreY(window.tmbSlider(2));
    forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, ThumbLeft(2) + 4, y);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, ThumbLeft(2) + 4, y);
    forms::testing::SendMouse(window, MouseAction::Release, forms::kLeftButton, ThumbLeft(2) + 4,
                              y);
    EXPECT_EQ(Value(2), 31);
}

TEST_F(WindowTest, RightOrMiddleClicksOnTracksNeverMoveAnySlider) {
    // At start (no step made yet) and after another row's track run alike. Row 3's thumb
    // covers 597..615, so 650 is on the track.
    ASSERT_GT(650, ThumbLeft(3) + window.tmbSlider(3).Width());
    for (int button : {forms::kRightButton, forms::kMiddleButton}) {
        TrackPress(3, 650, button);
        TrackRelease(3, 650, button);
    }
    for (int i = 0; i < 12; ++i) EXPECT_EQ(Value(i), dravik::ChannelDefault(i)) << i;

    TrackPress(1, 330);  // left click on row 1: one step down
    TrackRelease(1, 330);
    TrackPress(2, 450, forms::kRightButton);
    TrackRelease(2, 450, forms::kRightButton);
    EXPECT_EQ(Value(1), -1);
    EXPECT_EQ(Value(2), 0);
    EXPECT_EQ(Value(0), 255);
}

TEST_F(WindowTest, EqualLimitsAndThumbsWithoutTravelDoNotDivideByZero) {
    window.Channels.ChannelTable[0] = dravik::ChannelRecord{200, 200, 200};
    window.RefreshRow(0);
    EXPECT_EQ(ThumbLeft(0), 316);
    Click(window.btnPlus(0));
    TrackPress(0, 450);
    timers.Advance(200);
    TrackRelease(0, 450);
    EXPECT_EQ(Value(0), 200);

    // Plus moved so close that the thumb has no travel: R == L.
    window.Channels.ChannelTable[0] = dravik::ChannelRecord{128, 333, 255};
    window.btnPlus(0).SetLeft(window.ThumbMinLeft(0) + 18 + 3);
    ASSERT_EQ(window.ThumbMaxLeft(0), window.ThumbMinLeft(0));
    window.RefreshRow(0);
    EXPECT_EQ(ThumbLeft(0), 316);
    const double y = CentreY(window.tmbSlider(0));
    forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, 320, y);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 500, y);
    forms::testing::SendMouse(window, MouseAction::Release, forms::kLeftButton, 500, y);
    EXPECT_EQ(Value(0), 255);
}

TEST_F(WindowTest, LimitsAndValuesBeyond16BitsStayExact) {
    window.Channels.ChannelTable[0] = dravik::ChannelRecord{0, 70000, 65000};
    window.RefreshRow(0);
    EXPECT_EQ(ThumbLeft(0), 435);  // floor(128 * 65000 / 70000 + 316.5)
    Click(window.btnPlus(0));
    EXPECT_EQ(Value(0), 65001);
    const double y = CentreY(window.tmbSlider(0));
    forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, 440, y);
    forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 790, y);
    forms::testing::SendMouse(window, MouseAction::Release, forms::kLeftButton, 790, y);
    EXPECT_EQ(Value(0), 70000);
    EXPECT_EQ(window.Channels.ChannelTable[0].Max, 70000);
}

TEST_F(WindowTest, EveryRowOfBothPagesStepsTracksAndDragsItsOwnChannel) {
    for (int page : {0, 6}) {
        if (page == 6) window.btnAdvancedFuel_Click();
        ASSERT_EQ(window.PageOffset, page);
        std::vector<std::int32_t> expected;
        for (int i = 0; i < 12; ++i) expected.push_back(Value(i));
        for (int r = 0; r < 6; ++r) {
            const int i = page + r;
            const std::int32_t start = Value(i);
            const std::string name = dravik::ChannelName(static_cast<std::int16_t>(i));
            const QImage before = window.lblValues(r).Canvas().copy();

            Click(window.btnPlus(r));
            EXPECT_EQ(Value(i), start + 1) << name;
            EXPECT_NE(window.lblValues(r).Canvas(), before) << name;
            EXPECT_EQ(window.lblValues(r).ToolTipText(), dravik::kUntestedTooltip) << name;
            Click(window.btnMinus(r));
            EXPECT_EQ(Value(i), start) << name;

            // A click on the track's right end, beside the thumb: one step up.
            const forms::Image& track = window.SlideTracks(r);
            const double end = track.Left() + track.Width() - 2;
            ASSERT_GT(end, ThumbLeft(r) + window.tmbSlider(r).Width()) << name;
            TrackPress(r, end);
            TrackRelease(r, end);
            EXPECT_EQ(Value(i), start + 1) << name;

            // The thumb dragged past either end gives the limits and sits at L or R.
            const auto& record = window.Channels.ChannelTable.at(static_cast<std::size_t>(i));
            const double y = CentreY(window.tmbSlider(r));
            const double grab = ThumbLeft(r) + 9;
            forms::testing::SendMouse(window, MouseAction::Press, forms::kLeftButton, grab, y);
            forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 799, y);
            EXPECT_EQ(Value(i), record.Max) << name;
            EXPECT_EQ(ThumbLeft(r), window.ThumbMaxLeft(r)) << name;
            forms::testing::SendMouse(window, MouseAction::Move, forms::kLeftButton, 0, y);
            EXPECT_EQ(Value(i), record.Min) << name;
            EXPECT_EQ(ThumbLeft(r), window.ThumbMinLeft(r)) << name;
            forms::testing::SendMouse(window, MouseAction::Release, forms::kLeftButton, 0, y);
            expected[static_cast<std::size_t>(i)] = record.Min;

            for (int k = 0; k < 12; ++k) {
                EXPECT_EQ(Value(k), expected[static_cast<std::size_t>(k)]) << name << " " << k;
            }
        }
    }
}

}  // namespace
}  // namespace window_test
