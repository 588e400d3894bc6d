#include "TestHome.h"
#include "text/TextConv.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The one main of every test program: a UTF-8 locale as the programs have, user folders in a
// temporary home so no test touches the real profile or settings, the headless platform, and
// one application object (so the browser starts once per test program).
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    SetTestHome(home.path());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    // Test discovery runs at build time, where no platform may be set.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    }
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    EnsureUtf8Locale();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
