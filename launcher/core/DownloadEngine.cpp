#include "core/DownloadEngine.h"

#include "core/DownloadState.h"
#include "core/InstallerFile.h"
#include "core/LauncherEvents.h"
#include "core/UpdaterRules.h"
#include "diag/DbgLog.h"
#include "net/CurlTConnect.h"
#include "platform/Thread.h"
#include "platform/WaitableEvents.h"
#include "text/TextConv.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <climits>
#include <future>
#include <unistd.h>

namespace {
const wchar_t* const kFileLabel = L"U_HttpDown";

// The resume offset: what a file of ours at the path holds, nothing for anything else.
uint32_t ResumeOffsetOf(const std::wstring& strPath)
{
    const long long llSize = OwnFileSize(strPath);
    return llSize > 0 ? static_cast<uint32_t>(std::min<long long>(llSize, UINT32_MAX)) : 0;
}
}  // namespace

CDownloadEngine::CDownloadEngine(DownloadState& state, CDbgLog* pLog)
    : m_state(state), m_pLog(pLog != nullptr ? pLog : &g_DbgLog)
{
    m_pCurl = std::make_unique<CCurlTConnect>(m_pLog);
    // The question about stopping holds the transfer too: it is stopped at once, so its time
    // limit does not run on under the question, and taken up again from the file's size.
    m_pCurl->SetProgressGate([this] { return !m_bPaused.load() && !m_state.bStopDown.load(); });
}

CDownloadEngine::~CDownloadEngine()
{
    StopDownload();
}

CDownloadEngine::StartResult CDownloadEngine::Start(const std::wstring& strUrl, int& nError)
{
    nError = 0;
    std::lock_guard<std::mutex> startLock(m_startMutex);
    if (m_bStopping) {
        return StartResult::Stopping;
    }
    m_state.bStopDown = false;
    if (m_hThread.joinable()) {
        return StartResult::AlreadyRunning;
    }
    m_strUrl = strUrl;
    m_nRestartCount = 0;
    m_state.BeginDownload();
    m_bWorkerEnded = false;
    m_bMonitorStop = false;
    m_hEvent = std::make_unique<CWaitableEvents>(1);
    m_hEvent->Set(0);  // signalled: the first attempt runs at once

    static std::atomic<unsigned long> s_nNextId{1};
    const unsigned long nId = s_nNextId++;
    try {
        m_nThreadId = nId;
        m_hThread = StartThread([this] {
            if (!m_state.bStopDown) {
                DownloadProcess(this);
            }
            m_bWorkerEnded = true;
        });
    } catch (const std::system_error& error) {
        m_nThreadId = 0;
        nError = error.code().value();
        return StartResult::NoThread;
    }
    return StartResult::Started;
}

void CDownloadEngine::PauseDownload()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_bPaused = true;
}

void CDownloadEngine::ResumeDownload()
{
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_bPaused = false;
    }
    m_stateCv.notify_all();
}

bool CDownloadEngine::WaitWhilePaused()
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    m_stateCv.wait(lock, [this] { return !m_bPaused || m_state.bStopDown; });
    return !m_state.bStopDown;
}

bool CDownloadEngine::MonitorSleep(unsigned int nMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    return !m_stateCv.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                               [this] { return m_bMonitorStop.load() || m_state.bStopDown.load(); });
}

void CDownloadEngine::StartMonitor()
{
    std::lock_guard<std::mutex> lock(m_monitorMutex);
    if (!m_hMonitorThread.joinable() && !m_state.bStopDown) {
        m_bMonitorStop = false;
        m_hMonitorThread = StartThread([this] {
            MonitorStatusThread(this);
        });
    }
}

void CDownloadEngine::StopMonitor()
{
    std::lock_guard<std::mutex> lock(m_monitorMutex);
    {
        std::lock_guard<std::mutex> stateLock(m_stateMutex);
        m_bMonitorStop = true;
    }
    m_stateCv.notify_all();
    if (m_hMonitorThread.joinable()) {
        m_hMonitorThread.join();
    }
}

