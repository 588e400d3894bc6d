#include "U_HttpDown.h"

#include "BuildConfig.h"
#include "CurlTConnect.h"
#include "DbgLog.h"
#include "LauncherEvents.h"
#include "ModulePath.h"
#include "OrvantaStartApp.h"
#include "SettingsStore.h"
#include "TextConv.h"
#include "UpdaterRules.h"
#include "VersionCheck.h"
#include "WaitableEvents.h"
#include "CrashDump.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

std::atomic<QObject*> g_hStartDlg{nullptr};
std::wstring g_strCliVer;
std::wstring g_strDownFilePath;
std::wstring g_strUpdateUrl;
std::atomic<bool> g_bStopDown{false};
std::atomic<bool> g_bDownEnded{false};
std::atomic<uint32_t> g_nResumeOffset{0};
std::atomic<uint32_t> g_nTotalSize{0};

namespace {
const wchar_t* const kFileLabel = L"U_HttpDown";
const wchar_t* const kDlgFileLabel = L"OrvantaStartDlg";

uint32_t FileSize(const std::wstring& strPath)
{
    struct stat info{};
    if (::stat(WideToAnsi(strPath).c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<uint32_t>(info.st_size);
}

bool IsDirectory(const std::string& strPath)
{
    struct stat info{};
    return ::stat(strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
}  // namespace

U_HttpDown::U_HttpDown(ISettingsStore* pSettings, CDbgLog* pLog)
    : m_nUpdateFlag(kUpdateFlagNoAnswer),
      m_strVercheckerServerIpPort(ORVANTA_DEFAULT_VERSION_SERVER),
      m_pSettings(pSettings != nullptr ? pSettings : &DefaultSettingsStore()),
      m_pLog(pLog != nullptr ? pLog : &g_DbgLog)
{
    m_pCurl = std::make_unique<CCurlTConnect>(m_pLog);
    // The question about stopping holds the transfer too, not only the gaps between requests.
    m_pCurl->SetProgressGate([this] { return WaitWhilePaused(); });
    if (const COrvantaStartApp* pApp = COrvantaStartApp::Instance()) {
        m_strVercheckerServerIpPort = pApp->m_strVercheckerServerIpPort;
        m_nIsVerTest = pApp->m_nIsVerTest;
    }
}

U_HttpDown::~U_HttpDown()
{
    StopDownload();
    // The check's worker uses this object to its end; it can no longer start a download.
    WaitVersionCheck();
}

void U_HttpDown::WaitVersionCheck()
{
    if (m_versionThread.joinable()) {
        m_versionThread.join();
    }
}

void U_HttpDown::Sleep(unsigned int nMilliseconds) const
{
    if (m_sleep) {
        m_sleep(nMilliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMilliseconds));
    }
}

int U_HttpDown::GetClientVersion(std::wstring& strVersion) const
{
    if (!m_pSettings->KeyExists(L"Install")) {
        return -1;
    }
    const auto stored = m_pSettings->ReadString(L"Install", L"Version");
    if (!stored) {
        return -2;
    }
    const std::string strStored = WideToAnsi(*stored);
    const int nRet = CheckStoredVersion(strStored);
    if (nRet == 0) {
        strVersion = AnsiToWide(strStored);
    }
    return nRet;
}

std::wstring U_HttpDown::ChooseTempFolder() const
{
    // The system's temporary folder. The short-path fallbacks of other systems do not apply:
    // "/tmp/" is short and perfectly good.
    const char* pszTmp = std::getenv("TMPDIR");
    std::string strTemp = (pszTmp != nullptr && *pszTmp != '\0') ? pszTmp : "/tmp";
    if (strTemp.back() != '/') {
        strTemp += '/';
    }
    if (!IsDirectory(strTemp)) {
        strTemp = WideToAnsi(GetModuleFolder()) + "Temp Files";
    }
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::VersionCheckStart() szTempDir=%s", strTemp.c_str());
    return AnsiToWide(strTemp);
}

void U_HttpDown::VersionCheckStart()
{
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::VersionCheckStart() start");
    std::wstring strVersion;
    const int nRet = GetClientVersion(strVersion);
    if (nRet != 0) {
        // The window's close rules start the client without waiting for the check.
        PostCloseRequest(g_hStartDlg.load());
    }
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::VersionCheckStart() Debug 1. nRet=%d[line: %d, function: %ls, file: %ls]",
                              nRet, __LINE__, L"COrvantaStartDlg::StartCheckVersion", kDlgFileLabel);
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::VersionCheckStart() [line: %d, function: %ls, file: %ls]",
                              __LINE__, L"COrvantaStartDlg::StartCheckVersion", kDlgFileLabel);
    g_strCliVer = strVersion;
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::StartCheckVersion() strCliVer=%ls[line: %d, function: %ls, file: %ls]",
                              g_strCliVer.c_str(), __LINE__, L"COrvantaStartDlg::StartCheckVersion",
                              kDlgFileLabel);
    g_strDownFilePath = ChooseTempFolder();

