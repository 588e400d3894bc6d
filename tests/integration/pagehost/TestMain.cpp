#include "DbgLog.h"
#include "TextConv.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// One application, and so one browser start, for every test of the binary. The user folders
// point into a temporary folder so the tests never touch the real profile or settings.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
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

    g_DbgLog.SetLogDir(ToWide(home.path() + QStringLiteral("/Log")));
    g_DbgLog.SetLogFileName(L"Orvanta.txt");
    g_DbgLog.ForceEnable();

    return RUN_ALL_TESTS();
}
