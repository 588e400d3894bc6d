#include "TextConv.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

// Posted events need an application object; the screen test needs a screen (offscreen).
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    EnsureUtf8Locale();
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
