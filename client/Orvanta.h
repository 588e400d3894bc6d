#pragma once
#include <memory>
#include <string>

class IInstanceLock;
class IMessagePrompt;
class ISettingsStore;

// The client's launch token: the launcher puts it on the command line, the client refuses to
// run without it.
inline constexpr const wchar_t* kLaunchToken = L"5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8";
// The single-instance name shared with the launcher.
inline constexpr const wchar_t* kInstanceMutexName =
    L"Global\\74744AA9-DECA-4877-AC53-1703C170986A";
inline constexpr const wchar_t* kProductName = L"라벤토";
inline constexpr const wchar_t* kLauncherFileName = L"OrvantaStart_Vexa";

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

    // The running application object, or null before one exists.
    static COrvantaApp* Instance();

    // strCmdLine: the arguments without the program name, joined by one blank.
    bool InitInstance(const std::wstring& strCmdLine);

    void SetLogEnable(const std::wstring& strCmdLine);
    void SetServerAddress(const std::wstring& strCmdLine);
    int CreateMutexIfNotExists(const std::wstring& strName);
    std::wstring GetModulePath() const;
    std::wstring GetInstalledVersion();

    std::wstring m_strServerUrl;
    int m_nServerPort = -1;
    std::wstring m_strVersion;

private:
    ISettingsStore* m_pSettings;
    IInstanceLock* m_pLock;
    IMessagePrompt* m_pPrompt;
    std::unique_ptr<IInstanceLock> m_ownedLock;
    std::unique_ptr<IMessagePrompt> m_ownedPrompt;
};
