// The skin: every picture of the store has the size the window's geometry needs (a pressed
// picture the size of its normal one, which it visibly differs from), and the generator
// draws the same pictures on every run.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QSize>
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
