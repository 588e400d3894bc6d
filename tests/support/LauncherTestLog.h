#pragma once
#include "diag/DbgLog.h"
#include "FakeClock.h"
#include "LogReader.h"
#include "MemorySettingsStore.h"
#include "TempDir.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unistd.h>
#include <string>
#include <vector>

// A launcher-form log of its own, writing to a temporary folder, so tests read back exactly
// the lines the code under test wrote.
class LauncherTestLog
{
public:
    explicit LauncherTestLog(bool bForceOn = true) : log(&store, &clock)
    {
        log.SetDebugOutput([](const std::wstring&) {});
        log.SetLauncherForm(true);
        log.SetLogDir(dir.Path());
        log.SetLogFileName(L"OrvantaStart.txt");
        log.InitLog();  // the stored switch is 0: off until forced
        if (bForceOn) {
            log.ForceEnable();
        }
    }

    // The messages, without time stamp, program, ids and the "[...]" prefix of the print call.
    std::vector<std::wstring> Messages() const
    {
        std::vector<std::wstring> out;
        if (!QFileInfoExists()) {
            return out;
        }
        for (const std::wstring& line : ReadLogLines(log.LogPath())) {
            const size_t tab = line.find(L'\t');
            std::wstring message = tab == std::wstring::npos ? line : line.substr(tab + 1);
            if (!message.empty() && message[0] == L'[') {
                const size_t close = message.find(L']');
                message = message.substr(close + 1);
            }
            out.push_back(message);
        }
        return out;
    }

    // The whole lines as written.
    std::vector<std::wstring> Lines() const
    {
        return QFileInfoExists() ? ReadLogLines(log.LogPath()) : std::vector<std::wstring>{};
    }

    size_t Count(const std::wstring& message) const
    {
        const auto messages = Messages();
        return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
    }

    size_t CountStartingWith(const std::wstring& start) const
    {
        size_t n = 0;
        for (const auto& m : Messages()) {
            n += m.rfind(start, 0) == 0 ? 1 : 0;
        }
        return n;
    }

    MemorySettingsStore store;
    FakeClock clock{2024, 5, 17, 9, 15, 2};
    TempDir dir;
    CDbgLog log;

private:
    bool QFileInfoExists() const { return ::access(WideToUtf8(log.LogPath()).c_str(), F_OK) == 0; }
};

// Posted events need an application object; one serves every test of the process.
inline void EnsureCoreApplication()
{
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char arg0[] = "launcher_tests";
        static char* argv[] = {arg0, nullptr};
        new QCoreApplication(argc, argv);
    }
}

// TMPDIR, where the launcher chooses its temporary folder, for the object's lifetime: set to a
// folder at construction (or changed and removed afterwards), the earlier value put back when
// the object goes.
class ScopedTmpDir
{
public:
    explicit ScopedTmpDir(const std::string& strFolder)
    {
        if (const char* pszOld = std::getenv("TMPDIR")) {
            m_old = pszOld;
        }
        Set(strFolder);
    }
    ~ScopedTmpDir()
    {
        if (m_old) {
            ::setenv("TMPDIR", m_old->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    ScopedTmpDir(const ScopedTmpDir&) = delete;
    ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

    void Set(const std::string& strFolder) { ::setenv("TMPDIR", strFolder.c_str(), 1); }
    void Unset() { ::unsetenv("TMPDIR"); }

private:
    std::optional<std::string> m_old;
};

// One environment variable set (or, with nullopt, removed) for the object's lifetime.
class ScopedEnv
{
public:
    ScopedEnv(std::string strName, const std::optional<std::string>& value) : m_strName(std::move(strName))
    {
        if (const char* pszOld = std::getenv(m_strName.c_str())) {
            m_old = pszOld;
        }
        if (value) {
            ::setenv(m_strName.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(m_strName.c_str());
        }
    }
    ~ScopedEnv()
    {
        if (m_old) {
            ::setenv(m_strName.c_str(), m_old->c_str(), 1);
        } else {
            ::unsetenv(m_strName.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_old;
};
