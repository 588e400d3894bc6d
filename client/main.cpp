#include "shell/Orvanta.h"
#include "BuildConfig.h"
#include "diag/DbgLog.h"
#include "platform/DisplayPlatform.h"
#include "text/BracketToken.h"
#include "text/TextConv.h"

#include <QApplication>
#include <QByteArray>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QStringList>

#include <cstdio>
#include <cstring>
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

// The main page, popups and alerts are pages of one site: sharing renderers spares a process
// start per popup. A process model the user chose (environment or command line) is kept.
void ShareRenderersPerSite(int argc, char* argv[])
{
    static const char* const kModels[] = {"--process-per-site", "--process-per-tab",
                                          "--single-process"};
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const char* pszModel : kModels) {
        for (const QByteArray& flag : flags.split(' ')) {
            if (flag == pszModel) {
                return;
            }
        }
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], pszModel) == 0) {
                return;
            }
        }
    }
    if (!flags.trimmed().isEmpty()) {
        flags.append(' ');
    }
    flags.append(kModels[0]);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

// The hosted pages are small documents: painting their frames in software spares every view
// its GPU surfaces and the driver's copies of them, over a third of the client's memory with
// the main page and ten popups open. A backend the user chose (QT_QUICK_BACKEND=rhi for the
// GPU) is kept.
void PaintPagesInSoftware()
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") &&
        qEnvironmentVariableIsEmpty("QMLSCENE_DEVICE")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
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
    ShareRenderersPerSite(argc, argv);
    PaintPagesInSoftware();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
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
