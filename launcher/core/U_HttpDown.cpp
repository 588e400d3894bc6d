#include "core/U_HttpDown.h"

#include "core/InstallerFile.h"
#include "core/LauncherEvents.h"
#include "diag/DbgLog.h"
#include "net/CurlTConnect.h"
#include "platform/ModulePath.h"
#include "platform/SettingsStore.h"
#include "platform/Thread.h"
#include "text/TextConv.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const wchar_t* const kFileLabel = L"U_HttpDown";
const wchar_t* const kDlgFileLabel = L"OrvantaStartDlg";

}  // namespace

U_HttpDown::U_HttpDown(VersionCheckConfig config, ISettingsStore* pSettings, CDbgLog* pLog)
    : m_nUpdateFlag(kUpdateFlagNoAnswer),
      m_config(std::move(config)),
      m_pSettings(pSettings != nullptr ? pSettings : &DefaultSettingsStore()),
      m_pLog(pLog != nullptr ? pLog : &g_DbgLog),
      m_download(m_state, m_pLog)
{
}

U_HttpDown::~U_HttpDown()
{
    StopDownload();
    // The check's worker uses this object to its end; it can no longer start a download.
    WaitVersionCheck();
}

void U_HttpDown::SetWindow(QObject* pWindow)
{
    m_pWindow = pWindow;
    m_download.SetWindow(pWindow);
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
    // A folder of the user's own: in a shared temporary folder anybody could otherwise put a
    // program where the installer is expected.
    const char* pszRuntime = std::getenv("XDG_RUNTIME_DIR");
    const char* pszTmp = std::getenv("TMPDIR");
    const std::string strTemp = (pszTmp != nullptr && *pszTmp != '\0') ? pszTmp : "/tmp";
    std::wstring strFolder = ChoosePrivateDownloadFolder(pszRuntime != nullptr ? pszRuntime : "", strTemp);
    if (strFolder.empty()) {
        const std::string strOwn = WideToAnsi(GetModuleFolder()) + "Temp Files";
        ::mkdir(strOwn.c_str(), 0700);
        strFolder = ChoosePrivateDownloadFolder("", strOwn);
    }
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::VersionCheckStart() szTempDir=%s", WideToAnsi(strFolder).c_str());
    return strFolder;
}

void U_HttpDown::VersionCheckStart()
{
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::VersionCheckStart() start");
    std::wstring strVersion;
    const int nRet = GetClientVersion(strVersion);
    if (nRet != 0) {
        // The window's close rules start the client without waiting for the check.
        PostCloseRequest(m_pWindow.load());
    }
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::VersionCheckStart() Debug 1. nRet=%d[line: %d, function: %ls, file: %ls]",
                              nRet, __LINE__, L"COrvantaStartDlg::StartCheckVersion", kDlgFileLabel);
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::VersionCheckStart() [line: %d, function: %ls, file: %ls]",
                              __LINE__, L"COrvantaStartDlg::StartCheckVersion", kDlgFileLabel);
    m_state.strCliVer = strVersion;
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::StartCheckVersion() strCliVer=%ls[line: %d, function: %ls, file: %ls]",
                              m_state.strCliVer.c_str(), __LINE__, L"COrvantaStartDlg::StartCheckVersion",
                              kDlgFileLabel);
    m_state.strDownFilePath = ChooseTempFolder();

    WaitVersionCheck();
    m_versionThread = ::StartThread([this] { GetVersionThread(this); });
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::VersionCheckStart() end");
}

