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

}  // namespace
}  // namespace window_test
