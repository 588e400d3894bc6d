#pragma once
#include <QString>
#include <string>

class ISettingsStore;

// The first-start mark (Install\InitStart in the settings store) and the auto-start entry that
// starts the launcher at log-on (an XDG autostart file whose Exec= names the launcher).
class CStartupEntries
{
public:
    // strLauncherPath: the launcher beside the running client.
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