void CDownloadEngine::SendRetry()
{
    QObject* pWindow = Window();
    if (pWindow == nullptr || m_state.bStopDown) {
        return;
    }
    m_pRetryTarget = pWindow;
    // Sent, not only posted: the retry text is on screen before the worker waits for its release.
    std::promise<void> handled;
    std::future<void> done = handled.get_future();
    PostFromWorker(pWindow, new SentRetryEvent(std::move(handled)));
    done.wait();
    m_pRetryTarget = nullptr;
}

unsigned int CDownloadEngine::DownloadProcess(CDownloadEngine* pThis)
{
    CDbgLog* pLog = pThis->m_pLog;
    DownloadState& state = pThis->m_state;
    const wchar_t* const kFunc = L"U_HttpDown::DownloadProcess";
    pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() start");
    const std::wstring strUrl = pThis->m_strUrl;
    pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() sUrl=%ls[line: %d, function: %ls, file: %ls]", strUrl.c_str(),
                            __LINE__, kFunc, kFileLabel);
    if (pThis->m_nRestartCount == 0) {
        pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() 다운로드 시작(WM_DOWN_START) 메시지 전송처리 전.[line: %d, function: %ls, file: %ls]",
                                __LINE__, kFunc, kFileLabel);
        PostLauncherMessage(pThis->Window(), WM_DOWN_START, 0, 0);
    }
    pThis->StartMonitor();

    bool bWaitFailed = pThis->m_hEvent->WaitAny(std::chrono::hours(24 * 365)) != 0;
    CCurlTConnect& curl = *pThis->m_pCurl;
    const std::wstring& strPath = state.strDownFilePath;
    // Digested while it arrives: a second pass over a large installer would cost as much
    // time again as a good part of the transfer.
    RunningDigest digest(strPath);
    const bool bDigest = !state.strExpectedSha256.empty();
    if (bDigest) {
        curl.SetBodyObserver([&digest](long long llOffset, const char*, size_t nBytes) {
            digest.Add(llOffset, nBytes);
        });
    }
    while (!bWaitFailed) {
        if (!pThis->WaitWhilePaused()) {
            bWaitFailed = true;
            break;
        }
        state.bDownEnded = false;
        pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() m_nRestartCount=%d [line: %d, function: %ls, file: %ls]",
                                static_cast<int>(pThis->m_nRestartCount.load()), __LINE__, kFunc, kFileLabel);
        const long long llExpected = state.llExpectedSize.load();
        // The file is the truth: it holds every byte that was taken, whatever the counters say.
        uint32_t nOffset = ResumeOffsetOf(strPath);
        if (llExpected >= 0 && nOffset > llExpected) {
            ::unlink(WideToAnsi(strPath).c_str());
            nOffset = 0;
        }
        state.nResumeOffset = nOffset;
        if (bDigest) {
            digest.SyncWithFile(nOffset);
        }
        bool bResult = false;
        if (llExpected > 0 && nOffset == llExpected) {
            // Every byte is already there: only the check is left.
            bResult = true;
        } else {
            curl.SetExpectedSize(llExpected);
            bResult = curl.CurlDownload(strUrl, strPath, static_cast<int>(nOffset));
        }
        pLog->GD_DebugPrintTagW(L"bResult %d curlres %d [line: %d, function: %ls, file: %ls", bResult ? 1 : 0,
                                curl.m_nCurlResult, __LINE__, kFunc, kFileLabel);
        state.nResumeOffset = ResumeOffsetOf(strPath);
        if (curl.m_llTotalSize > 0) {
            state.RaiseTotalSize(static_cast<uint32_t>(std::min<long long>(curl.m_llTotalSize, UINT32_MAX)));
        }
        if (!bResult && curl.m_bStoppedByGate) {
            // Held for the user's question: no try is spent; the next request goes on from
            // the file's size with a fresh time limit.
            pLog->GD_DebugPrintNoLocA("U_HttpDown::Process() paused at %u bytes", state.nResumeOffset.load());
            if (!pThis->WaitWhilePaused()) {
                bWaitFailed = true;
                break;
            }
            continue;
        }
        // Nothing reaches the window while the user is being asked.
        if (!pThis->WaitWhilePaused()) {
            bWaitFailed = true;
            break;
        }

        const long long llTotal = curl.m_llTotalSize >= 0 ? curl.m_llTotalSize : llExpected;
        // A transfer that failed after its last byte (a connection that would not close)
        // still brought the whole installer.
        const bool bComplete = bResult || (curl.m_refusal == CCurlTConnect::Refusal::None && llTotal > 0 &&
                                           state.nResumeOffset.load() == llTotal);
        if (bComplete) {
            std::string strWhy;
            if (VerifyInstaller(strPath, llExpected, state.strExpectedSha256, strWhy, bDigest ? &digest : nullptr) &&
                MakeInstallerExecutable(strPath)) {
                state.bInstallerVerified = true;
                state.bDownEnded = true;
                const uint32_t nDone = state.nResumeOffset.load();
                state.RaiseTotalSize(nDone);
                PostLauncherMessage(pThis->Window(), WM_DOWN_PROGRESS, state.nTotalSize.load(), nDone);
                PostLauncherMessage(pThis->Window(), WM_VERSIONCHECK_EXIT, kExitRunInstaller, 0);
                break;
            }
            // Not the installer the answer named: it goes, and the next try starts from zero.
            pLog->GD_DebugPrintNoLocA("U_HttpDown::Process() installer check failed: %s", strWhy.c_str());
            ::unlink(WideToAnsi(strPath).c_str());
            state.nResumeOffset = 0;
        } else if (curl.m_nHttpCode == 404) {
            pLog->GD_DebugPrintTagW(L"U_HttpDown::GetResponseCode 404 [line: %d, function: %ls, file: %ls", __LINE__,
                                    kFunc, kFileLabel);
            state.bDownEnded = true;
            // No installer to be had: the download ends, and nothing is run.
            PostLauncherMessage(pThis->Window(), WM_DOWN_ERROR, kDownloadErrorCode, 0);
            break;
        }
        pLog->GD_DebugPrintTagW(L"U_HttpDown::ReStartDown() start. m_nRestartCount=%d[line: %d, function: %ls, file: %ls]",
                                static_cast<int>(pThis->m_nRestartCount.load()), __LINE__, kFunc, kFileLabel);
        ++pThis->m_nRestartCount;
        pThis->SendRetry();
        // Only now may the monitor answer the failure, so the retry text always comes first.
        state.bDownEnded = true;
        bWaitFailed = pThis->m_hEvent->WaitAny(std::chrono::hours(24 * 365)) != 0;
    }
    if (bWaitFailed) {
        pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() wait object get default event [line: %d, function: %ls, file: %ls",
                                __LINE__, kFunc, kFileLabel);
        state.bDownEnded = true;
        if (!state.bStopDown) {
            // No verified installer: the window gives up and starts the installed client.
            PostLauncherMessage(pThis->Window(), WM_DOWN_ERROR, kDownloadErrorCode, 0);
        }
    }
    curl.SetBodyObserver(nullptr);
    pThis->StopMonitor();
    pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() end [line: %d, function: %ls, file: %ls", __LINE__, kFunc,
                            kFileLabel);
    return 0;
}

