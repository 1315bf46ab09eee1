// GoogleTest main for tests that need a Qt application: offscreen unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>

#include "forms/font.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time) needs no window system.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    forms::LoadFonts();
    return RUN_ALL_TESTS();
}
