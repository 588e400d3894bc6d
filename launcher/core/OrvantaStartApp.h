#pragma once
#include "core/VersionCheck.h"

#include <functional>
#include <string>
#include <vector>

class CDbgLog;

// The launcher's application object: points the log at the program folder, reads the command
// line and runs the updater.
class COrvantaStartApp
{
public:
    using SleepFunction = std::function<void(unsigned int nMilliseconds)>;
    // Runs the updater window modally; it ends the process or returns when its run ends.
    using UpdaterRunner = std::function<void(COrvantaStartApp& app)>;

    // nullptr: the program's log. The wait of "[AutoRun=Y]" goes through SetSleep.
    explicit COrvantaStartApp(CDbgLog* pLog = nullptr);
    ~COrvantaStartApp();
    COrvantaStartApp(const COrvantaStartApp&) = delete;
    COrvantaStartApp& operator=(const COrvantaStartApp&) = delete;

    // strCmdLine: the arguments without the program name, joined by one blank. Always false:
    // the process ends after it.
    bool InitInstance(const std::wstring& strCmdLine);
    void SetInitialInfo(const std::wstring& strCmdLine);
    // 1 when no other process holds the name, 0 when one does. The name is never kept.
    int CheckDuplicateProcess(const std::wstring& strName);
    std::wstring GetModulePath() const;

    void SetSleep(SleepFunction sleep) { m_sleep = std::move(sleep); }
    void SetUpdaterRunner(UpdaterRunner runner) { m_runUpdater = std::move(runner); }
    // The arguments the command line was joined from; the client gets them one by one.
    void SetArguments(std::vector<std::wstring> args) { m_args = std::move(args); }
    const std::vector<std::wstring>& Arguments() const { return m_args; }
    // The version-check server and test flag as the command line left them, for the updater.
    VersionCheckConfig GetVersionCheckConfig() const { return {m_strVercheckerServerIpPort, m_nIsVerTest}; }

    std::wstring m_strVercheckerServerIpPort;
    int m_nIsVerTest = 0;
    std::wstring m_strCmdLine;

    static constexpr unsigned int kAutoRunWaitMs = 10000;

private:
    CDbgLog* m_pLog;
    SleepFunction m_sleep;
    UpdaterRunner m_runUpdater;
    std::vector<std::wstring> m_args;
};
