#include "E2eSupport.h"
#include "WaitUntil.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>

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
    // Into a file nobody has to drain: a full pipe would stop the program mid-write.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(OutputFile(program), QIODevice::Append);
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
        QFile file(OutputFile(program));
        *output = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    return true;
}

QString WaitForWindowByTitle(const QString& title, int timeoutMs)
{
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    QString found;
    WaitUntil([&] {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern});
        xdotool.waitForFinished(5000);
        const QString ids = QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
        found = ids.isEmpty() ? QString() : ids.split(QLatin1Char('\n')).first();
        return !found.isEmpty();
    }, timeoutMs, 200);
    return found;
}

bool WaitForFocus(const QString& windowId, int timeoutMs)
{
    return WaitUntil([&] {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")});
        xdotool.waitForFinished(5000);
        return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed() == windowId;
    }, timeoutMs, 50);
}

bool SendKey(const QString& windowId, const QString& key)
{
    // Real key events through XTEST after focusing: Qt ignores synthetic events sent to a window.
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), windowId});
    WaitForFocus(windowId, 2000);
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

#include <QTcpServer>
#include <QTcpSocket>

StandInService::StandInService() = default;

StandInService::~StandInService()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

bool StandInService::Start(const QStringList& extraArgs)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    m_port = probe.serverPort();
    probe.close();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(qEnvironmentVariable("ORVANTA_BIN_DIR") + QStringLiteral("/orvanta_service"),
                    QStringList{QStringLiteral("--port"), QString::number(m_port)} + extraArgs);
    if (!m_process.waitForStarted(5000)) {
        return false;
    }
    return WaitForLocalPort(m_port, 10000);
}

bool WaitForLocalPort(int nPort, int nTimeoutMs)
{
    return WaitUntil([nPort] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(nPort));
        return socket.waitForConnected(200);
    }, nTimeoutMs, 100);
}

namespace {
// A small blocking HTTP exchange, enough for the stand-in's demo interface.
QByteArray Exchange(int port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    if (!socket.waitForConnected(3000)) {
        return {};
    }
    socket.write(request);
    socket.waitForBytesWritten(3000);
    QByteArray answer;
    while (socket.waitForReadyRead(3000)) {
        answer += socket.readAll();
    }
    const qsizetype body = answer.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : answer.mid(body + 4);
}
}  // namespace

bool StandInService::Push(const QString& method, const QByteArray& jsonArg)
{
    const QByteArray body = "{\"method\":\"" + method.toUtf8() + "\",\"arg\":" + jsonArg + "}";
    const QByteArray request = "POST /demo/push HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                               "Content-Type: application/json\r\nContent-Length: " +
                               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    return Exchange(m_port, request).contains("\"subscribers\"");
}

QByteArray StandInService::Get(const QString& path)
{
    return Exchange(m_port, "GET " + path.toUtf8() +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

QStringList ReadProgramLog(const QString& programFolder, const QString& logName)
{
    QFile file(programFolder + QStringLiteral("Log/") + logName + QLatin1Char('_') + Today() +
               QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(file.readAll().constData()),
                                      file.size() / 2);
    text.remove(QChar(0xFEFF));
    return text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

bool ProgramLogHas(const QString& programFolder, const QString& logName, const QString& text)
{
    for (const QString& line : ReadProgramLog(programFolder, logName)) {
        if (line.contains(text)) {
            return true;
        }
    }
    return false;
}

bool WaitForLogLine(const QString& programFolder, const QString& logName, const QString& text,
                    int timeoutMs)
{
    return WaitUntil([&] { return ProgramLogHas(programFolder, logName, text); }, timeoutMs, 200);
}

QList<WindowGeometry> VisibleWindows(const QString& title)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                   QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
    xdotool.waitForFinished(5000);
    QList<WindowGeometry> windows;
    for (const QString& id : QString::fromUtf8(xdotool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QProcess geometry;
        geometry.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
        geometry.waitForFinished(5000);
        QRect rect;
        for (const QString& line : QString::fromUtf8(geometry.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QString value = line.section(QLatin1Char('='), 1);
            if (line.startsWith(QStringLiteral("X="))) rect.moveLeft(value.toInt());
            if (line.startsWith(QStringLiteral("Y="))) rect.moveTop(value.toInt());
            if (line.startsWith(QStringLiteral("WIDTH="))) rect.setWidth(value.toInt());
            if (line.startsWith(QStringLiteral("HEIGHT="))) rect.setHeight(value.toInt());
        }
        windows.append({id, rect});
    }
    return windows;
}

#include <gtest/gtest.h>

namespace {
// A failed end-to-end test leaves a picture of the whole screen beside its output
// (e2e-failure-<suite>.<test>.xwd in the test's working folder).
class ScreenshotOnFailure : public ::testing::EmptyTestEventListener
{
    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        if (!info.result()->Failed() || !HaveDisplay()) {
            return;
        }
        const QString file = QStringLiteral("e2e-failure-%1.%2.xwd")
                                 .arg(QString::fromUtf8(info.test_suite_name()), QString::fromUtf8(info.name()))
                                 .replace(QLatin1Char('/'), QLatin1Char('_'));
        QProcess::execute(QStringLiteral("xwd"), {QStringLiteral("-root"), QStringLiteral("-silent"),
                                                  QStringLiteral("-out"), file});
    }
};

const bool s_screenshotListener = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure);
    return true;
}();
}  // namespace