    WaitVersionCheck();
    m_versionThread = std::thread(&U_HttpDown::GetVersionThread, this);
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::VersionCheckStart() end");
}

unsigned int U_HttpDown::GetVersionThread(U_HttpDown* pThis)
{
    CDbgLog* pLog = pThis->m_pLog;
    pLog->GD_DebugPrintNoLocA("U_HttpDown::GetVersionThread() start");
    g_strUpdateUrl.clear();

    if (g_strDownFilePath.empty() || g_strDownFilePath.back() != L'/') {
        g_strDownFilePath += L'/';
    }
    g_strDownFilePath += kInstallerFileName;
    pLog->GD_DebugPrintNoLocA("U_HttpDown::GetVersionThread() Debug 3");

    // An installer left by an earlier run must not be taken for this run's download.
    PrepareDownloadFolder(g_strDownFilePath);
    ::unlink(WideToAnsi(g_strDownFilePath).c_str());

    const std::wstring strUrl = MakeVersionCheckUrl(pThis->m_strVercheckerServerIpPort);
    const std::wstring strBody = MakeVersionCheckBody(g_strCliVer, pThis->m_nIsVerTest);
    const bool bIsUpdate = pThis->GetFileVersion(strUrl, strBody);
    pLog->GD_DebugPrintNoLocA("U_HttpDown::GetVersionThread() GetFileVersion() bIsUpdate=%d", bIsUpdate ? 1 : 0);

    QObject* pWindow = g_hStartDlg.load();
    if (bIsUpdate) {
        pLog->GD_DebugPrintTagW(L"U_HttpDown::GetVersionThread() 패치파일 다운로드 요청 스레드 시작 요청, 패치파일 다운로드 URL=%ls[line: %d, function: %ls, file: %ls]",
                                g_strUpdateUrl.c_str(), __LINE__, L"GetVersionThread", kFileLabel);
        if (pThis->m_startDownload) {
            // The starter reports its own failure to the window.
            pThis->m_startDownload();
        } else {
            // Without a download worker the update cannot run: start the installed client.
            pLog->GD_DebugPrintTagW(L"U_HttpDown::GetVersionThread() no download worker[line: %d, function: %ls, file: %ls]",
                                    __LINE__, L"GetVersionThread", kFileLabel);
            pThis->m_nUpdateFlag = kUpdateFlagStopped;
            PostCloseRequest(pWindow);
        }
        pLog->GD_DebugPrintNoLocA("U_HttpDown::GetVersionThread() Debug 8");
    } else if (pWindow != nullptr) {
        pLog->GD_DebugPrintTagW(L"U_HttpDown::GetVersionThread() 패치파일 다운로드 필요없음.[line: %d, function: %ls, file: %ls]",
                                __LINE__, L"GetVersionThread", kFileLabel);
        PostCloseRequest(pWindow);
    }
    pLog->GD_DebugPrintNoLocA("U_HttpDown::StartHTTPDown() end");
    return 1;
}

bool U_HttpDown::GetFileVersion(const std::wstring& strUrl, const std::wstring& strBody)
{
    for (int nTry = 0; nTry < 2; ++nTry) {
        m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetFileVersion [SEND] %ls, %ls[line: %d, function: %ls, file: %ls]",
                                  strUrl.c_str(), strBody.c_str(), __LINE__, L"U_HttpDown::GetFileVersion",
                                  kFileLabel);
        CCurlTConnect curl(m_pLog);
        curl.SetSleep(m_sleep);
        const std::string strAnswer = curl.CurlPostA(strBody, strUrl, 1, L"");
        m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetFileVersion [RECV] %ls[line: %d, function: %ls, file: %ls]",
                                  AnsiToWide(strAnswer).c_str(), __LINE__, L"U_HttpDown::GetFileVersion",
                                  kFileLabel);
        m_nUpdateFlag = GetResponse(strAnswer);
        if (m_nUpdateFlag == kUpdateFlagUpdate) {
            m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetFileVersion flag %d [line: %d, function: %ls, file: %ls]",
                                      0, __LINE__, L"U_HttpDown::GetFileVersion", kFileLabel);
            return true;
        }
        if (!strAnswer.empty()) {
            return false;
        }
        // An empty answer may be a server still starting: ask once more a little later.
        if (nTry == 0) {
            Sleep(kEmptyAnswerWaitMs);
        }
    }
    return false;
}

