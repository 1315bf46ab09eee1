// The skin: every picture of the store has the size the window's geometry needs (a pressed
// picture the size of its normal one, which it visibly differs from), and the generator
// draws the same pictures on every run.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QSize>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "skin/pictures.h"

namespace {

TEST(Skin, EveryPictureHasTheSizeItsControlNeeds) {
    const QSize sizes[dravik::skin::kPictureCount] = {
        {131, 68}, {133, 70}, {151, 81}, {94, 43},   {94, 43},   {25, 25},  {25, 25},
        {25, 25},  {25, 25},  {152, 83}, {96, 44},   {96, 44},   {94, 43},  {94, 43},
        {18, 23},  {69, 21},  {69, 21},  {800, 600}, {800, 600}, {131, 68}, {133, 70},
        {151, 81}, {152, 83}, {94, 43},  {94, 43}};
    for (int i = 0; i < dravik::skin::kPictureCount; ++i) {
        EXPECT_EQ(dravik::skin::Picture(i).size(), sizes[i]) << i;
    }
    EXPECT_TRUE(dravik::skin::Picture(25).isNull());
    EXPECT_TRUE(dravik::skin::Picture(-1).isNull());

    // Normal / pressed pairs look different.
    const std::pair<int, int> pairs[] = {{0, 19}, {1, 20},  {2, 21},  {4, 3},   {6, 5},   {8, 7},
                                         {9, 22}, {11, 10}, {13, 12}, {16, 15}, {23, 24}, {17, 18}};
    for (auto [normal, pressed] : pairs) {
        EXPECT_NE(dravik::skin::Picture(normal), dravik::skin::Picture(pressed))
            << normal << " / " << pressed;
    }
}

// Rows of a picture that hold near-white label ink between two columns.
int LabelInkRows(const QImage& picture, int left, int right) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = left; x < right && !ink; ++x) {
            const QColor c = image.pixelColor(x, y);
            ink = c.alpha() > 200 && c.red() > 200 && c.green() > 200 && c.blue() > 200;
        }
        rows += ink ? 1 : 0;
    }
    return rows;
}

double Luminance(const QColor& c) {
    return 0.2126 * c.red() + 0.7152 * c.green() + 0.0722 * c.blue();
}

TEST(Skin, ButtonsSharingAPlaceShowOneLabelSizeAndPanelCaptionsAreReadableInside) {
    using dravik::skin::Picture;
    // The labels lie right of the emblems (which start 10 pixels in and are under 32 wide).
    EXPECT_EQ(LabelInkRows(Picture(0), 42, 125), LabelInkRows(Picture(1), 42, 127));
    EXPECT_EQ(LabelInkRows(Picture(2), 44, 145), LabelInkRows(Picture(9), 44, 146));

    // The "SETTINGS FILE" caption on the top rim of its panel (x 34 to 164, top 232) is
    // bright and ends short of the panel's right edge.
    for (int page : {17, 18}) {
        const QImage back = Picture(page);
        double inside = 0, beyond = 0;
        for (int y = 224; y < 240; ++y) {
            for (int x = 66; x < 161; ++x)
                inside = std::max(inside, Luminance(back.pixelColor(x, y)));
            for (int x = 161; x < 200; ++x)
                beyond = std::max(beyond, Luminance(back.pixelColor(x, y)));
        }
        EXPECT_GT(inside, 180) << page;
        EXPECT_LT(beyond, 70) << page;
    }
}

TEST(Skin, GeneratorDrawsTheSamePicturesOnEveryRun) {
    const std::string folder = std::string(SKIN_CHECK_DIR);
    QDir(QString::fromStdString(folder)).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const std::string command =
        std::string("QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \"") + SKIN_GENERATOR +
        "\" \"" + SKIN_FONT_DIR + "\" \"" + folder + "\" 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (int i = 0; i < dravik::skin::kPictureCount; ++i) {
        const QString file =
            QString::fromStdString(folder) + QString("/image_%1.png").arg(i, 2, 10, QChar('0'));
        const QImage fresh(file);
        ASSERT_FALSE(fresh.isNull()) << i;
        // The program carries what the build drew; a fresh run must draw the same pixels.
        EXPECT_EQ(fresh.convertToFormat(QImage::Format_ARGB32),
                  dravik::skin::Picture(i).convertToFormat(QImage::Format_ARGB32))
            << i;
    }
}

}  // namespace
