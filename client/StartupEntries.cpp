#include "StartupEntries.h"

#include "SettingsStore.h"

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
    if (base.isEmpty()) {
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

namespace {
// Desktop-entry quoting, so a path with blanks or quotes starts the right program.
QString QuoteExec(const QString& path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
}  // namespace

bool CStartupEntries::SetAutoRun(bool bOn)
{
    if (!bOn) {
        return !QFileInfo::exists(m_strAutostartFile) || QFile::remove(m_strAutostartFile);
    }
    QDir().mkpath(QFileInfo(m_strAutostartFile).absolutePath());
    QSaveFile file(m_strAutostartFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=라벤토\nExec=") +
                          QuoteExec(QString::fromStdWString(m_strLauncherPath)) +
                          QStringLiteral("\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    file.write(entry.toUtf8());
    return file.commit();
}
