#include "mainpage/StartupEntries.h"

#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

CStartupEntries::CStartupEntries(ISettingsStore& settings, QString strAutostartFile,
                                 std::wstring strLauncherPath)
    : m_settings(settings),
      m_strAutostartFile(std::move(strAutostartFile)),
      m_strLauncherPath(std::move(strLauncherPath))
{
}

QString CStartupEntries::DefaultAutostartFile()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!base.startsWith(QLatin1Char('/'))) {  // unset, empty or relative: the default
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/autostart/OrvantaStart_Vexa.desktop");
}

bool CStartupEntries::IsInitStart() const
{
    return m_settings.ReadDword(L"Install", L"InitStart") == 1u;
}

bool CStartupEntries::SetInitStart()
{
    return m_settings.CreateKey(L"Install") && m_settings.WriteDword(L"Install", L"InitStart", 1);
}

bool CStartupEntries::IsAutoRun() const
{
    QFile file(m_strAutostartFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QStringLiteral("Exec="))) {
            return !line.mid(5).trimmed().isEmpty();
        }
    }
    return false;
}

QString DesktopEntryExec(const QString& strProgram)
{
    // The argument quoted: a path with blanks, quotes or "$" starts the right program, and a
    // "%" is not taken for a field code.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : strProgram) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        } else if (c == QLatin1Char('%')) {
            quoted += QLatin1Char('%');
        }
        quoted += c;
    }
    quoted += QLatin1Char('"');

    // Then the escapes of every string value, applied before the quoting is read: a backslash
    // doubles again, and a line break cannot end the line and start a key of its own.
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\')) {
            value += QStringLiteral("\\\\");
        } else if (c == QLatin1Char('\n')) {
            value += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\r')) {
            value += QStringLiteral("\\r");
        } else if (c == QLatin1Char('\t')) {
            value += QStringLiteral("\\t");
        } else {
            value += c;
        }
    }
    return value;
}

bool CStartupEntries::SetAutoRun(bool bOn)
{
    // Off removes the entry by its name, whichever launcher path it holds.
    if (!bOn) {
        return !QFileInfo::exists(m_strAutostartFile) || QFile::remove(m_strAutostartFile);
    }
    QDir().mkpath(QFileInfo(m_strAutostartFile).absolutePath());
    QSaveFile file(m_strAutostartFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=라벤토\nExec=") +
                          DesktopEntryExec(QString::fromStdWString(m_strLauncherPath)) +
                          QStringLiteral("\nIcon=orvanta-vexa\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    file.write(entry.toUtf8());
    return file.commit();
}