unsigned int U_HttpDown::GetVersionThread(U_HttpDown* pThis)
{
    CDbgLog* pLog = pThis->m_pLog;
    DownloadState& state = pThis->m_state;
    pLog->GD_DebugPrintNoLocA("U_HttpDown::GetVersionThread() start");
    state.strUpdateUrl.clear();

    if (state.strDownFilePath.empty() || state.strDownFilePath.back() != L'/') {
        state.strDownFilePath += L'/';
    }
    state.strDownFilePath += kInstallerFileName;
    pLog->GD_DebugPrintNoLocA("U_HttpDown::GetVersionThread() Debug 3");

    // An installer left by an earlier run must not be taken for this run's download.
    PrepareDownloadFolder(state.strDownFilePath);
    ::unlink(WideToAnsi(state.strDownFilePath).c_str());

    const std::wstring strUrl = MakeVersionCheckUrl(pThis->m_config.strServerIpPort);
    const std::wstring strBody = MakeVersionCheckBody(state.strCliVer, pThis->m_config.nIsVerTest);
    const bool bIsUpdate = pThis->GetFileVersion(strUrl, strBody);
    pLog->GD_DebugPrintNoLocA("U_HttpDown::GetVersionThread() GetFileVersion() bIsUpdate=%d", bIsUpdate ? 1 : 0);

    QObject* pWindow = pThis->m_pWindow.load();
    if (bIsUpdate) {
        pLog->GD_DebugPrintTagW(L"U_HttpDown::GetVersionThread() 패치파일 다운로드 요청 스레드 시작 요청, 패치파일 다운로드 URL=%ls[line: %d, function: %ls, file: %ls]",
                                state.strUpdateUrl.c_str(), __LINE__, L"GetVersionThread", kFileLabel);
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
    m_state.strUpdateUrl = AnsiToWide(answer->strUpdateUrl);
    m_state.llExpectedSize = answer->llUpdateSize;
    m_state.strExpectedSha256 = answer->strUpdateSha256;
    if (answer->llUpdateSize >= 0 || !answer->strUpdateSha256.empty()) {
        m_pLog->GD_DebugPrintNoLocA("U_HttpDown::GetResponse() updateSize=%lld, updateSha256=%s", answer->llUpdateSize,
                                    answer->strUpdateSha256.c_str());
    }

    const int nFlag = DecideUpdateFlag(answer);
    if (nFlag == kUpdateFlagUpdate) {
        m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetResponse() 다운로드 필요함. 관리버전 : 클라이언트 %ls, 서버 %ls[line: %d, function: %ls, file: %ls]",
                                  m_state.strCliVer.c_str(), m_strSrvVer.c_str(), __LINE__, L"U_HttpDown::GetResponse",
                                  kFileLabel);
    } else {
        m_pLog->GD_DebugPrintTagW(L"U_HttpDown::GetResponse() 다운로드 필요 없음. 관리버전 : 클라이언트 %ls, 서버 %ls[line: %d, function: %ls, file: %ls]",
                                  m_state.strCliVer.c_str(), m_strSrvVer.c_str(), __LINE__, L"U_HttpDown::GetResponse",
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
        if (::mkdir(strPart.c_str(), 0700) == 0 || errno == EEXIST) {
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

// The hand-over to the download engine.

std::wstring U_HttpDown::MakeDownloadUrl() const
{
    return m_state.strUpdateUrl + L"?progId=" + kProgId + L"&srvVer=" + m_strSrvVer +
           L"&isVerTest=" + std::to_wstring(m_config.nIsVerTest);
}

bool U_HttpDown::StartThread()
{
    m_pLog->GD_DebugPrintNoLocA("U_HttpDown::StartThread() start");
    int nError = 0;
    switch (m_download.Start(MakeDownloadUrl(), nError)) {
    case CDownloadEngine::StartResult::Started:
        break;
    case CDownloadEngine::StartResult::AlreadyRunning:
        return true;
    case CDownloadEngine::StartResult::Stopping:
        return false;
    case CDownloadEngine::StartResult::NoThread:
        if (QObject* pWindow = m_pWindow.load()) {
            m_pLog->GD_DebugPrintTagW(L"U_HttpDown::_beginthreadex fail %d.[line: %d, function: %ls, file: %ls]",
                                      nError, __LINE__, L"U_HttpDown::StartThread", kFileLabel);
            m_nUpdateFlag = kUpdateFlagStopped;
            PostCloseRequest(pWindow);
        }
        return false;
    }
    m_pLog->GD_DebugPrintNoLocA("U_HttpDown::StartThread() end");
    return true;
}
