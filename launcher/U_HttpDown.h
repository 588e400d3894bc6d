#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <mutex>
#include <thread>

class CCurlTConnect;
class CWaitableEvents;
class CDbgLog;
class ISettingsStore;
class QObject;

// The updater window; every worker hand-over goes to it. Set by the window before the check.
extern std::atomic<QObject*> g_hStartDlg;
// The installed version, sent as "cliVer".
extern std::wstring g_strCliVer;
// First the chosen temporary folder, then the installer's full path.
extern std::wstring g_strDownFilePath;
// The download address from the last answer ("updateReq_url").
extern std::wstring g_strUpdateUrl;

// The download's state, shared by the download worker, the monitor and the window.
// Set when the engine is destroyed; a worker that finds it set does nothing more.
extern std::atomic<bool> g_bStopDown;
// 1 while no attempt runs, 0 while one runs.
extern std::atomic<bool> g_bDownEnded;
// Bytes of the installer already in the file; the next attempt resumes there.
extern std::atomic<uint32_t> g_nResumeOffset;
// The largest expected size seen: the installer's full size from the first attempt.
extern std::atomic<uint32_t> g_nTotalSize;

// The launcher's engine: asks the version-check server whether the installed client must be
// updated, then downloads the installer with resume and retry. Its workers never touch
// widgets; they report to the window by posted events, and wait for it only on a retry.
class U_HttpDown
{
public:
    using SleepFunction = std::function<void(unsigned int nMilliseconds)>;
    // Starts the download worker; false when it could not be started.
    using DownloadStarter = std::function<bool()>;

    // Null services mean the process defaults. The server and the test flag are taken from the
    // running launcher application, when there is one.
    explicit U_HttpDown(ISettingsStore* pSettings = nullptr, CDbgLog* pLog = nullptr);
    virtual ~U_HttpDown();
    U_HttpDown(const U_HttpDown&) = delete;
    U_HttpDown& operator=(const U_HttpDown&) = delete;

    // Reads the installed version, chooses the temporary folder and starts GetVersionThread.
    // A version that cannot be read asks the window to close at once; the check still runs.
    void VersionCheckStart();
    // 0 read, -1 no Install key, -2 no readable "Version", -3 not exactly 9 characters.
    int GetClientVersion(std::wstring& strVersion) const;
    // The system's temporary folder with its trailing "/", or "Temp Files" in the program
    // folder when there is none.
    std::wstring ChooseTempFolder() const;

    static unsigned int GetVersionThread(U_HttpDown* pThis);
    // True when an update is required; sets m_nUpdateFlag.
    bool GetFileVersion(const std::wstring& strUrl, const std::wstring& strBody);
    // 0 update required, -10110 no update, -10101 unreadable; sets m_strSrvVer, g_strUpdateUrl.
    int GetResponse(const std::string& strAnswer);

    // Creates the folder of an installer path when it is missing.
    static void PrepareDownloadFolder(const std::wstring& strPath);
    static bool CreateDirectoryPath(const std::wstring& strFolder);

    std::wstring GetDownFilePath() const { return g_strDownFilePath; }

    // Blocks until a started check has ended.
    void WaitVersionCheck();

    // Starts the download worker; false (flag 10110, close request) when it cannot run.
    bool StartThread();
    static unsigned int DownloadProcess(U_HttpDown* pThis);
    static unsigned int MonitorStatusThread(U_HttpDown* pThis);
    // "url?progId=...&srvVer=...&isVerTest=..." with the values as they are.
    std::wstring MakeDownloadUrl() const;

    // Around the window's question: the worker stops between transfers and reports nothing
    // while paused, and the monitor neither releases nor gives up.
    void PauseDownload();
    void ResumeDownload();
    bool IsDownloadPaused() const { return m_bPaused.load(); }
    bool DownloadWorkerExists() const { return m_nThreadId.load() != 0; }
    // Stops the monitor and the worker and joins them; the destructor calls it.
    void StopDownload();

    void SetSleep(SleepFunction sleep) { m_sleep = std::move(sleep); }
    void SetDownloadStarter(DownloadStarter starter) { m_startDownload = std::move(starter); }
    void SetServer(const std::wstring& strServerIpPort, int nIsVerTest)
    {
        m_strVercheckerServerIpPort = strServerIpPort;
        m_nIsVerTest = nIsVerTest;
    }

    std::unique_ptr<CCurlTConnect> m_pCurl;
    std::wstring m_strSrvVer;
    std::atomic<int> m_nUpdateFlag;
    // Failed download attempts so far.
    std::atomic<uint16_t> m_nRestartCount{0};
    // Non-zero while a download worker exists.
    std::atomic<unsigned long> m_nThreadId{0};

    std::wstring m_strVercheckerServerIpPort;
    int m_nIsVerTest = 0;

    static constexpr unsigned int kEmptyAnswerWaitMs = 5000;

private:
    void Sleep(unsigned int nMilliseconds) const;
    // False when the engine is stopping.
    bool WaitWhilePaused();
    // Waits up to nMilliseconds; false when the monitor is told to stop.
    bool MonitorSleep(unsigned int nMilliseconds);
    void StartMonitor();
    void StopMonitor();
    // The worker's WM_DOWN_RETRY: returns once the window has handled it.
    void SendRetry();

    ISettingsStore* m_pSettings;
    CDbgLog* m_pLog;
    SleepFunction m_sleep;
    DownloadStarter m_startDownload;
    std::thread m_versionThread;

    // The release event: auto-reset, created signalled.
    std::unique_ptr<CWaitableEvents> m_hEvent;
    std::thread m_hThread;
    std::thread m_hMonitorThread;
    std::mutex m_monitorMutex;  // guards m_hMonitorThread between worker and destruction
    std::atomic<bool> m_bWorkerEnded{false};
    // Once the engine stops, a late version check must not start a worker any more.
    std::mutex m_startMutex;
    bool m_bStopping = false;

    std::mutex m_stateMutex;
    std::condition_variable m_stateCv;
    std::atomic<bool> m_bPaused{false};
    std::atomic<bool> m_bMonitorStop{false};
    // Where a pending WM_DOWN_RETRY waits, so destruction can release it.
    std::atomic<QObject*> m_pRetryTarget{nullptr};
};
