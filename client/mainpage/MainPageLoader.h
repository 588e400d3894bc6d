#pragma once
#include "platform/WaitableEvents.h"

#include <atomic>
#include <string>
#include <thread>

// What the loading worker does to the main page window. Called from the worker thread.
class IMainPageLoadTarget
{
public:
    virtual ~IMainPageLoadTarget() = default;
    virtual bool IsNetworkUp(const std::wstring& strUrl) = 0;
    virtual void NavigateMainPage(const std::wstring& strUrl) = 0;
    virtual bool IsMainPageComplete() = 0;
    virtual std::wstring MainPageLocation() = 0;
    virtual int MainPageReadyState() = 0;
    // bDefault: the page reported its border but never its position; use the default size.
    virtual void ShowMainFrame(bool bCenter, bool bDefault) = 0;
    virtual bool IsCenterMainFrame() = 0;
    virtual void GiveUp() = 0;
};

// The one worker that loads the main page: checks the network, navigates, waits for the page
// to report its border and position (in either order), retries, and finally shows the frame or
// gives up.
class CMainPageLoader
{
public:
    explicit CMainPageLoader(IMainPageLoadTarget& target) : m_target(target) {}
    ~CMainPageLoader();
    CMainPageLoader(const CMainPageLoader&) = delete;
    CMainPageLoader& operator=(const CMainPageLoader&) = delete;

    // Starts the worker for strUrl; 0, or the system's error code when it cannot start.
    int Start(std::wstring strUrl);
    // Stops and joins the worker; the target must outlive this.
    void Stop();

    // The page's readiness, signalled from the user-interface thread.
    void SignalBorder() { m_events.Set(kBorderEvent); }
    void SignalPosition() { m_events.Set(kPosEvent); }

    int RetryCount() const { return m_nRetryCount; }

private:
    void MainPosInitThread();

    enum { kBorderEvent = 0, kPosEvent = 1 };

    IMainPageLoadTarget& m_target;
    std::wstring m_strMainUrl;
    std::atomic<int> m_nRetryCount{0};
    std::thread m_hPosInitThread;
    CWaitableEvents m_events{2};  // border, position
};
