// Every test program gets a QApplication on the offscreen platform, so tests
// can create real windows.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/fonts.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::installFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
