#pragma once
#include "logic/ClientConfig.h"
#include "platform/ProgramNames.h"

#include <memory>
#include <string>

class COrvantaMainDlg;
class CStartupEntries;
class IInstanceLock;
class IProcessMessenger;
class IMessagePrompt;
class ISettingsStore;

// The text shown when the client is started without the launch token.
std::wstring NotLaunchedMessage();

// The tray client's application object.
class COrvantaApp
{
public:
    // Null services mean the process defaults (settings file, lock file, Qt message box).
    COrvantaApp(ISettingsStore* pSettings = nullptr, IInstanceLock* pLock = nullptr,
                IMessagePrompt* pPrompt = nullptr);
    ~COrvantaApp();
    COrvantaApp(const COrvantaApp&) = delete;
    COrvantaApp& operator=(const COrvantaApp&) = delete;

    // strCmdLine: the arguments without the program name, joined by one blank.
    bool InitInstance(const std::wstring& strCmdLine);

    // A plain, case-sensitive search for the launch token anywhere in the command line.
    static bool HasLaunchToken(const std::wstring& strCmdLine);

    void SetLogEnable(const std::wstring& strCmdLine);
    void SetServerAddress(const std::wstring& strCmdLine);
    int CreateMutexIfNotExists(const std::wstring& strName);
    std::wstring GetModulePath() const;
    std::wstring GetInstalledVersion();
    // The service address, port and installed version as the windows get them.
    ClientConfig Config();

    std::wstring m_strServerUrl;
    int m_nServerPort = -1;
    std::wstring m_strVersion;

private:
    ISettingsStore* m_pSettings;
    IInstanceLock* m_pLock;
    IMessagePrompt* m_pPrompt;
    std::unique_ptr<IInstanceLock> m_ownedLock;
    std::unique_ptr<IMessagePrompt> m_ownedPrompt;
    std::unique_ptr<CStartupEntries> m_pStartup;
    std::unique_ptr<IProcessMessenger> m_pMessenger;
    COrvantaMainDlg* m_pMainDlg = nullptr;  // owned by the main frame
};