int U_HttpDown::GetResponse(const std::string& strAnswer)
{
    const std::optional<VersionAnswer> answer = ParseVersionAnswer(strAnswer);
    if (!answer) {
        m_pLog->GD_DebugPrintNoLocA("U_HttpDown::GetResponse() ERROR. 버전체크서버 응답 JSON 파싱에러 발생.");
        return kUpdateFlagNotJson;
    }
    m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetResponse() nCheckResult=%d (0 No update, 1 Update, -21 Limit date, -31 Limit total, -32 Limit daily, -41 Limit traffic, -11 Unregist version, ...), strSrvVer=%ls, strUpdate_Url=%ls, strProgMeta=%ls",
                              answer->nCheckResult, AnsiToWide(answer->strSrvVer).c_str(),
                              AnsiToWide(answer->strUpdateUrl).c_str(), AnsiToWide(answer->strProgMeta).c_str());
    m_strSrvVer = AnsiToWide(answer->strSrvVer);
    g_strUpdateUrl = AnsiToWide(answer->strUpdateUrl);

    const int nFlag = DecideUpdateFlag(answer);
    if (nFlag == kUpdateFlagUpdate) {
        m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetResponse() 다운로드 필요함. 관리버전 : 클라이언트 %ls, 서버 %ls[line: %d, function: %ls, file: %ls]",
                                  g_strCliVer.c_str(), m_strSrvVer.c_str(), __LINE__, L"U_HttpDown::GetResponse",
                                  kFileLabel);
    } else {
        m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetResponse() 다운로드 필요 없음. 관리버전 : 클라이언트 %ls, 서버 %ls[line: %d, function: %ls, file: %ls]",
                                  g_strCliVer.c_str(), m_strSrvVer.c_str(), __LINE__, L"U_HttpDown::GetResponse",
                                  kFileLabel);
    }
    return nFlag;
}

void U_HttpDown::PrepareDownloadFolder(const std::wstring& strPath)
{
    const std::wstring strFolder = DownloadFolderOf(strPath);
    if (strFolder.empty()) {
        return;
    }
    if (::access(WideToAnsi(strFolder).c_str(), F_OK) != 0) {
        // A missing folder only makes the later download fail; nothing to report here.
        CreateDirectoryPath(strFolder);
    }
}

bool U_HttpDown::CreateDirectoryPath(const std::wstring& strFolder)
{
    std::wstring strText = strFolder.substr(0, 259);
    const size_t nEnd = strText.size();
    size_t nCut = nEnd;
    for (int nAttempt = 0; nAttempt < 10; ++nAttempt) {
        const std::string strPart = WideToAnsi(strText.substr(0, nCut));
        if (::mkdir(strPart.c_str(), 0755) == 0 || errno == EEXIST) {
            if (nCut == nEnd) {
                return true;
            }
            // Put the separator back and go one level deeper.
            const size_t nNext = strText.find(L'/', nCut + 1);
            nCut = nNext == std::wstring::npos ? nEnd : nNext;
        } else if (errno == ENOENT) {
            const size_t nPrev = nCut == 0 ? std::wstring::npos : strText.rfind(L'/', nCut - 1);
            if (nPrev == std::wstring::npos || nPrev == 0) {
                return false;
            }
            nCut = nPrev;
        } else {
            return false;
        }
    }
    return false;
}

// The download engine.

std::wstring U_HttpDown::MakeDownloadUrl() const
{
    return g_strUpdateUrl + L"?progId=" + kProgId + L"&srvVer=" + m_strSrvVer +
           L"&isVerTest=" + std::to_wstring(m_nIsVerTest);
}

