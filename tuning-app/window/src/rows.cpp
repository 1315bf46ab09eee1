// Channel rows: the thumb's place for a value, the value text, and the ways the user
// changes a value (plus / minus with auto-repeat, slider tracks, dragging the thumb).
#include <algorithm>

#include "conversions.h"
#include "forms/screen.h"
#include "window/main_window.h"

namespace dravik {

std::int16_t MainWindow::ThumbMinLeft(int row) const {
    return ScreenInt16(btnMinus(row).Width() + btnMinus(row).Left() + 3);
}

std::int16_t MainWindow::ThumbMaxLeft(int row) const {
    return ScreenInt16(btnPlus(row).Left() - tmbSlider(row).Width() - 3);
}

void MainWindow::UpdateRow(std::int16_t row, std::int32_t min, std::int32_t max,
                           std::int32_t value) {
    const std::int16_t left = ThumbMinLeft(row);
    const std::int16_t right = ThumbMaxLeft(row);
    // Equal limits have no scale and a track without travel no room: the thumb then rests at
    // its leftmost place. A value outside the limits keeps the thumb at the nearer end.
    double f = 0;
    if (max != min) {
        f = (static_cast<double>(value) - min) / (static_cast<double>(max) - min);
        f = std::clamp(f, 0.0, 1.0);
    }
    const int travel = std::max(0, right - left);
    const std::int16_t x = ScreenInt16(RoundHalfUp(travel * f + left + 0.0));
    forms::Image& thumb = tmbSlider(row);
    if (x != thumb.Left()) thumb.SetLeft(x);
    DrawValueText(row, Channels.FormatChannelValue(static_cast<std::int16_t>(PageOffset + row),
                                                   value, false));
}

void MainWindow::RefreshRow(std::int16_t row) {
    const ChannelRecord& record =
        Channels.ChannelTable.at(static_cast<std::size_t>(PageOffset + row));
    UpdateRow(static_cast<std::int16_t>((PageOffset + row) % 6), record.Min, record.Max,
              record.Value);
}

void MainWindow::DrawValueText(std::int16_t row, const std::string& text) {
    forms::PictureBox& box = lblValues(row);
    box.Cls();
    const double t = forms::Screen::TwipsPerPixelX();
    const double textWidth = ScreenInt16(box.TextWidth(text));
    const double width = box.ScaleWidth();
    box.SetCurrentX(ScreenInt16(((width / 15) * t - (textWidth / 15) * t) / 2));
    box.SetCurrentY(0);
    box.Print(text);
}

std::int32_t MainWindow::Clamped(std::int32_t value, std::int32_t min, std::int32_t max) const {
    if (value < min) value = min;
    if (value > max) value = max;
    return value;
}

bool MainWindow::DecodeTag(const std::string& tag, int& row, bool& upward) {
    const std::int16_t t = ScreenInt16(LeadingNumber(tag));
    upward = t >= 0;
    row = upward ? t : ~t;
    return row >= 0 && row < 6;
}

// --- Plus and minus ------------------------------------------------------------------------

void MainWindow::btnMinus_MouseDown(int row, int, int, float, float) {
    PressMinusButton(row, true);
    fRepeatFired = false;
    tmrMinusPlus->Tag = std::to_string(~row);
    tmrMinusPlus->SetEnabled(true);
}

void MainWindow::btnPlus_MouseDown(int row, int, int, float, float) {
    PressPlusButton(row, true);
    fRepeatFired = false;
    tmrMinusPlus->Tag = std::to_string(row);
    tmrMinusPlus->SetEnabled(true);
}

void MainWindow::btnMinus_MouseUp(int row, int, int, float, float) {
    PressMinusButton(row, false);
    tmrMinusPlus->SetEnabled(false);
    if (!fRepeatFired) tmrMinusPlus_Timer();
}

void MainWindow::btnPlus_MouseUp(int row, int, int, float, float) {
    PressPlusButton(row, false);
    tmrMinusPlus->SetEnabled(false);
    if (!fRepeatFired) tmrMinusPlus_Timer();
}

void MainWindow::tmrMinusPlus_Timer() {
    fRepeatFired = true;
    int row = 0;
    bool upward = true;
    if (!DecodeTag(tmrMinusPlus->Tag, row, upward)) return;
    const auto i = static_cast<std::size_t>(PageOffset + row);
    ChannelRecord& record = Channels.ChannelTable.at(i);
    std::int32_t value = record.Value;
    if (upward && value < record.Max) {
        ++value;
    } else if (!upward && value > record.Min) {
        --value;
    } else {
        return;
    }
    UpdateRow(static_cast<std::int16_t>(i % 6), record.Min, record.Max, value);
    record.Value = value;
}

// --- Slider tracks -------------------------------------------------------------------------

void MainWindow::SlideTracks_MouseDown(int row, int button, int, float x, float) {
    if ((button & forms::kLeftButton) == 0) return;
    const double px = x / forms::Screen::TwipsPerPixelX();
    SliderMouseX = ScreenInt16(px);
    fRepeatFired = false;
    m_trackArmed = true;
    const float pressed = static_cast<float>(SlideTracks(row).Left() + px);
    tmrSlideTrack->Tag = std::to_string(pressed < tmbSlider(row).Left() ? ~row : row);
    tmrSlideTrack->SetEnabled(true);
}

void MainWindow::SlideTracks_MouseMove(int row, int button, int, float x, float) {
    TrackOnOffTest(row, (button & forms::kLeftButton) != 0, x / forms::Screen::TwipsPerPixelX());
}

void MainWindow::TrackOnOffTest(int row, bool leftHeld, double x) {
    // Only a run that a left press on a track started is steered by the mouse.
    if (!leftHeld || !m_trackArmed) return;
    SliderMouseX = ScreenInt16(x);
    const forms::Image& thumb = tmbSlider(row);
    const float centre = static_cast<float>(thumb.Left() + thumb.Width() / 2);
    const float pressed = static_cast<float>(SlideTracks(row).Left() + x);
    int tagRow = 0;
    bool upward = true;
    if (!DecodeTag(tmrSlideTrack->Tag, tagRow, upward)) return;
    tmrSlideTrack->SetEnabled(upward ? centre <= pressed : centre > pressed);
}

void MainWindow::SlideTracks_MouseUp(int row, int button, int, float, float) {
    tmrSlideTrack->SetEnabled(false);
    // A release steps only for a left press on a track; other clicks never move a slider.
    if (m_trackArmed && !fRepeatFired) tmrSlideTrack_Timer();
    tmrSlideTrack->SetEnabled(false);
    if ((button & forms::kLeftButton) != 0) m_trackArmed = false;
}

void MainWindow::tmrSlideTrack_Timer() {
    fRepeatFired = true;
    int row = 0;
    bool upward = true;
    if (!DecodeTag(tmrSlideTrack->Tag, row, upward)) return;
    const auto i = static_cast<std::size_t>(PageOffset + row);
    ChannelRecord& record = Channels.ChannelTable.at(i);
    const double step = LeadingNumber(SlideTracks(static_cast<int>(i % 6)).Tag);
    std::int32_t value = record.Value;
    if (!upward && value > record.Min) {
        value = ToLong(static_cast<double>(value) - step);
    } else if (upward && value < record.Max) {
        value = ToLong(static_cast<double>(value) + step);
    }
    value = Clamped(value, record.Min, record.Max);
    if (value != record.Value) {
        UpdateRow(static_cast<std::int16_t>(i % 6), record.Min, record.Max, value);
        record.Value = value;
    }
    TrackOnOffTest(static_cast<int>(i % 6), true, SliderMouseX);
}

// --- Thumb drag ----------------------------------------------------------------------------

void MainWindow::tmbSlider_MouseDown(int, int, int, float x, float) {
    SliderMouseX = ScreenInt16(x / forms::Screen::TwipsPerPixelX());
}

void MainWindow::tmbSlider_MouseMove(int row, int button, int, float x, float) {
    if ((button & forms::kLeftButton) == 0) return;
    const double px = x / forms::Screen::TwipsPerPixelX();
    const std::int16_t left = ThumbMinLeft(row);
    const std::int16_t right = ThumbMaxLeft(row);
    const auto i = static_cast<std::size_t>(PageOffset + row);
    ChannelRecord& record = Channels.ChannelTable.at(i);
    std::int32_t value = record.Value;
    // A thumb without travel cannot express a value: the value stays.
    if (right > left) {
        const double f = (tmbSlider(row).Left() + px - SliderMouseX - left) / (right - left);
        const double span = static_cast<double>(record.Max) - record.Min;
        value = HalfUpInt32(span * f + record.Min);
    }
    value = Clamped(value, record.Min, record.Max);
    UpdateRow(static_cast<std::int16_t>(row), record.Min, record.Max, value);
    record.Value = value;
}

}  // namespace dravik
