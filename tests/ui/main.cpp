#include <QApplication>

#include <gtest/gtest.h>

// Widgets draw offscreen, needing no display, under Turkish, whose decimal comma no number on
// screen may take; QApplication applies the locale to both the C library and Qt.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "tr_TR.UTF-8");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
