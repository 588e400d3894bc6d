#include "OrvantaStartApp.h"
#include "OrvantaStartDlg.h"
#include "TextConv.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[])
{
    EnsureUtf8Locale();
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    std::vector<std::wstring> argList;
    for (const QString& arg : args) {
        argList.push_back(arg.toStdWString());
    }
    COrvantaStartApp theApp;
    theApp.SetArguments(argList);
    theApp.SetUpdaterRunner([](COrvantaStartApp& startApp) {
        COrvantaStartDlg dlg(LaunchContext{startApp.m_strCmdLine, startApp.Arguments(), startApp.GetModulePath(),
                                           [&startApp](const std::wstring& strName) {
                                               return startApp.CheckDuplicateProcess(strName);
                                           }});
        dlg.DoModal();
    });
    theApp.InitInstance(args.join(QLatin1Char(' ')).toStdWString());
    return 0;
}
