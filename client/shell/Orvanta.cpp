#include "shell/Orvanta.h"

#include "text/BracketToken.h"
#include "BuildConfig.h"
#include "popups/CidDlgFactory.h"
#include "popups/CidManagerDlg.h"
#include "diag/CrashDump.h"
#include "diag/DbgLog.h"
#include "logic/MainPageRules.h"
#include "platform/InstanceLock.h"
#include "shell/MainFrm.h"
#include "shell/MessagePrompt.h"
#include "mainpage/OrvantaMainDlg.h"
#include "platform/ProcessMessenger.h"
#include "mainpage/StartupEntries.h"
#include "platform/ModulePath.h"
#include "platform/SettingsStore.h"
#include "platform/StateFolder.h"
#include "text/TextConv.h"

#include <cwchar>

namespace {
// The popup manager as the frame owns it, with the factory of its real popups.
class CFramePopupManager : public IFramePopupManager
{
public:
    CFramePopupManager(QWidget* pMainFrame, const ClientConfig& config)
        : m_factory(pMainFrame, config), m_manager(m_factory, config)
    {
    }
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
}

COrvantaApp::~COrvantaApp() = default;

ClientConfig COrvantaApp::Config()
{
    ClientConfig config;
    // A port from the command line replaces the one the (default) address may carry.
    config.strServerUrl = m_nServerPort >= 1 ? AddressWithoutPort(m_strServerUrl) : m_strServerUrl;
    config.nServerPort = m_nServerPort;
    config.installedVersion = [this] { return GetInstalledVersion(); };
    return config;
}

bool COrvantaApp::InitInstance(const std::wstring& strCmdLine)
{
    // The dump prefix and handler come before anything else can fail.
    // Beside the program where its folder is writable, else in the user's state folder.
    const std::wstring strStateFolder = StateFolder();
    g_strDumpPrefix = WideToAnsi(strStateFolder + L"Orvamta");
    InstallCrashDumpFilter();

    g_DbgLog.SetLogDir(strStateFolder + L"Log");
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

    // The one place that builds the client's windows and hands each what it needs.
    const ClientConfig config = Config();
    CMainFrm::Parts parts;
    parts.createMainPage = [this, config](CMainFrm* pFrame) {
        auto pMainDlg = std::make_unique<COrvantaMainDlg>(pFrame, config, *m_pStartup, *m_pPrompt,
                                                          &CMainFrm::OpenAlertFrame);
        pMainDlg->OnInitDialog();
        m_pMainDlg = pMainDlg.get();
        return std::unique_ptr<IMainPageWindow>(std::move(pMainDlg));
    };
    // The frame makes its main page window first, so the manager can be handed to it here.
    parts.createPopupManager = [this, config](CMainFrm* pFrame) {
        auto pPart = std::make_unique<CFramePopupManager>(pFrame, config);
        CCidManagerDlg& manager = pPart->Manager();
        manager.SetMainFrame(pFrame);
        manager.SetScreenSource([pFrame] { return CidScreenInfoOf(pFrame->screen()); });
        manager.Create();
        if (m_pMainDlg != nullptr) {
            m_pMainDlg->SetCidManager(&manager);
        }
        return std::unique_ptr<IFramePopupManager>(std::move(pPart));
    };
    parts.takeInstanceLock = [this] { return CreateMutexIfNotExists(kInstanceMutexName) != 0; };
    parts.pMessenger = m_pMessenger.get();
    parts.pPrompt = m_pPrompt;
    // The frame deletes itself when it is destroyed; the process ends with it.
    auto* pFrame = new CMainFrm(CMainFrm::Role::Main, std::move(parts), 0);
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
