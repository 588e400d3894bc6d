#include "E2eSupport.h"
#include "platform/InstanceLock.h"
#include "LogReader.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <functional>

namespace {

const QString kToken = QStringLiteral("[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8]");

bool LockIsFree(const ProgramFolder& folder)
{
    qputenv("TMPDIR", folder.TempFolder().toUtf8());
    FileInstanceLock lock;
    const bool free = lock.Acquire(L"Global\\74744AA9-DECA-4877-AC53-1703C170986A") ==
                      LockResult::Acquired;
    qunsetenv("TMPDIR");
    return free;
}

bool HasLineEndingWith(const std::vector<std::wstring>& lines, const std::wstring& message,
                       const std::wstring& function)
{
    for (const auto& line : lines) {
        const size_t tab = line.find(L'\t');
        const size_t at = line.rfind(L"[@");
        if (tab == std::wstring::npos || at == std::wstring::npos) {
            continue;
        }
        if (line.substr(tab + 1, at - tab - 1) == message &&
            line.find(L"/" + function + L"/Orvanta]", at) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

// Runs the client until `until` holds (or `timeoutMs` pass), then ends it.
void RunClientFor(const ProgramFolder& folder, const QStringList& args, const std::function<bool()>& until,
                  int timeoutMs = 30000)
{
    QProcess client;
    folder.Start(client, QStringLiteral("Orvanta_Vexa"), args);
    WaitUntil(until, timeoutMs, 200);
    client.kill();
    client.waitForFinished(5000);
}

TEST(ClientStartup, WithTokenAndLogSwitchWritesDatedLogBesideTheProgram)
{
    ProgramFolder folder;
    // No service answers here: the client keeps trying to load its page until it is ended.
    RunClientFor(folder, {kToken, QStringLiteral("[LogEnable=Y]"), QStringLiteral("[URL=http://127.0.0.1]"),
                          QStringLiteral("[PORT=9]")},
                 [&] { return ProgramLogHas(folder.Path(), "Orvanta", "start..."); });

    const QString log = folder.Path() + QStringLiteral("Log/Orvanta_") + Today() + QStringLiteral(".txt");
    const auto lines = ReadLogLines(log.toStdString());
    ASSERT_FALSE(lines.empty()) << log.toStdString();
    EXPECT_TRUE(HasLineEndingWith(
        lines, L"======================================Log start======================================",
        L"COrvantaApp::SetLogEnable"));
    EXPECT_TRUE(HasLineEndingWith(
        lines, L"strCmdLine=[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8] [LogEnable=Y] [URL=http://127.0.0.1] [PORT=9]",
        L"COrvantaApp::InitInstance"));
    EXPECT_TRUE(LockIsFree(folder));  // the kernel let go of it with the process
}

TEST(ClientStartup, WithoutLogSwitchWritesNoLog)
{
    ProgramFolder folder;
    // A fixed 4 s on purpose: what is tested is that no log appears while the client runs.
    RunClientFor(folder, {kToken, QStringLiteral("[URL=http://127.0.0.1]"), QStringLiteral("[PORT=9]")},
                 [] { return false; }, 4000);
    EXPECT_FALSE(QFile::exists(folder.Path() + QStringLiteral("Log/Orvanta_") + Today() +
                               QStringLiteral(".txt")));
}

TEST(ClientStartup, WithoutTokenShowsTheMessageAndLeavesNoLock)
{
    if (!HaveDisplay()) {
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    }
    ProgramFolder folder;
    QProcess client;
    folder.Start(client, QStringLiteral("Orvanta_Vexa"), {QStringLiteral("[LogEnable=Y]")});

    const QString window = WaitForWindowByTitle(QStringLiteral("라벤토"), 30000);
    ASSERT_FALSE(window.isEmpty()) << "no message box titled 라벤토";
    EXPECT_EQ(client.state(), QProcess::Running);  // it waits for the user
    ASSERT_TRUE(SendKey(window, QStringLiteral("Return")));
    ASSERT_TRUE(client.waitForFinished(20000));
    EXPECT_EQ(client.exitCode(), 0);
    EXPECT_TRUE(LockIsFree(folder));
}

}  // namespace