unsigned int CDownloadEngine::MonitorStatusThread(CDownloadEngine* pThis)
{
    CDbgLog* pLog = pThis->m_pLog;
    DownloadState& state = pThis->m_state;
    const CCurlTConnect& curl = *pThis->m_pCurl;
    uint32_t nPrev = curl.m_nDownNow;
    unsigned int nReleased = 1;
    for (;;) {
        if (pThis->m_bMonitorStop || state.bStopDown) {
            return 0;
        }
        if (pThis->m_bPaused) {
            if (!pThis->MonitorSleep(kMonitorPeriodMs)) {
                return 0;
            }
            continue;
        }
        const uint32_t nNow = curl.m_nDownNow;
        const uint32_t nTotal = curl.m_nDownTotal;
        const bool bMoved = nNow != nPrev;
        // A resumed request announces only its remaining part. A size the answer named
        // stands.
        if (state.llExpectedSize.load() < 0 && nTotal != 0) {
            state.RaiseTotalSize(curl.m_nRequestBase + nTotal);
        }
        QObject* pWindow = pThis->Window();
        const bool bDownEnded = state.bDownEnded;
        if (IsStandingStill(nNow, bMoved, state.nTotalSize)) {
            pLog->GD_DebugPrintTagW(L"U_HttpDown::MonitorStatusThreadGetRetryCount() %d 멈춘 상태 %lld %d [line: %d, function: %ls, file: %ls]",
                                    static_cast<int>(pThis->m_nRestartCount.load()),
                                    static_cast<long long>(reinterpret_cast<intptr_t>(pWindow)), bDownEnded ? 1 : 0,
                                    __LINE__, L"MonitorStatusThread", kFileLabel);
        }
        switch (DecideMonitorAction(pThis->m_nRestartCount, nReleased, pWindow != nullptr, bDownEnded)) {
        case MonitorAction::GiveUp:
            pLog->GD_DebugPrintTagW(L"U_HttpDown::ReStartDown() error msg[line: %d, function: %ls, file: %ls]", __LINE__,
                                    L"MonitorStatusThread", kFileLabel);
            PostLauncherMessage(pWindow, WM_DOWN_ERROR, kDownloadErrorCode, 0);
            return 0;
        case MonitorAction::Release:
            if (!pThis->MonitorSleep(kRestartDelayMs)) {
                return 0;
            }
            ++nReleased;
            pThis->m_hEvent->Set(0);
            break;
        case MonitorAction::None:
            break;
        }
        const uint32_t nSample = curl.m_nDownNow;
        if (ShouldPostProgress(nSample, curl.m_nDownTotal, bMoved, pThis->Window() != nullptr, state.bDownEnded)) {
            pLog->GD_DebugPrintTagW(L"U_HttpDown::MonitorStatusThread [line: %d, function: %ls, file: %ls]", __LINE__,
                                    L"MonitorStatusThread", kFileLabel);
            // Counted from where this request's bytes start (0 after a server ignored the
            // Range line), never past the whole size.
            const uint32_t nWhole = state.nTotalSize.load();
            qintptr nDone = static_cast<qintptr>(curl.m_nRequestBase.load()) + nSample;
            if (nWhole != 0) {
                nDone = std::min<qintptr>(nDone, nWhole);
            }
            PostLauncherMessage(pThis->Window(), WM_DOWN_PROGRESS, nWhole, nDone);
        }
        nPrev = nSample;
        if (!pThis->MonitorSleep(kMonitorPeriodMs)) {
            return 0;
        }
    }
}

void CDownloadEngine::StopDownload()
{
    std::lock_guard<std::mutex> startLock(m_startMutex);
    m_bStopping = true;
    StopMonitor();
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.bStopDown = true;
        m_bPaused = false;
    }
    m_stateCv.notify_all();
    if (m_hEvent) {
        m_hEvent->Stop();
    }
    if (m_hThread.joinable()) {
        // A worker blocked in its sent WM_DOWN_RETRY waits for this very thread: dropping the
        // pending call lets it go on.
        while (!m_bWorkerEnded) {
            if (QObject* pTarget = m_pRetryTarget.load()) {
                QCoreApplication::removePostedEvents(pTarget, WM_DOWN_RETRY);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_hThread.join();
    }
    StopMonitor();
    m_nThreadId = 0;
}
