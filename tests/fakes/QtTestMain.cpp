#include "TextConv.h"

#include <QApplication>
#include <gtest/gtest.h>

// For tests of windows and event loops: one QApplication for the whole test program.
int main(int argc, char** argv)
{
    EnsureUtf8Locale();
    // Test discovery runs at build time, where no platform may be set.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
