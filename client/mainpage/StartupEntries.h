#pragma once
#include <QString>
#include <string>

class ISettingsStore;

// The Exec= value that starts `strProgram` without arguments: the path as one quoted argument,
// escaped as a desktop entry reads it (quoting rules, then the escapes of a string value).
QString DesktopEntryExec(const QString& strProgram);

// The first-start mark (Install\InitStart in the settings store) and the auto-start entry that
// starts the launcher at log-on (an XDG autostart file whose Exec= names the launcher).
class CStartupEntries
{
public:
    // strLauncherPath: the launcher beside the running client, the installed one for an
    // installed client (the client's folder is its real one, links resolved).
    CStartupEntries(ISettingsStore& settings, QString strAutostartFile, std::wstring strLauncherPath);

    // $XDG_CONFIG_HOME/autostart/OrvantaStart_Vexa.desktop (~/.config when unset).
    static QString DefaultAutostartFile();

    bool IsInitStart() const;
    bool SetInitStart();
    bool IsAutoRun() const;
    bool SetAutoRun(bool bOn);

private:
    ISettingsStore& m_settings;
    QString m_strAutostartFile;
    std::wstring m_strLauncherPath;
};
