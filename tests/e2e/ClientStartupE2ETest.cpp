#include "E2eSupport.h"
#include "platform/InstanceLock.h"
#include "LogReader.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
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

namespace {

// Start-ups that cannot succeed end in the connection message after the third try, never in a
// loop: no service at all, and a main page whose readiness report does not parse.
TEST(ClientStartup, HopelessStartEndsInTheMessageAfterThreeTries)
{
    if (!HaveDisplay()) {
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    }
    StandInService service;
    ASSERT_TRUE(service.Start());
    QTcpServer probe;  // a port nobody answers on once the probe is gone
    probe.listen(QHostAddress::LocalHost, 0);
    const int nClosedPort = probe.serverPort();
    probe.close();

    struct Case
    {
        const char* name;
        QStringList address;
        QString requestPath;  // what the service sees of the client; empty: no service
        int nRequests;        // each try checks the server, then navigates
    };
    const Case cases[] = {
        {"NoNetwork", {"[URL=http://127.0.0.1]", QStringLiteral("[PORT=%1]").arg(nClosedPort)}, {}, 0},
        {"ReadyThatDoesNotParse", {QStringLiteral("[URL=%1/wrong-ready/broken]").arg(service.BaseUrl())},
         "/wrong-ready/broken/", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder;
        QProcess client;
        folder.Start(client, QStringLiteral("Orvanta_Vexa"), QStringList{kToken, "[LogEnable=Y]"} + c.address);
        const QString box = WaitForWindowByTitle(QStringLiteral("라벤토"), 120000);
        EXPECT_FALSE(box.isEmpty()) << "no connection message";
        const QStringList log = ReadProgramLog(folder.Path(), "Orvanta");
        EXPECT_EQ(log.filter("need retry ").size(), 2);
        EXPECT_EQ(log.filter("MainFrame size : (").size(), 0);
        if (!c.requestPath.isEmpty()) {
            const QByteArray requests = service.Get("/demo/requests?path=" + c.requestPath);
            EXPECT_EQ(requests.count(("\"" + c.requestPath + "\"").toUtf8()), c.nRequests) << requests.constData();
        }
        if (!box.isEmpty()) {
            EXPECT_EQ(client.state(), QProcess::Running);  // the message waits for the user
            SendKey(box, QStringLiteral("Return"));
        }
        EXPECT_TRUE(client.waitForFinished(20000));
        EXPECT_EQ(client.exitCode(), 0);
        if (client.state() != QProcess::NotRunning) {
            client.kill();
            client.waitForFinished(5000);
        }
    }
}

TEST(ClientStartup, ReadyOfTheWrongShapeStillShowsTheFrameAtOnce)
{
    if (!HaveDisplay()) {
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    }
    StandInService service;
    ASSERT_TRUE(service.Start());
    ProgramFolder folder;
    QProcess client;
    folder.Start(client, QStringLiteral("Orvanta_Vexa"),
                 {kToken, "[LogEnable=Y]", QStringLiteral("[URL=%1/wrong-ready/array]").arg(service.BaseUrl())});
    // The report "[]" carries no look: the frame takes the defaults after one load.
    EXPECT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "MainFrame size : (0, 0, 1100, 801)", 60000));
    const QByteArray requests = service.Get("/demo/requests?path=/wrong-ready/array/");
    EXPECT_EQ(requests.count("\"/wrong-ready/array/\""), 2) << requests.constData();
    EXPECT_EQ(ReadProgramLog(folder.Path(), "Orvanta").filter("need retry ").size(), 0);
    client.kill();
    client.waitForFinished(5000);
}

}  // namespace
