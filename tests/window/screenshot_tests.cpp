// Renders both pages to PNG files under the build folder for a person to look at.
#include <QDir>
#include <QImage>

#include "window_fixture.h"

namespace window_test {
namespace {

TEST_F(WindowTest, RendersBothPagesToPictures) {
    QDir().mkpath(SCREENSHOT_DIR);
    window.ecu = "4B0906018CE 1.8L R4/5VT";
    window.SetStatus("Connected.");
    Click(window.btnPlus(0));
    window.Channels.TestedValues[2] = 4;
    window.Channels.ChannelTable[2].Value = 4;
    window.RefreshRow(2);
    window.Refresh();
    const QImage base = window.Grab();
    EXPECT_EQ(base.size(), QSize(800, 600));
    EXPECT_TRUE(base.save(QString(SCREENSHOT_DIR) + "/base_page.png"));

    Click(*window.btnAdvancedFuel);
    window.Refresh();
    const QImage advanced = window.Grab();
    EXPECT_TRUE(advanced.save(QString(SCREENSHOT_DIR) + "/advanced_fuel_page.png"));
    EXPECT_NE(base, advanced);
}

TEST_F(WindowTest, RendersLongTextsAndOutOfRangeValuesToAPicture) {
    QDir().mkpath(SCREENSHOT_DIR);
    window.ecu = "038906019FP  1.9l R4 EDC G000SG  5437";
    window.SetStatus("Lost communication with ECU - please check the cable and try again.");
    window.Channels.ChannelTable[0] = dravik::ChannelRecord{128, 333, 400};  // beyond Max
    window.Channels.ChannelTable[4] = dravik::ChannelRecord{-128, 127, -128};
    window.Channels.TestedValues[4] = -128;
    window.Channels.ChannelTable[5] = dravik::ChannelRecord{-20, 80, 80};
    for (std::int16_t r = 0; r < 6; ++r) window.RefreshRow(r);
    window.Refresh();
    const QImage shot = window.Grab();
    EXPECT_TRUE(shot.save(QString(SCREENSHOT_DIR) + "/long_texts.png"));
    // The thumb of the value beyond Max stays left of the plus button.
    EXPECT_LT(window.tmbSlider(0).Left() + window.tmbSlider(0).Width(), window.btnPlus(0).Left());
}

}  // namespace
}  // namespace window_test
