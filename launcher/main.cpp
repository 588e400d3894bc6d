#include "core/OrvantaStartApp.h"
#include "ui/OrvantaStartDlg.h"
#include "BuildConfig.h"
#include "diag/CrashDumpName.h"
#include "diag/DbgLog.h"
#include "platform/DisplayPlatform.h"
#include "platform/ModulePath.h"
#include "platform/ProgramNames.h"
#include "platform/StateFolder.h"
#include "text/BracketToken.h"
#include "text/TextConv.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

namespace {
void PrintHelp()
{
    std::printf(
        "Usage: OrvantaStart_Vexa [TOKEN]...\n"
        "Starts 라벤토: asks the version-check server whether the client must be updated,\n"
        "downloads and opens the installer when it must, and otherwise starts the client\n"
        "Orvanta_Vexa beside this program with the launch token and this whole command line.\n"
        "\n"
        "Tokens are written in square brackets, in any order among other arguments. Only the\n"
        "first of each name counts; one with an empty value or no closing ']' is ignored.\n"
        "  [LogEnable=Y]               write the debug log for this run (exactly Y)\n"
        "  [VerSrvIpPort=HOST[:PORT]]  the version-check server (default %s)\n"
        "  [IsVerTest=N]               1: test version check, 0: production (default 0)\n"
        "  [AutoRun=Y]                 started at log-on: wait 10 seconds for the network\n"
        "  [URL=SCHEME://HOST]         for the client: the service address\n"
        "                              (default %s)\n"
        "  [PORT=N]                    for the client: the service port\n"
        "  -h, --help                  print this text and end\n"
        "\n"
        "Settings: $XDG_CONFIG_HOME/ORVANTA_VEXA/settings.ini (~/.config when unset).\n"
        "Log: Log/OrvantaStart_YYYY-MM-DD.txt (UTF-16) beside this program, or under\n"
        "$XDG_STATE_HOME/ORVANTA_VEXA/ (~/.local/state when unset) where its folder is not\n"
        "writable; a crash dump OrvantaStart_VexaYYYY.MM.DD.dmp goes to the current folder, or\n"
        "to that state folder in the second case.\n",
        ORVANTA_DEFAULT_VERSION_SERVER_A, ORVANTA_DEFAULT_SERVER_URL_A);
}
}  // namespace

int main(int argc, char* argv[])
{
    if (HasHelpOption(argc, argv)) {
        PrintHelp();
        return 0;
    }
    EnsureUtf8Locale();
    // An installed launcher cannot write the current folder's dump safely either (it may be a
    // system folder): its dump, same name, goes where its log goes.
    const std::wstring strStateFolder = StateFolder();
    if (strStateFolder != GetModuleFolder()) {
        g_strDumpPrefix = WideToAnsi(strStateFolder + kLauncherFileName);
    }

    bool bX11Selected = false;
    std::vector<char*> qtArgs = PlatformArguments(argc, argv, &bX11Selected);
    int qtArgc = static_cast<int>(qtArgs.size()) - 1;
    QApplication app(qtArgc, qtArgs.data());
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    std::vector<std::wstring> argList;
    for (const QString& arg : args) {
        argList.push_back(arg.toStdWString());
    }
    COrvantaStartApp theApp;
    theApp.SetArguments(argList);
    theApp.SetUpdaterRunner([bX11Selected](COrvantaStartApp& startApp) {
        // The log is set up by now; the window does not exist yet.
        if (bX11Selected) {
            g_DbgLog.GD_DebugPrintTagW(L"%ls", kX11SelectedNote);
        }
        COrvantaStartDlg dlg(LaunchContext{startApp.m_strCmdLine, startApp.Arguments(), startApp.GetModulePath(),
                                           [&startApp](const std::wstring& strName) {
                                               return startApp.CheckDuplicateProcess(strName);
                                           },
                                           startApp.GetVersionCheckConfig()});
        // The application's main window while it runs.
        g_hStartDlg = &dlg;
        dlg.DoModal();
        g_hStartDlg = nullptr;
    });
    theApp.InitInstance(args.join(QLatin1Char(' ')).toStdWString());
    return 0;
}
