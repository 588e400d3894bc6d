#include "shell/Orvanta.h"
#include "BuildConfig.h"
#include "diag/DbgLog.h"
#include "logic/BrowserStart.h"
#include "platform/DisplayPlatform.h"
#include "text/BracketToken.h"
#include "text/TextConv.h"

#include <QApplication>
#include <QByteArray>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

namespace {
void PrintHelp()
{
    std::printf(
        "Usage: Orvanta_Vexa [LAUNCH-TOKEN] [TOKEN]...\n"
        "The 라벤토 tray client: a tray icon with the login state, the service's main page in a\n"
        "borderless window, and caller-ID popups. Start it through OrvantaStart_Vexa, which puts\n"
        "the launch token first on its command line; without the token the client shows a\n"
        "message and ends. One client runs per machine.\n"
        "\n"
        "Tokens are written in square brackets, in any order among other arguments. Only the\n"
        "first of each name counts; one with an empty value or no closing ']' is ignored.\n"
        "  [LogEnable=VALUE]    any non-empty value: write the debug log for this run\n"
        "  [URL=SCHEME://HOST]  the service address, no port, no path (default %s)\n"
        "  [PORT=N]             the service port (a value without digits means none)\n"
        "  -h, --help           print this text and end\n"
        "\n"
        "Settings: $XDG_CONFIG_HOME/ORVANTA_VEXA/settings.ini (~/.config when unset).\n"
        "Log: Log/Orvanta_YYYY-MM-DD.txt (UTF-16) and crash dumps OrvamtaYYYY.MM.DD.dmp beside\n"
        "this program, or under $XDG_STATE_HOME/ORVANTA_VEXA/ (~/.local/state when unset) where\n"
        "its folder is not writable.\n",
        ORVANTA_DEFAULT_SERVER_URL_A);
}

// The environment the browser starts with; the application object reads it.
void PrepareBrowserStart(int argc, char* argv[])
{
    const BrowserStart start = ChooseBrowserStart(
        [](const char* pszName) { return qEnvironmentVariable(pszName).toStdString(); },
        std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray::fromStdString(start.strChromiumFlags));
    if (start.bSoftwarePainting) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    if (start.bNoGlIntegration) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
}  // namespace

int main(int argc, char* argv[])
{
    if (HasHelpOption(argc, argv)) {
        PrintHelp();
        return 0;
    }
    EnsureUtf8Locale();
    // The page renderer's sandbox refuses to start as root (CI machines, containers).
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    PrepareBrowserStart(argc, argv);
    bool bX11Selected = false;
    std::vector<char*> qtArgs = PlatformArguments(argc, argv, &bX11Selected);
    int qtArgc = static_cast<int>(qtArgs.size()) - 1;
    QApplication app(qtArgc, qtArgs.data());

    // The command line as the launcher handed it over: the arguments joined by one blank.
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    COrvantaApp theApp;
    const bool bRun = theApp.InitInstance(args.join(QLatin1Char(' ')).toStdWString());
    if (bX11Selected) {
        DBG_LOG_AS_W(L"COrvantaApp::InitInstance", L"Orvanta", L"%ls", kX11SelectedNote);
    }
    if (!bRun) {
        return 0;
    }
    return QApplication::exec();
}
