#pragma once
#include "core/DownloadEngine.h"
#include "core/DownloadState.h"
#include "core/VersionCheck.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class CDbgLog;
class ISettingsStore;
class QObject;

// The launcher's engine: asks the version-check server whether the installed client must be
// updated and, when it must, has its download engine (core/DownloadEngine.h) fetch the
// installer. It owns the update's state (core/DownloadState.h). Its workers never touch
// widgets; they report to the window set with SetWindow by posted events.
class U_HttpDown
{
public:
    using SleepFunction = std::function<void(unsigned int nMilliseconds)>;
    // Starts the download worker; false when it could not be started.
    using DownloadStarter = std::function<bool()>;

    // config: the server and the test flag from the launcher's command line. Null services
    // mean the process defaults.
    explicit U_HttpDown(VersionCheckConfig config = {}, ISettingsStore* pSettings = nullptr, CDbgLog* pLog = nullptr);
    virtual ~U_HttpDown();
    U_HttpDown(const U_HttpDown&) = delete;
    U_HttpDown& operator=(const U_HttpDown&) = delete;

    // The window every worker reports to; null: nobody. Safe from any thread.
    void SetWindow(QObject* pWindow);

    // Reads the installed version, chooses the temporary folder and starts GetVersionThread.
    // A version that cannot be read asks the window to close at once; the check still runs.
    void VersionCheckStart();
    // 0 read, -1 no Install key, -2 no readable "Version", -3 not exactly 9 characters.
    int GetClientVersion(std::wstring& strVersion) const;
    // The private download folder with its trailing "/": under $XDG_RUNTIME_DIR when set, else
    // inside the system's temporary folder ($TMPDIR or /tmp), else inside "Temp Files" in the
    // program folder.
    std::wstring ChooseTempFolder() const;

    static unsigned int GetVersionThread(U_HttpDown* pThis);
    // True when an update is required; sets m_nUpdateFlag.
    bool GetFileVersion(const std::wstring& strUrl, const std::wstring& strBody);
    // 0 update required, -10110 no update, -10101 unreadable; sets m_strSrvVer and the
    // state's download address.
    int GetResponse(const std::string& strAnswer);

    // Creates the folder of an installer path when it is missing.
    static void PrepareDownloadFolder(const std::wstring& strPath);
    static bool CreateDirectoryPath(const std::wstring& strFolder);

    std::wstring GetDownFilePath() const { return m_state.strDownFilePath; }

    // Blocks until a started check has ended.
    void WaitVersionCheck();

    // The download, run by the download engine.
    // Starts the download worker; false (flag 10110, close request) when it cannot run.
    bool StartThread();
    static unsigned int DownloadProcess(U_HttpDown* pThis)
    {
        return CDownloadEngine::DownloadProcess(&pThis->m_download);
    }
    static unsigned int MonitorStatusThread(U_HttpDown* pThis)
    {
        return CDownloadEngine::MonitorStatusThread(&pThis->m_download);
    }
    // "url?progId=...&srvVer=...&isVerTest=..." with the values as they are.
    std::wstring MakeDownloadUrl() const;

    void PauseDownload() { m_download.PauseDownload(); }
    void ResumeDownload() { m_download.ResumeDownload(); }
    bool IsDownloadPaused() const { return m_download.IsDownloadPaused(); }
    bool DownloadWorkerExists() const { return m_download.WorkerExists(); }
    // True while no download attempt runs.
    bool IsDownloadEnded() const { return m_state.bDownEnded.load(); }
    // True once the downloaded file matched the answer and may be run.
    bool IsInstallerVerified() const { return m_state.bInstallerVerified.load(); }
    // Stops the monitor and the worker and joins them; the destructor calls it.
    void StopDownload() { m_download.StopDownload(); }

    void SetSleep(SleepFunction sleep) { m_sleep = std::move(sleep); }
    void SetDownloadStarter(DownloadStarter starter) { m_startDownload = std::move(starter); }
    void SetServer(const std::wstring& strServerIpPort, int nIsVerTest)
    {
        m_config.strServerIpPort = strServerIpPort;
        m_config.nIsVerTest = nIsVerTest;
    }
    const VersionCheckConfig& GetVersionCheckConfig() const { return m_config; }

    DownloadState& State() { return m_state; }
    const DownloadState& State() const { return m_state; }
    CDownloadEngine& Download() { return m_download; }
    const CDownloadEngine& Download() const { return m_download; }

    std::wstring m_strSrvVer;
    std::atomic<int> m_nUpdateFlag;

    static constexpr unsigned int kEmptyAnswerWaitMs = 5000;

private:
    void Sleep(unsigned int nMilliseconds) const;

    VersionCheckConfig m_config;
    ISettingsStore* m_pSettings;
    CDbgLog* m_pLog;
    SleepFunction m_sleep;
    DownloadStarter m_startDownload;
    std::atomic<QObject*> m_pWindow{nullptr};
    DownloadState m_state;
    CDownloadEngine m_download;  // after the state it works on
    std::thread m_versionThread;
};
