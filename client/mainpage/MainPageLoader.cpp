#include "mainpage/MainPageLoader.h"

#include "diag/DbgLog.h"
#include "logic/MainPageRules.h"
#include "platform/Thread.h"

#include <chrono>
#include <system_error>

namespace {
// The worker has always logged as the main page window's own thread procedure.
#define LOADER_LOG(fmt, ...) \
    DBG_LOG_AS_W(L"COrvantaMainDlg::MainPosInitThread", L"OrvantaMainDlg", fmt __VA_OPT__(, ) __VA_ARGS__)
}  // namespace

CMainPageLoader::~CMainPageLoader()
{
    Stop();
}

int CMainPageLoader::Start(std::wstring strUrl)
{
    m_strMainUrl = std::move(strUrl);
    try {
        m_hPosInitThread = StartThread([this] { MainPosInitThread(); });
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

void CMainPageLoader::Stop()
{
    m_events.Stop();
    if (m_hPosInitThread.joinable()) {
        m_hPosInitThread.join();
    }
}

void CMainPageLoader::MainPosInitThread()
{
    LOADER_LOG(L"start...");
    bool bBorder = false;
    bool bPos = false;
    bool bTimedOutAfterBorder = false;
    // A pass navigates once; a report that arrives without the other waits for it instead of
    // loading the page again (a page that reports only one would otherwise be reloaded forever).
    bool bNavigate = true;
    for (;;) {
        if (bNavigate && !bBorder) {
            bNavigate = false;
            if (m_target.IsNetworkUp(m_strMainUrl)) {
                m_target.NavigateMainPage(m_strMainUrl);
            }
        }
        const int nWait = m_events.WaitAny(m_waitTime);
        if (nWait == kBorderEvent) {
            LOADER_LOG(L"border event was signaled.");
            bBorder = true;
        } else if (nWait == kPosEvent) {
            LOADER_LOG(L"pos event was signaled.");
            bPos = true;
        } else if (nWait == CWaitableEvents::kTimedOut) {
            LOADER_LOG(L"Wait timed out. %d", 0);
            if (bBorder) {
                bTimedOutAfterBorder = true;
            } else {
                if (DecideLoadRetry(m_nRetryCount) == LoadRetry::GiveUp) {
                    m_target.GiveUp();
                    return;
                }
                ++m_nRetryCount;
                LOADER_LOG(L"need retry %ls, %d", m_target.MainPageLocation().c_str(),
                           m_target.MainPageReadyState());
                bNavigate = true;
                continue;
            }
        } else {
            // Stopped: the window is going away.
            return;
        }
        if (bBorder && bPos) {
            m_target.ShowMainFrame(m_target.IsCenterMainFrame(), false);
            return;
        }
        if (bTimedOutAfterBorder) {
            m_target.ShowMainFrame(true, true);
            return;
        }
    }
}
