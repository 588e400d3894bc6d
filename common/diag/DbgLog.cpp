#include "diag/DbgLog.h"

#include "platform/Clock.h"
#include "platform/ModulePath.h"
#include "platform/SettingsStore.h"
#include "text/TextConv.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

CDbgLog g_DbgLog;

namespace {
const wchar_t* const kLogOptionKey = L"LogOption";
const size_t kMaxMessage = CDbgLog::kMessageChars - 1;

// Shared by every log object, like the tick it stands for.
std::atomic<uint32_t> s_lastReloadTick{0};

// One bounded buffer: glibc's vswprintf reports -1 when the output does not fit, after writing
// what fits, and that is the cut the log makes anyway. An unconvertible argument keeps what was
// written before it.
std::wstring FormatWide(const wchar_t* pszFormat, va_list args)
{
    std::vector<wchar_t> buffer(CDbgLog::kMessageChars, L'\0');
    va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buffer.data(), buffer.size(), pszFormat, copy);
    va_end(copy);
    if (n >= 0) {
        return std::wstring(buffer.data(), static_cast<size_t>(n));
    }
    return std::wstring(buffer.data(), ::wcsnlen(buffer.data(), buffer.size() - 1));
}

void WriteAll(int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0) {
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

std::wstring TimeText(const std::tm& when, const wchar_t* pszFormat)
{
    wchar_t buf[128];
    const size_t n = std::wcsftime(buf, 128, pszFormat, &when);
    return std::wstring(buf, n);
}

int CurrentThreadId()
{
    return static_cast<int>(::syscall(SYS_gettid));
}
}  // namespace

std::wstring DbgFunctionLabel(const char* pszPrettyFunction)
{
    const std::string pretty = pszPrettyFunction != nullptr ? pszPrettyFunction : "";
    const size_t paren = pretty.find('(');
    const std::string head = pretty.substr(0, paren);
    // The name starts after the last blank outside template brackets (the return type).
    int depth = 0;
    size_t start = 0;
    for (size_t i = head.size(); i-- > 0;) {
        const char c = head[i];
        if (c == '>') {
            ++depth;
        } else if (c == '<') {
            --depth;
        } else if (c == ' ' && depth == 0) {
            start = i + 1;
            break;
        }
    }
    return AnsiToWide(head.substr(start));
}

std::wstring DbgFileLabel(const char* pszSourceFile)
{
    std::string file = pszSourceFile != nullptr ? pszSourceFile : "";
    const size_t slash = file.find_last_of("/\\");
    if (slash != std::string::npos) {
        file = file.substr(slash + 1);
    }
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        file = file.substr(0, dot);
    }
    return AnsiToWide(file);
}

CDbgLog::CDbgLog() : CDbgLog(nullptr, nullptr) {}

CDbgLog::CDbgLog(ISettingsStore* pSettings, IClock* pClock)
    : m_strLogDir(L"/tmp/"), m_pSettings(pSettings), m_pClock(pClock)
{
    if (m_pSettings == nullptr) {
        m_pSettings = &DefaultSettingsStore();
    }
    if (m_pClock == nullptr) {
        m_pClock = &SystemClock::Instance();
    }
    m_strLogPath = m_strLogDir + m_strFileName;

    if (m_pSettings->KeyExists(kLogOptionKey)) {
        const uint32_t value = m_pSettings->ReadDword(kLogOptionKey, L"Dbg2.txt").value_or(0);
        if (value == 1 || value == 2) {
            m_bEnable = 1;
            m_nMode = static_cast<int>(value);
        } else {
            m_bEnable = 0;
        }
    }
    DebugOut(L"pass");

    std::wstring name = GetExecutableName();
    const size_t exe = name.find(L".exe");
    if (exe != std::wstring::npos) {
        name = name.substr(0, exe);
    }
    m_szModuleName = name.substr(0, 259);
    m_szModuleNameA = WideToAnsi(m_szModuleName).substr(0, 259);
}

CDbgLog::~CDbgLog() = default;

void CDbgLog::ResetReloadTick()
{
    s_lastReloadTick = 0;
}

void CDbgLog::SetDebugOutput(std::function<void(const std::wstring&)> sink)
{
    m_debugSink = std::move(sink);
}

