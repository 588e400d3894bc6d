#include "CrashDump.h"
#include "DbgLog.h"
#include "ModulePath.h"
#include "TextConv.h"

#include <QApplication>
#include <QStringList>

// Until the updater arrives the launcher only records how it was started.
int main(int argc, char* argv[])
{
    EnsureUtf8Locale();
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const std::wstring strCmdLine = args.join(QLatin1Char(' ')).toStdWString();

    g_DbgLog.SetLauncherForm(true);
    g_DbgLog.SetLogDir(GetModuleFolder() + L"Log");
    g_DbgLog.SetLogFileName(L"OrvantaStart.txt");
    g_DbgLog.InitLog();
    if (strCmdLine.find(L"[LogEnable=Y]") != std::wstring::npos) {
        g_DbgLog.ForceEnable();
    }
    g_DbgLog.GD_DebugPrintTagW(L"COrvantaStartApp::SetInitialInfo strCmdLine=%ls", strCmdLine.c_str());
    InstallCrashDumpFilter();
    return 0;
}
