#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class CCurlTConnect;
class CDbgLog;
class ISettingsStore;
class QObject;

// The updater window; every worker hand-over goes to it. Set by the window before the check.
extern std::atomic<QObject*> g_hStartDlg;
// The installed version, sent as "cliVer".
extern std::wstring g_strCliVer;
// First the chosen temporary folder, then the installer's full path.
extern std::wstring g_strDownFilePath;
// The download address from the last answer ("updateReq_url").
extern std::wstring g_strUpdateUrl;

// The launcher's engine: asks the version-check server whether the installed client must be
// updated, on a worker that never touches widgets; it reports to the window by posted events.
class U_HttpDown
{
public:
    using SleepFunction = std::function<void(unsigned int nMilliseconds)>;
    // Starts the download worker; false when it could not be started.
    using DownloadStarter = std::function<bool()>;

    // Null services mean the process defaults. The server and the test flag are taken from the
    // running launcher application, when there is one.
    explicit U_HttpDown(ISettingsStore* pSettings = nullptr, CDbgLog* pLog = nullptr);
    virtual ~U_HttpDown();
    U_HttpDown(const U_HttpDown&) = delete;
    U_HttpDown& operator=(const U_HttpDown&) = delete;

    // Reads the installed version, chooses the temporary folder and starts GetVersionThread.
    // A version that cannot be read asks the window to close at once; the check still runs.
    void VersionCheckStart();
    // 0 read, -1 no Install key, -2 no readable "Version", -3 not exactly 9 characters.
    int GetClientVersion(std::wstring& strVersion) const;
    // The system's temporary folder with its trailing "/", or "Temp Files" in the program
    // folder when there is none.
    std::wstring ChooseTempFolder() const;

    static unsigned int GetVersionThread(U_HttpDown* pThis);
    // True when an update is required; sets m_nUpdateFlag.
    bool GetFileVersion(const std::wstring& strUrl, const std::wstring& strBody);
    // 0 update required, -10110 no update, -10101 unreadable; sets m_strSrvVer, g_strUpdateUrl.
    int GetResponse(const std::string& strAnswer);

    // Creates the folder of an installer path when it is missing.
    static void PrepareDownloadFolder(const std::wstring& strPath);
    static bool CreateDirectoryPath(const std::wstring& strFolder);

    std::wstring GetDownFilePath() const { return g_strDownFilePath; }

    // Blocks until a started check has ended.
    void WaitVersionCheck();

    void SetSleep(SleepFunction sleep) { m_sleep = std::move(sleep); }
    void SetDownloadStarter(DownloadStarter starter) { m_startDownload = std::move(starter); }
    void SetServer(const std::wstring& strServerIpPort, int nIsVerTest)
    {
        m_strVercheckerServerIpPort = strServerIpPort;
        m_nIsVerTest = nIsVerTest;
    }

    std::unique_ptr<CCurlTConnect> m_pCurl;
    std::wstring m_strSrvVer;
    std::atomic<int> m_nUpdateFlag;

    std::wstring m_strVercheckerServerIpPort;
    int m_nIsVerTest = 0;

    static constexpr unsigned int kEmptyAnswerWaitMs = 5000;

private:
    void Sleep(unsigned int nMilliseconds) const;

    ISettingsStore* m_pSettings;
    CDbgLog* m_pLog;
    SleepFunction m_sleep;
    DownloadStarter m_startDownload;
    std::thread m_versionThread;
};
