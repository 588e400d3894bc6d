#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class IClock;
class ISettingsStore;

// The switchable debug log of both programs. Off by default; switched per program by the
// settings value named after its log file (LogOption section), re-read at most every
// m_nReloadSec seconds while print calls come, or for one run by ForceEnable.
class CDbgLog
{
public:
    CDbgLog();
    // Tests hand in their own store and clock; nullptr means the process defaults.
    CDbgLog(ISettingsStore* pSettings, IClock* pClock);
    virtual ~CDbgLog();
    CDbgLog(const CDbgLog&) = delete;
    CDbgLog& operator=(const CDbgLog&) = delete;

    void GD_DebugPrintW(int nLine, const wchar_t* pszFunc, const wchar_t* pszFile,
                        const wchar_t* pszFormat, ...);
    void GD_DebugPrintA(int nLine, const wchar_t* pszFunc, const wchar_t* pszFile,
                        const char* pszFormat, ...) __attribute__((format(printf, 5, 6)));
    void GD_DebugPrintNoLocA(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
    void GD_DebugPrintTagW(int nLine, const wchar_t* pszFunc, const wchar_t* pszFile,
                           const wchar_t* pszFormat, ...);
    // The launcher's form: no location in the line.
    void GD_DebugPrintTagW(const wchar_t* pszFormat, ...);

    void SetLogDir(const std::wstring& strDir);
    void SetLogFileName(const std::wstring& strName);
    void InitLog();
    void SetRegPath();
    void ForceEnable();

    // The launcher writes every line in the short form, dates its file name once, and
    // survives a failing settings store in SetRegPath.
    void SetLauncherForm(bool bLauncher) { m_bLauncherForm = bLauncher; }

    // Where debugger-mode output and diagnostic notes go (standard error by default).
    void SetDebugOutput(std::function<void(const std::wstring&)> sink);

    // Cheap test for call-site macros: print calls do nothing at all in mode 0.
    bool IsConfigured() const { return m_nMode == 1 || m_nMode == 2; }

    const std::wstring& LogPath() const { return m_strLogPath; }
    const std::wstring& FileName() const { return m_strFileName; }
    int Mode() const { return m_nMode; }
    bool Enabled() const { return m_bEnable != 0; }

    // The program-wide last re-read tick (0 = not yet taken); tests reset it.
    static void ResetReloadTick();

    static constexpr size_t kMessageChars = 40960;

private:
    struct Site
    {
        bool bHasLocation;
        int nLine;
        const wchar_t* pszFunc;
        const wchar_t* pszFile;
    };

    bool BeginPrint();
    void Emit(const Site& site, const std::wstring& strText);
    void WriteFileLine(const Site& site, const std::wstring& strMessage);
    void UpdateDatedFileName();
    void DebugOut(const std::wstring& strText) const;
    std::wstring TagPrefix() const;
    void PrintWide(const Site& site, const std::wstring& strPrefix, const wchar_t* pszFormat,
                   va_list args);
    void PrintNarrow(const Site& site, const char* pszFormat, va_list args);

    std::wstring m_szModuleName;
    std::string m_szModuleNameA;
    uint32_t m_nReloadSec = 30;
    std::wstring m_strLogName = L"Dbg2.txt";
    std::wstring m_strFileName = L"Dbg2.txt";
    std::wstring m_strLogDir;
    std::wstring m_strLogPath;
    // Re-read by whichever thread prints after the interval, read by every other: atomic.
    std::atomic<int> m_bEnable{0};
    std::atomic<int> m_nMode{0};
    std::atomic<int> m_bLocked{0};
    std::mutex m_csLog;

    bool m_bLauncherForm = false;
    ISettingsStore* m_pSettings;
    IClock* m_pClock;
    std::function<void(const std::wstring&)> m_debugSink;
};

// Each program's one log object.
extern CDbgLog g_DbgLog;

// "Class::Method" from the compiler's pretty function name, and a source file's base name
// without folder and extension.
std::wstring DbgFunctionLabel(const char* pszPrettyFunction);
std::wstring DbgFileLabel(const char* pszSourceFile);

// Call-site macros of the client: they add the line, "Class::Method" and the file label.
#define DBG_LOG_W(fmt, ...)                                                                    \
    do {                                                                                       \
        if (g_DbgLog.IsConfigured())                                                           \
            g_DbgLog.GD_DebugPrintW(__LINE__, DbgFunctionLabel(__PRETTY_FUNCTION__).c_str(),   \
                                    DbgFileLabel(__FILE__).c_str(), fmt __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)

// For code that logs on behalf of a function it was split out of, so the log keeps naming the
// function and file support staff know ("COrvantaMainDlg::MainPosInitThread", "OrvantaMainDlg").
#define DBG_LOG_AS_W(label, file, fmt, ...)                                                    \
    do {                                                                                       \
        if (g_DbgLog.IsConfigured())                                                           \
            g_DbgLog.GD_DebugPrintW(__LINE__, label, file, fmt __VA_OPT__(, ) __VA_ARGS__);    \
    } while (0)

#define DBG_LOG_A(fmt, ...)                                                                    \
    do {                                                                                       \
        if (g_DbgLog.IsConfigured())                                                           \
            g_DbgLog.GD_DebugPrintA(__LINE__, DbgFunctionLabel(__PRETTY_FUNCTION__).c_str(),   \
                                    DbgFileLabel(__FILE__).c_str(), fmt __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)
