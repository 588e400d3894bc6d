#include "U_HttpDown.h"

#include "BuildConfig.h"
#include "CurlTConnect.h"
#include "DbgLog.h"
#include "LauncherEvents.h"
#include "ModulePath.h"
#include "OrvantaStartApp.h"
#include "SettingsStore.h"
#include "TextConv.h"
#include "VersionCheck.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

std::atomic<QObject*> g_hStartDlg{nullptr};
std::wstring g_strCliVer;
std::wstring g_strDownFilePath;
std::wstring g_strUpdateUrl;

namespace {
const wchar_t* const kFileLabel = L"U_HttpDown";
const wchar_t* const kDlgFileLabel = L"OrvantaStartDlg";

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
    if (const COrvantaStartApp* pApp = COrvantaStartApp::Instance()) {
        m_strVercheckerServerIpPort = pApp->m_strVercheckerServerIpPort;
        m_nIsVerTest = pApp->m_nIsVerTest;
    }
}

U_HttpDown::~U_HttpDown()
{
    // The worker uses this object to its end.
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
