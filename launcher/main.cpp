#include "OrvantaStartApp.h"
#include "TextConv.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[])
{
    EnsureUtf8Locale();
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    COrvantaStartApp theApp;
    theApp.InitInstance(args.join(QLatin1Char(' ')).toStdWString());
    return 0;
}
