#include "Orvanta.h"

#include "BracketToken.h"
#include "BuildConfig.h"
#include "CidDlg.h"
#include "CidManagerDlg.h"
#include "CrashDump.h"
#include "DbgLog.h"
#include "InstanceLock.h"
#include "MainFrm.h"
#include "MessagePrompt.h"
#include "OrvantaMainDlg.h"
#include "ProcessMessenger.h"
#include "StartupEntries.h"
#include "ModulePath.h"
#include "SettingsStore.h"
#include "TextConv.h"

#include <cwchar>

namespace {
COrvantaApp* s_pApp = nullptr;

// The popup manager as the frame owns it, with the factory of its real popups.
class CFramePopupManager : public IFramePopupManager
{
public:
    CFramePopupManager() : m_manager(m_factory) {}
    void RemoveAllCidWindow() override { m_manager.RemoveAllCidWindow(); }
    CCidManagerDlg& Manager() { return m_manager; }

private:
    CCidDlgFactory m_factory;
    CCidManagerDlg m_manager;
};
}  // namespace

std::wstring NotLaunchedMessage()
{
    wchar_t text[512];
    std::swprintf(text, 512, L"정상적인 실행이 아닙니다.\r\n\r\n'%ls' 실행 아이콘이나 %ls를 실행 해 주십시오.",
                  kProductName, kLauncherFileName);
    return text;
}

COrvantaApp::COrvantaApp(ISettingsStore* pSettings, IInstanceLock* pLock, IMessagePrompt* pPrompt)
    : m_strServerUrl(ORVANTA_DEFAULT_SERVER_URL),
      m_pSettings(pSettings != nullptr ? pSettings : &DefaultSettingsStore()),
      m_pLock(pLock),
      m_pPrompt(pPrompt)
{
    if (m_pLock == nullptr) {
        m_ownedLock = std::make_unique<FileInstanceLock>();
        m_pLock = m_ownedLock.get();
    }
    if (m_pPrompt == nullptr) {
        m_ownedPrompt = std::make_unique<QtMessagePrompt>();
        m_pPrompt = m_ownedPrompt.get();
    }
    s_pApp = this;
}

COrvantaApp::~COrvantaApp()
{
    if (s_pApp == this) {
        s_pApp = nullptr;
    }
}

COrvantaApp* COrvantaApp::Instance()
{
    return s_pApp;
}

bool COrvantaApp::InitInstance(const std::wstring& strCmdLine)
{
    // The dump prefix and handler come before anything else can fail.
    g_strDumpPrefix = WideToAnsi(GetModulePath() + L"Orvamta");
    InstallCrashDumpFilter();

    g_DbgLog.SetLogDir(GetModulePath() + L"Log");
    g_DbgLog.SetLogFileName(L"Orvanta.txt");
    g_DbgLog.InitLog();

    SetLogEnable(strCmdLine);
    DBG_LOG_W(L"strCmdLine=%ls", strCmdLine.c_str());

    if (!HasLaunchToken(strCmdLine)) {
        m_pPrompt->ShowTopmostInformation(kProductName, NotLaunchedMessage());
        return false;
    }

    SetServerAddress(strCmdLine);

    m_pStartup = std::make_unique<CStartupEntries>(*m_pSettings, CStartupEntries::DefaultAutostartFile(),
                                                   GetModulePath() + kLauncherFileName);
    m_pMessenger = std::make_unique<LocalSocketMessenger>(LocalSocketMessenger::DefaultServerName());

    CMainFrm::Parts parts;
    parts.createMainPage = [this](CMainFrm* pFrame) {
        auto pMainDlg = std::make_unique<COrvantaMainDlg>(pFrame, *m_pStartup, *m_pPrompt);
        pMainDlg->OnInitDialog();
        return std::unique_ptr<IMainPageWindow>(std::move(pMainDlg));
    };
    // The frame makes its main page window first, so the manager can be handed to it here.
    parts.createPopupManager = [](CMainFrm* pFrame) {
        auto pPart = std::make_unique<CFramePopupManager>();
        CCidManagerDlg& manager = pPart->Manager();
        manager.m_pMainFrm = pFrame;
        manager.Create();
        if (auto* pMainDlg = dynamic_cast<COrvantaMainDlg*>(pFrame->MainDlg())) {
            pMainDlg->SetCidManager(&manager);
        }
        return std::unique_ptr<IFramePopupManager>(std::move(pPart));
    };
    parts.pMessenger = m_pMessenger.get();
    parts.pPrompt = m_pPrompt;
    // The frame deletes itself when it is destroyed; the process ends with it.
    auto* pFrame = new CMainFrm(std::move(parts), 0);
    CMainFrm::SetAppMainFrame(pFrame);
    if (!pFrame->OnCreate()) {
        return false;
    }
    pFrame->show();  // suppressed until the main page has loaded and placed it
    return true;
}

bool COrvantaApp::HasLaunchToken(const std::wstring& strCmdLine)
{
    return strCmdLine.find(kLaunchToken) != std::wstring::npos;
}

void COrvantaApp::SetLogEnable(const std::wstring& strCmdLine)
{
    // Only presence counts: any non-empty value switches the file log on for this run.
    if (FindBracketToken(strCmdLine, L"[LogEnable=")) {
        g_DbgLog.ForceEnable();
        DBG_LOG_W(L"======================================Log start======================================");
    }
}

void COrvantaApp::SetServerAddress(const std::wstring& strCmdLine)
{
    if (auto url = FindBracketToken(strCmdLine, L"[URL=")) {
        m_strServerUrl = *url;
    }
    if (auto port = FindBracketToken(strCmdLine, L"[PORT=")) {
        m_nServerPort = WideToInt(*port);
    }
}

int COrvantaApp::CreateMutexIfNotExists(const std::wstring& strName)
{
    switch (m_pLock->Acquire(strName)) {
    case LockResult::Acquired:
        return 1;
    case LockResult::AlreadyExists:
        DBG_LOG_W(L"OrvantaStart is Running...");
        return 0;
    case LockResult::OtherError:
        break;
    }
    return 0;
}

std::wstring COrvantaApp::GetModulePath() const
{
    return GetModuleFolder();
}

std::wstring COrvantaApp::GetInstalledVersion()
{
    if (!m_strVersion.empty()) {
        return m_strVersion;
    }
    auto value = m_pSettings->ReadString(L"Install", L"Version");
    if (value && value->size() == 9) {
        m_strVersion = *value;
    }
    return m_strVersion;
}
