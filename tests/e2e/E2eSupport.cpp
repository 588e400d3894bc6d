#include "E2eSupport.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

ProgramFolder::ProgramFolder()
{
    QDir().mkpath(Path());
    QDir().mkpath(ConfigHome());
    QDir().mkpath(TempFolder());
    const QString bin = qEnvironmentVariable("ORVANTA_BIN_DIR");
    for (const QString& name : {QStringLiteral("Orvanta_Vexa"), QStringLiteral("OrvantaStart_Vexa")}) {
        QFile::copy(bin + QLatin1Char('/') + name, Path() + name);
        QFile::setPermissions(Path() + name, QFile::permissions(bin + QLatin1Char('/') + name));
    }
}

QProcessEnvironment ProgramFolder::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("TMPDIR"), TempFolder());
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    return env;
}

void ProgramFolder::Start(QProcess& process, const QString& program, const QStringList& args) const
{
    process.setProcessEnvironment(Environment());
    process.setWorkingDirectory(Path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(Path() + program, args);
    process.waitForStarted(10000);
}

bool ProgramFolder::Run(const QString& program, const QStringList& args, int timeoutMs,
                        int* exitCode, QString* output) const
{
    QProcess process;
    Start(process, program, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    if (exitCode != nullptr) {
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    if (output != nullptr) {
        *output = QString::fromUtf8(process.readAll());
    }
    return true;
}

QString WaitForWindowByTitle(const QString& title, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    while (timer.elapsed() < timeoutMs) {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern});
        xdotool.waitForFinished(5000);
        const QString ids = QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
        if (!ids.isEmpty()) {
            return ids.split(QLatin1Char('\n')).first();
        }
        QThread::msleep(200);
    }
    return {};
}

bool SendKey(const QString& windowId, const QString& key)
{
    // Real key events through XTEST after focusing: Qt ignores synthetic events sent to a window.
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), windowId});
    QThread::msleep(200);
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), key}) == 0;
}

bool HaveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

QString Today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}
