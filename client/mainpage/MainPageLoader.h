#pragma once
#include "platform/WaitableEvents.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

// What the loading worker does to the main page window. Called from the worker thread.
class IMainPageLoadTarget
{
public:
    virtual ~IMainPageLoadTarget() = default;
    virtual bool IsNetworkUp(const std::wstring& strUrl) = 0;
    virtual void NavigateMainPage(const std::wstring& strUrl) = 0;
    virtual std::wstring MainPageLocation() = 0;
    virtual int MainPageReadyState() = 0;
    // bDefault: the page reported its border but never its position; use the default size.
    virtual void ShowMainFrame(bool bCenter, bool bDefault) = 0;
    virtual bool IsCenterMainFrame() = 0;
    virtual void GiveUp() = 0;
};

// The one worker that loads the main page: checks the network, navigates, waits for the page
// to report its border and position (in either order), retries, and finally shows the frame or
// gives up. Every wait that times out before the border counts as a try, so it always ends.
class CMainPageLoader
{
public:
    // waitTime: how long one pass waits for the page's reports.
    explicit CMainPageLoader(IMainPageLoadTarget& target,
                             std::chrono::milliseconds waitTime = std::chrono::milliseconds(10000))
        : m_target(target), m_waitTime(waitTime)
    {
    }
    ~CMainPageLoader();
    CMainPageLoader(const CMainPageLoader&) = delete;
    CMainPageLoader& operator=(const CMainPageLoader&) = delete;

    // Starts the worker for strUrl; 0, or the system's error code when it cannot start.
    int Start(std::wstring strUrl);
    // Stops and joins the worker; the target must outlive this.
    void Stop();

    // The page's readiness, signalled from the user-interface thread.
    void SignalBorder()
    {
        ++m_nBorderReports;
        m_events.Set(kBorderEvent);
    }
    void SignalPosition()
    {
        ++m_nPositionReports;
        m_events.Set(kPosEvent);
    }
    // How often each was signalled (the worker's events reset as it takes them).
    int BorderReports() const { return m_nBorderReports; }
    int PositionReports() const { return m_nPositionReports; }

    int RetryCount() const { return m_nRetryCount; }

private:
    void MainPosInitThread();

    enum { kBorderEvent = 0, kPosEvent = 1 };

    IMainPageLoadTarget& m_target;
    std::chrono::milliseconds m_waitTime;
    std::wstring m_strMainUrl;
    std::atomic<int> m_nRetryCount{0};
    std::atomic<int> m_nBorderReports{0};
    std::atomic<int> m_nPositionReports{0};
    std::thread m_hPosInitThread;
    CWaitableEvents m_events{2};  // border, position
};
