#include "core/OrvantaStartApp.h"

#include "text/BracketToken.h"
#include "BuildConfig.h"
#include "diag/CrashDump.h"
#include "diag/DbgLog.h"
#include "platform/InstanceLock.h"
#include "platform/ModulePath.h"
#include "platform/StateFolder.h"

#include <chrono>
#include <thread>

COrvantaStartApp::COrvantaStartApp(CDbgLog* pLog)
    : m_strVercheckerServerIpPort(ORVANTA_DEFAULT_VERSION_SERVER),
      m_pLog(pLog != nullptr ? pLog : &g_DbgLog)
{
}

COrvantaStartApp::~COrvantaStartApp() = default;

bool COrvantaStartApp::InitInstance(const std::wstring& strCmdLine)
{
    m_pLog->SetLauncherForm(true);
    // Beside the program where its folder is writable, else in the user's state folder.
    m_pLog->SetLogDir(StateFolder() + L"Log");
    m_pLog->SetLogFileName(L"OrvantaStart.txt");
    m_pLog->InitLog();

    m_strCmdLine = strCmdLine;
    SetInitialInfo(m_strCmdLine);

    // Only now: a crash while reading the command line is not worth a dump.
    InstallCrashDumpFilter();

    if (m_runUpdater) {
        m_runUpdater(*this);
    } else {
        m_pLog->GD_DebugPrintTagW(L"COrvantaStartApp::InitInstance no updater window, ending");
    }
    return false;
}

void COrvantaStartApp::SetInitialInfo(const std::wstring& strCmdLine)
{
    // Exact text only; the client reads its own switch more loosely.
    if (strCmdLine.find(L"[LogEnable=Y]") != std::wstring::npos) {
        m_pLog->ForceEnable();
    }
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartApp::SetInitialInfo strCmdLine=%ls", strCmdLine.c_str());

    if (auto server = FindBracketToken(strCmdLine, L"[VerSrvIpPort=")) {
        m_strVercheckerServerIpPort = *server;
        m_pLog->GD_DebugPrintTagW(L"버전체크서버Ip/Port가 %ls로 변경됨.", m_strVercheckerServerIpPort.c_str());
    }
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartApp::SetInitialInfo m_strVercheckerServerIpPort=%ls",
                              m_strVercheckerServerIpPort.c_str());

    if (auto test = FindBracketToken(strCmdLine, L"[IsVerTest=")) {
        m_nIsVerTest = WideToInt(*test);
        m_pLog->GD_DebugPrintTagW(L"버전체크서버 테스트용 여부. m_nIsVerTest=%d (0 상용 버전체크, 1 테스트용 버전체크)",
                                  m_nIsVerTest);
    }
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartApp::SetInitialInfo m_strVercheckerServerIpPort=%ls",
                              m_strVercheckerServerIpPort.c_str());

    // Started at log-on: give the network time to come up before the version check.
    if (strCmdLine.find(L"[AutoRun=Y]") != std::wstring::npos) {
        m_pLog->GD_DebugPrintTagW(L"컴퓨터 부팅시 자동실행 옵션 사용중이므로 인터넷 연결를 감안하여 잠시 대기 ...");
        if (m_sleep) {
            m_sleep(kAutoRunWaitMs);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kAutoRunWaitMs));
        }
        m_pLog->GD_DebugPrintTagW(L"대기 마치고 계속 진행 ...");
    }
}

int COrvantaStartApp::CheckDuplicateProcess(const std::wstring& strName)
{
    FileInstanceLock lock;
    const LockResult result = lock.Acquire(strName);
    // Only probing: the client, not the launcher, owns the name.
    lock.Release();
    if (result == LockResult::AlreadyExists) {
        m_pLog->GD_DebugPrintTagW(L"OrvantaStart is Running...");
        return 0;
    }
    return 1;
}

std::wstring COrvantaStartApp::GetModulePath() const
{
    return GetModuleFolder();
}
