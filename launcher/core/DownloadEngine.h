#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CCurlTConnect;
class CDbgLog;
class CWaitableEvents;
class DownloadState;
class QObject;

// The installer download: a worker that performs the requests, each resuming at the bytes
// already in the file, and a monitor that reports progress, releases the next attempt a second
// after a failure and gives up after the fourth. Neither touches widgets: they post events to
// the window, and wait for it only on a retry.
class CDownloadEngine
{
public:
    enum class StartResult
    {
        Started,
        AlreadyRunning,  // one download per engine
        Stopping,        // the engine is being stopped: no worker any more
        NoThread,        // the worker could not be created
    };

    // state: the update's state, which must outlive the engine. nullptr: the program's log.
    explicit CDownloadEngine(DownloadState& state, CDbgLog* pLog = nullptr);
    ~CDownloadEngine();
    CDownloadEngine(const CDownloadEngine&) = delete;
    CDownloadEngine& operator=(const CDownloadEngine&) = delete;

    // The window the workers report to; null: nobody. Safe from any thread.
    void SetWindow(QObject* pWindow) { m_pWindow = pWindow; }
    QObject* Window() const { return m_pWindow.load(); }

    // Starts the worker that downloads strUrl into the state's installer path. nError is the
    // system's error code after NoThread, 0 otherwise.
    StartResult Start(const std::wstring& strUrl, int& nError);
    static unsigned int DownloadProcess(CDownloadEngine* pThis);
    static unsigned int MonitorStatusThread(CDownloadEngine* pThis);

    // Around the window's question: the worker stops between transfers and reports nothing
    // while paused, and the monitor neither releases nor gives up.
    void PauseDownload();
    void ResumeDownload();
    bool IsDownloadPaused() const { return m_bPaused.load(); }
    bool WorkerExists() const { return m_nThreadId.load() != 0; }
    // Stops the monitor and the worker and joins them; the destructor calls it. No worker
    // starts afterwards.
    void StopDownload();

    // The transfer object of the download.
    std::unique_ptr<CCurlTConnect> m_pCurl;
    // Failed download attempts so far.
    std::atomic<uint16_t> m_nRestartCount{0};
    // Non-zero while a download worker exists.
    std::atomic<unsigned long> m_nThreadId{0};

private:
    // False when the engine is stopping.
    bool WaitWhilePaused();
    // Waits up to nMilliseconds; false when the monitor is told to stop.
    bool MonitorSleep(unsigned int nMilliseconds);
    void StartMonitor();
    void StopMonitor();
    // The worker's WM_DOWN_RETRY: returns once the window has handled it.
    void SendRetry();

    DownloadState& m_state;
    CDbgLog* m_pLog;
    std::atomic<QObject*> m_pWindow{nullptr};
    std::wstring m_strUrl;

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