bool U_HttpDown::StartThread()
{
    m_pLog->GD_DebugPrintNoLocA("U_HttpDown::StartThread() start");
    std::lock_guard<std::mutex> startLock(m_startMutex);
    if (m_bStopping) {
        return false;
    }
    g_bStopDown = false;
    if (m_hThread.joinable()) {
        // One download per engine.
        return true;
    }
    m_nRestartCount = 0;
    g_bDownEnded = false;
    g_nResumeOffset = 0;
    g_nTotalSize = 0;
    m_bWorkerEnded = false;
    m_bMonitorStop = false;
    m_hEvent = std::make_unique<CWaitableEvents>(1);
    m_hEvent->Set(0);  // signalled: the first attempt runs at once

    static std::atomic<unsigned long> s_nNextId{1};
    const unsigned long nId = s_nNextId++;
    try {
        m_nThreadId = nId;
        m_hThread = std::thread([this] {
            PrepareThreadForCrashDump();
            if (!g_bStopDown) {
                DownloadProcess(this);
            }
            m_bWorkerEnded = true;
        });
    } catch (const std::system_error& error) {
        m_nThreadId = 0;
        if (g_hStartDlg.load() != nullptr) {
            m_pLog->GD_DebugPrintTagW(L"U_HttpDown::_beginthreadex fail %d.[line: %d, function: %ls, file: %ls]",
                                      error.code().value(), __LINE__, L"U_HttpDown::StartThread", kFileLabel);
            m_nUpdateFlag = kUpdateFlagStopped;
            PostCloseRequest(g_hStartDlg.load());
        }
        return false;
    }
    m_pLog->GD_DebugPrintNoLocA("U_HttpDown::StartThread() end");
    return true;
}

void U_HttpDown::PauseDownload()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_bPaused = true;
}

void U_HttpDown::ResumeDownload()
{
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_bPaused = false;
    }
    m_stateCv.notify_all();
}

bool U_HttpDown::WaitWhilePaused()
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    m_stateCv.wait(lock, [this] { return !m_bPaused || g_bStopDown; });
    return !g_bStopDown;
}

bool U_HttpDown::MonitorSleep(unsigned int nMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    return !m_stateCv.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                               [this] { return m_bMonitorStop.load() || g_bStopDown.load(); });
}

void U_HttpDown::StartMonitor()
{
    std::lock_guard<std::mutex> lock(m_monitorMutex);
    if (!m_hMonitorThread.joinable() && !g_bStopDown) {
        m_bMonitorStop = false;
        m_hMonitorThread = std::thread([this] {
            PrepareThreadForCrashDump();
            MonitorStatusThread(this);
        });
    }
}

void U_HttpDown::StopMonitor()
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

void U_HttpDown::SendRetry()
{
    QObject* pWindow = g_hStartDlg.load();
    if (pWindow == nullptr || g_bStopDown) {
        return;
    }
    m_pRetryTarget = pWindow;
    // Sent, not posted: the retry text is on screen before the worker waits for its release.
    QMetaObject::invokeMethod(
        pWindow,
        [pWindow] {
            LauncherMessageEvent retry(WM_DOWN_RETRY, 0, 0);
            QCoreApplication::sendEvent(pWindow, &retry);
        },
        Qt::BlockingQueuedConnection);
    m_pRetryTarget = nullptr;
}