void CDbgLog::DebugOut(const std::wstring& strText) const
{
    if (m_debugSink) {
        m_debugSink(strText);
        return;
    }
    std::string bytes = WideToUtf8(strText);
    if (bytes.empty() || bytes.back() != '\n') {
        bytes.push_back('\n');
    }
    WriteAll(STDERR_FILENO, bytes);
}

void CDbgLog::SetLogDir(const std::wstring& strDir)
{
    std::lock_guard<std::mutex> lock(m_csLog);
    m_strLogDir = strDir;
    ::mkdir(WideToAnsi(strDir).c_str(), 0755);
    if (m_strLogDir.empty() || (m_strLogDir.back() != L'/' && m_strLogDir.back() != L'\\')) {
        m_strLogDir += L'/';
    }
    m_strLogPath = m_strLogDir + m_strFileName;
}

void CDbgLog::SetLogFileName(const std::wstring& strName)
{
    std::lock_guard<std::mutex> lock(m_csLog);
    m_strLogName = strName;
    UpdateDatedFileName();
}

// Caller holds m_csLog.
void CDbgLog::UpdateDatedFileName()
{
    std::wstring name = m_strLogName.substr(0, 259);
    const size_t txt = name.find(L".txt");
    if (txt != std::wstring::npos) {
        std::wstring dated = L"_" + TimeText(m_pClock->LocalNow(), L"%Y-%m-%d") + L".txt";
        name = name.substr(0, txt) + dated.substr(0, 130);
    }
    m_strFileName = name;
    m_strLogPath = m_strLogDir + m_strFileName;
}

void CDbgLog::ForceEnable()
{
    m_bLocked = 1;
    m_bEnable = 1;
    m_nMode = 1;
}

void CDbgLog::SetRegPath()
{
    DebugOut(L"SetRegPath() start");
    try {
        if (m_pSettings->CreateKey(kLogOptionKey)) {
            if (!m_pSettings->ReadString(kLogOptionKey, m_strLogName)) {
                m_pSettings->WriteDword(kLogOptionKey, m_strLogName, 0);
            }
        }
    } catch (...) {
        if (!m_bLauncherForm) {
            throw;
        }
        DebugOut(L"SetRegPath() exception");
    }
    DebugOut(L"SetRegPath() End");
}

void CDbgLog::InitLog()
{
    if (m_bLocked) {
        return;
    }
    std::wstring strDir;
    std::wstring strFile;
    {
        std::lock_guard<std::mutex> lock(m_csLog);
        strDir = m_strLogDir;
        strFile = m_strFileName;
    }
    DebugOut(L"InitLog()");
    DebugOut(L"RegValue = ");
    DebugOut(L"[Mossbit]" + strDir + strFile);

    SetRegPath();
    if (!m_pSettings->KeyExists(kLogOptionKey)) {
        return;
    }
    const uint32_t value = m_pSettings->ReadDword(kLogOptionKey, m_strLogName).value_or(0);
    if (value == 1 || value == 2) {
        m_bEnable = 1;
        m_nMode = static_cast<int>(value);
    } else {
        m_bEnable = 0;
        m_nMode = 2;
    }
    DebugOut(L"========================[Start Log]===================\n");
    if (m_bLauncherForm) {
        GD_DebugPrintTagW(L"%ls=%d, regval=%d", strFile.c_str(), m_bEnable.load(), m_nMode.load());
    } else {
        GD_DebugPrintTagW(__LINE__, L"CDbgLog::InitLog", L"DbgLog", L"%ls=%d, regval=%d",
                          strFile.c_str(), m_bEnable.load(), m_nMode.load());
    }
}

bool CDbgLog::BeginPrint()
{
    if (m_nMode != 1 && m_nMode != 2) {
        return false;
    }
    const uint32_t now = m_pClock->TickMs();
    uint32_t last = s_lastReloadTick.load();
    if (last == 0) {
        s_lastReloadTick = now;
        last = now;
    }
    if ((now - last) / 1000u >= m_nReloadSec) {
        s_lastReloadTick = now;
        InitLog();
    }
    return m_bEnable != 0;
}

std::wstring CDbgLog::TagPrefix() const
{
    std::lock_guard<std::mutex> lock(const_cast<std::mutex&>(m_csLog));
    return L"[" + m_szModuleName + L"-" + m_strFileName + L"]";
}

