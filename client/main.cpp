#include "Orvanta.h"
#include "TextConv.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[])
{
    EnsureUtf8Locale();
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
