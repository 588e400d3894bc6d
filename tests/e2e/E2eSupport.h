#pragma once
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
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
bool SendKey(const QString& windowId, const QString& key);
bool HaveDisplay();

QString Today();  // local date as yyyy-MM-dd, the log file's date
