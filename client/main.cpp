#include "Orvanta.h"
#include "TextConv.h"

#include <QApplication>
#include <QStringList>
#include <unistd.h>

int main(int argc, char* argv[])
{
    EnsureUtf8Locale();
    // The page renderer's sandbox refuses to start as root (CI machines, containers).
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    // The command line as the launcher handed it over: the arguments joined by one blank.
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    COrvantaApp theApp;
    if (!theApp.InitInstance(args.join(QLatin1Char(' ')).toStdWString())) {
        return 0;
    }
    return QApplication::exec();
}