unsigned int U_HttpDown::DownloadProcess(U_HttpDown* pThis)
{
    CDbgLog* pLog = pThis->m_pLog;
    const wchar_t* const kFunc = L"U_HttpDown::DownloadProcess";
    pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() start");
    const std::wstring strUrl = pThis->MakeDownloadUrl();
    pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() sUrl=%ls[line: %d, function: %ls, file: %ls]", strUrl.c_str(),
                            __LINE__, kFunc, kFileLabel);
    if (pThis->m_nRestartCount == 0) {
        pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() 다운로드 시작(WM_DOWN_START) 메시지 전송처리 전.[line: %d, function: %ls, file: %ls]",
                                __LINE__, kFunc, kFileLabel);
        PostLauncherMessage(g_hStartDlg.load(), WM_DOWN_START, 0, 0);
    }
    pThis->StartMonitor();

    bool bWaitFailed = pThis->m_hEvent->WaitAny(std::chrono::hours(24 * 365)) != 0;
    while (!bWaitFailed) {
        if (!pThis->WaitWhilePaused()) {
            bWaitFailed = true;
            break;
        }
        g_bDownEnded = false;
        pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() m_nRestartCount=%d [line: %d, function: %ls, file: %ls]",
                                static_cast<int>(pThis->m_nRestartCount.load()), __LINE__, kFunc, kFileLabel);
        // Counters of an attempt that reports nothing must not count again.
        g_nDownNow = 0;
        g_nDownTotal = 0;
        const bool bResult = pThis->m_pCurl->CurlDownload(strUrl, g_strDownFilePath,
                                                          static_cast<int>(g_nResumeOffset.load()));
        pLog->GD_DebugPrintTagW(L"bResult %d curlres %d [line: %d, function: %ls, file: %ls", bResult ? 1 : 0,
                                pThis->m_pCurl->m_nCurlResult, __LINE__, kFunc, kFileLabel);
        // The file is the truth: it holds every byte that arrived, whatever the counters say,
        // and a server that ignored the Range line has had its earlier copy cut away.
        g_nResumeOffset = FileSize(g_strDownFilePath);
        if (g_nDownTotal > g_nTotalSize) {
            g_nTotalSize = g_nDownTotal.load();
        }
        // Nothing reaches the window while the user is being asked.
        if (!pThis->WaitWhilePaused()) {
            bWaitFailed = true;
            break;
        }

        if (pThis->m_pCurl->m_nCurlResult == 0) {
            g_bDownEnded = true;
            PostLauncherMessage(g_hStartDlg.load(), WM_DOWN_PROGRESS, g_nTotalSize.load(), g_nResumeOffset.load());
            PostLauncherMessage(g_hStartDlg.load(), WM_VERSIONCHECK_EXIT, kExitRunInstaller, 0);
            break;
        }
        if (pThis->m_pCurl->m_nHttpCode == 404) {
            pLog->GD_DebugPrintTagW(L"U_HttpDown::GetResponseCode 404 [line: %d, function: %ls, file: %ls", __LINE__,
                                    kFunc, kFileLabel);
            g_bDownEnded = true;
            PostLauncherMessage(g_hStartDlg.load(), WM_VERSIONCHECK_EXIT, kExitRunInstaller, 0);
            break;
        }
        pLog->GD_DebugPrintTagW(L"U_HttpDown::ReStartDown() start. m_nRestartCount=%d[line: %d, function: %ls, file: %ls]",
                                static_cast<int>(pThis->m_nRestartCount.load()), __LINE__, kFunc, kFileLabel);
        ++pThis->m_nRestartCount;
        pThis->SendRetry();
        // Only now may the monitor answer the failure, so the retry text always comes first.
        g_bDownEnded = true;
        bWaitFailed = pThis->m_hEvent->WaitAny(std::chrono::hours(24 * 365)) != 0;
    }
    if (bWaitFailed) {
        pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() wait object get default event [line: %d, function: %ls, file: %ls",
                                __LINE__, kFunc, kFileLabel);
        g_bDownEnded = true;
        if (!g_bStopDown) {
            PostLauncherMessage(g_hStartDlg.load(), WM_VERSIONCHECK_EXIT, kExitRunInstaller, 0);
        }
    }
    pThis->StopMonitor();
    pLog->GD_DebugPrintTagW(L"U_HttpDown::Process() end [line: %d, function: %ls, file: %ls", __LINE__, kFunc,
                            kFileLabel);
    return 0;
}

unsigned int U_HttpDown::MonitorStatusThread(U_HttpDown* pThis)
{
    CDbgLog* pLog = pThis->m_pLog;
    uint32_t nPrev = g_nDownNow;
    unsigned int nReleased = 1;
    for (;;) {
        if (pThis->m_bMonitorStop || g_bStopDown) {
            return 0;
        }
        if (pThis->m_bPaused) {
            if (!pThis->MonitorSleep(kMonitorPeriodMs)) {
                return 0;
            }
            continue;
        }
        const uint32_t nNow = g_nDownNow;
        const uint32_t nTotal = g_nDownTotal;
        const bool bMoved = nNow != nPrev;
        if (nTotal > g_nTotalSize) {
            g_nTotalSize = nTotal;
        }
        QObject* pWindow = g_hStartDlg.load();
        const bool bDownEnded = g_bDownEnded;
        if (IsStandingStill(nNow, bMoved, g_nTotalSize)) {
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
        const uint32_t nSample = g_nDownNow;
        if (ShouldPostProgress(nSample, g_nDownTotal, bMoved, g_hStartDlg.load() != nullptr, g_bDownEnded)) {
            pLog->GD_DebugPrintTagW(L"U_HttpDown::MonitorStatusThread [line: %d, function: %ls, file: %ls]", __LINE__,
                                    L"MonitorStatusThread", kFileLabel);
            PostLauncherMessage(g_hStartDlg.load(), WM_DOWN_PROGRESS, g_nTotalSize.load(),
                                static_cast<qintptr>(g_nResumeOffset.load()) + nSample);
        }
        nPrev = nSample;
        if (!pThis->MonitorSleep(kMonitorPeriodMs)) {
            return 0;
        }
    }
}

void U_HttpDown::StopDownload()
{
    std::lock_guard<std::mutex> startLock(m_startMutex);
    m_bStopping = true;
    StopMonitor();
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        g_bStopDown = true;
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
                QCoreApplication::removePostedEvents(pTarget, QEvent::MetaCall);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_hThread.join();
    }
    StopMonitor();
    m_nThreadId = 0;
}
