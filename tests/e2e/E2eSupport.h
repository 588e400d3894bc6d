#pragma once
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A fresh program folder with copies of the built programs, and a private home for their
// settings, web data and lock files, so each test starts like a new installation.
class ProgramFolder
{
public:
    ProgramFolder();

    QString Path() const { return m_dir.path() + QStringLiteral("/app/"); }
    QString ConfigHome() const { return m_dir.path() + QStringLiteral("/config"); }
    QString TempFolder() const { return m_dir.path() + QStringLiteral("/tmp"); }
    QProcessEnvironment Environment() const;
    // Where a started program's standard output and error go.
    QString OutputFile(const QString& program) const { return TempFolder() + QLatin1Char('/') + program + QStringLiteral(".out"); }

    // Starts a program of the folder; the caller waits or kills.
    void Start(QProcess& process, const QString& program, const QStringList& args) const;

    // Runs it to its end; returns false when it did not end within the time.
    bool Run(const QString& program, const QStringList& args, int timeoutMs, int* exitCode,
             QString* output = nullptr) const;

private:
    QTemporaryDir m_dir;
};

// The X window whose title is exactly `title`, waiting up to `timeoutMs`; empty when none.
QString WaitForWindowByTitle(const QString& title, int timeoutMs);
// Waits until the X input focus is on the window.
bool WaitForFocus(const QString& windowId, int timeoutMs);
bool SendKey(const QString& windowId, const QString& key);
bool HaveDisplay();
// Waits until something accepts connections on the loopback port.
bool WaitForLocalPort(int nPort, int nTimeoutMs);

QString Today();  // local date as yyyy-MM-dd, the log file's date

// The stand-in service on a free local port, stopped with the object.
class StandInService
{
public:
    StandInService();
    ~StandInService();
    bool Start(const QStringList& extraArgs = {});
    int Port() const { return m_port; }
    QString BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    // POST /demo/push: the open main pages call window.external[method] with the argument.
    bool Push(const QString& method, const QByteArray& jsonArg);
    // GET of a path of the service; the body, or empty.
    QByteArray Get(const QString& path);

private:
    QProcess m_process;
    int m_port = 0;
};

// Reads a program's debug log of today as text lines (without the marks).
QStringList ReadProgramLog(const QString& programFolder, const QString& logName);
// Whether a line of the log contains `text`: now, or within `timeoutMs`.
bool ProgramLogHas(const QString& programFolder, const QString& logName, const QString& text);
bool WaitForLogLine(const QString& programFolder, const QString& logName, const QString& text,
                    int timeoutMs);

struct WindowGeometry
{
    QString id;
    QRect rect;
};
// The visible X windows titled `title`, with their geometry.
QList<WindowGeometry> VisibleWindows(const QString& title);