void CDbgLog::Emit(const Site& site, const std::wstring& strText)
{
    if (m_nMode == 1) {
        WriteFileLine(site, strText);
    } else if (m_nMode == 2) {
        DebugOut(strText);
    }
}

void CDbgLog::WriteFileLine(const Site& site, const std::wstring& strMessage)
{
    const std::wstring strTime = TimeText(m_pClock->LocalNow(), L"%Y-%m-%d %H:%M:%S");

    std::lock_guard<std::mutex> lock(m_csLog);
    if (!m_bLauncherForm) {
        UpdateDatedFileName();
    }
    wchar_t head[512];
    std::swprintf(head, 512, L"[%ls][%ls][PID:%04d][TID:%05d]\t", strTime.c_str(),
                  m_szModuleName.c_str(), static_cast<int>(::getpid()), CurrentThreadId());
    std::wstring line = head;
    line += strMessage;
    if (site.bHasLocation && !m_bLauncherForm) {
        std::wstring file = site.pszFile != nullptr ? site.pszFile : L"";
        const size_t slash = file.find_last_of(L"\\/");
        if (slash != std::wstring::npos) {
            file = file.substr(slash + 1);
        }
        line += L"[@" + std::to_wstring(site.nLine) + L"/" +
                (site.pszFunc != nullptr ? site.pszFunc : L"") + L"/" + file + L"]";
    }
    line += L"\r\n";

    const std::string path = WideToAnsi(m_strLogPath);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        DebugOut(L"[CDbgLog]  Open Fail");
        DebugOut(m_strLogPath);
        return;
    }
    // Every line carries its own mark; one write keeps a line whole beside other processes.
    WriteAll(fd, std::string("\xFF\xFE", 2) + WideToUtf16Le(line));
    ::close(fd);
}

void CDbgLog::PrintWide(const Site& site, const std::wstring& strPrefix, const wchar_t* pszFormat,
                        va_list args)
{
    try {
        if (!BeginPrint()) {
            return;
        }
        std::wstring text = strPrefix + FormatWide(pszFormat, args);
        if (text.size() > kMaxMessage) {
            text.resize(kMaxMessage);
        }
        Emit(site, text);
    } catch (...) {
        DebugOut(L"Exception of GD_DebugPrintW");
    }
}

void CDbgLog::PrintNarrow(const Site& site, const char* pszFormat, va_list args)
{
    try {
        if (!BeginPrint()) {
            return;
        }
        std::vector<char> buffer(kMessageChars);
        const std::string prefix = "[" + m_szModuleNameA + "]";
        const size_t used = std::min(prefix.size(), kMaxMessage);
        std::copy(prefix.begin(), prefix.begin() + static_cast<long>(used), buffer.begin());
        int n = std::vsnprintf(buffer.data() + used, buffer.size() - used, pszFormat, args);
        size_t length = used;
        if (n > 0) {
            length = std::min(used + static_cast<size_t>(n), kMaxMessage);
        }
        Emit(site, AnsiToWide(std::string(buffer.data(), length)));
    } catch (...) {
        DebugOut(L"Exception of GD_DebugPrintA");
    }
}

void CDbgLog::GD_DebugPrintW(int nLine, const wchar_t* pszFunc, const wchar_t* pszFile,
                             const wchar_t* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    PrintWide(Site{true, nLine, pszFunc, pszFile}, std::wstring(), pszFormat, args);
    va_end(args);
}

void CDbgLog::GD_DebugPrintTagW(int nLine, const wchar_t* pszFunc, const wchar_t* pszFile,
                                const wchar_t* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    if (IsConfigured()) {
        PrintWide(Site{true, nLine, pszFunc, pszFile}, TagPrefix(), pszFormat, args);
    }
    va_end(args);
}

void CDbgLog::GD_DebugPrintTagW(const wchar_t* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    if (IsConfigured()) {
        PrintWide(Site{false, 0, nullptr, nullptr}, TagPrefix(), pszFormat, args);
    }
    va_end(args);
}

void CDbgLog::GD_DebugPrintA(int nLine, const wchar_t* pszFunc, const wchar_t* pszFile,
                             const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    PrintNarrow(Site{true, nLine, pszFunc, pszFile}, pszFormat, args);
    va_end(args);
}

void CDbgLog::GD_DebugPrintNoLocA(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    PrintNarrow(Site{false, 0, nullptr, nullptr}, pszFormat, args);
    va_end(args);
}
