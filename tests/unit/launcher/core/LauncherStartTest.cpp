#include "BuildConfig.h"
#include "platform/InstanceLock.h"
#include "LauncherTestLog.h"
#include "platform/ModulePath.h"
#include "core/OrvantaStartApp.h"
#include "platform/ProgramNames.h"
#include "core/U_HttpDown.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
const std::wstring kMemberLine = L"COrvantaStartApp::SetInitialInfo m_strVercheckerServerIpPort=";

struct TokenCase
{
    const char* name;
    std::wstring cmdLine;
    int nPresetIsVerTest;
    std::wstring expectServer;  // empty: the build's default
    int expectIsVerTest;
    bool expectServerLine;
    bool expectTestLine;
};

std::ostream& operator<<(std::ostream& os, const TokenCase& c)
{
    return os << c.name;
}

class SetInitialInfoTokens : public ::testing::TestWithParam<TokenCase>
{
};

TEST_P(SetInitialInfoTokens, AppliesTheBracketRuleAndLogsOnlyWhatChanged)
{
    const TokenCase& c = GetParam();
    LauncherTestLog log;
    COrvantaStartApp app(&log.log);
    app.m_nIsVerTest = c.nPresetIsVerTest;
    std::vector<unsigned int> sleeps;
    app.SetSleep([&sleeps](unsigned int ms) { sleeps.push_back(ms); });

    app.SetInitialInfo(c.cmdLine);

    const std::wstring server = c.expectServer.empty() ? ORVANTA_DEFAULT_VERSION_SERVER : c.expectServer;
    EXPECT_EQ(app.m_strVercheckerServerIpPort, server);
    EXPECT_EQ(app.m_nIsVerTest, c.expectIsVerTest);
    EXPECT_TRUE(sleeps.empty());

    // The command line, the optional change lines, and the member line twice, in this order.
    std::vector<std::wstring> expected{L"COrvantaStartApp::SetInitialInfo strCmdLine=" + c.cmdLine};
    if (c.expectServerLine) {
        expected.push_back(L"버전체크서버Ip/Port가 " + server + L"로 변경됨.");
    }
    expected.push_back(kMemberLine + server);
    if (c.expectTestLine) {
        expected.push_back(L"버전체크서버 테스트용 여부. m_nIsVerTest=" + std::to_wstring(c.expectIsVerTest) +
                           L" (0 상용 버전체크, 1 테스트용 버전체크)");
    }
    expected.push_back(kMemberLine + server);
    EXPECT_EQ(log.Messages(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, SetInitialInfoTokens,
    ::testing::Values(
        TokenCase{"Empty", L"", 0, L"", 0, false, false},
        TokenCase{"HostAndPort", L"[VerSrvIpPort=10.0.0.5:9090]", 0, L"10.0.0.5:9090", 0, true, false},
        TokenCase{"EmptyServerValue", L"[VerSrvIpPort=]", 0, L"", 0, false, false},
        TokenCase{"ServerWithoutClosingBracket", L"[VerSrvIpPort=10.0.0.5 [IsVerTest", 0, L"", 0, false, false},
        TokenCase{"OnlyFirstServerCounts", L"[VerSrvIpPort=1.1.1.1] [VerSrvIpPort=2.2.2.2]", 0, L"1.1.1.1", 0, true, false},
        TokenCase{"ServerIsCaseSensitive", L"[versrvipport=1.1.1.1]", 0, L"", 0, false, false},
        TokenCase{"TestFlagOne", L"[IsVerTest=1]", 0, L"", 1, false, true},
        TokenCase{"TestFlagLeadingDigits", L"[IsVerTest=12abc]", 0, L"", 12, false, true},
        TokenCase{"TestFlagNoDigits", L"[IsVerTest=abc]", 3, L"", 0, false, true},
        TokenCase{"TestFlagEmptyKeepsPrevious", L"[IsVerTest=]", 7, L"", 7, false, false},
        TokenCase{"OnlyFirstTestFlagCounts", L"[IsVerTest=1] [IsVerTest=0]", 0, L"", 1, false, true},
        TokenCase{"AmongOtherArguments",
                  L"[URL=http://pbx.example] [IsVerTest=1] -x [VerSrvIpPort=h:81] [PORT=8080]", 0,
                  L"h:81", 1, true, true}),
    [](const ::testing::TestParamInfo<TokenCase>& info) { return std::string(info.param.name); });

struct LogSwitchCase
{
    const char* name;
    std::wstring cmdLine;
    bool expectOn;
};

class SetInitialInfoLogSwitch : public ::testing::TestWithParam<LogSwitchCase>
{
};

TEST_P(SetInitialInfoLogSwitch, OnlyTheExactTokenForcesTheFileLog)
{
    const LogSwitchCase& c = GetParam();
    LauncherTestLog log(false);
    ASSERT_FALSE(log.log.Enabled());  // the stored switch is 0

    COrvantaStartApp app(&log.log);
    app.SetInitialInfo(c.cmdLine);

    EXPECT_EQ(log.log.Enabled(), c.expectOn);
    EXPECT_EQ(log.Count(kMemberLine + ORVANTA_DEFAULT_VERSION_SERVER), c.expectOn ? 2u : 0u);
    // Forced means frozen: a re-read of the stored 0 changes nothing.
    log.log.InitLog();
    EXPECT_EQ(log.log.Enabled(), c.expectOn);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, SetInitialInfoLogSwitch,
    ::testing::Values(LogSwitchCase{"Exact", L"[LogEnable=Y]", true},
                      LogSwitchCase{"Anywhere", L"-a [IsVerTest=0][LogEnable=Y] b", true},
                      LogSwitchCase{"LowerCaseValue", L"[LogEnable=y]", false},
                      LogSwitchCase{"ValueN", L"[LogEnable=N]", false},
                      LogSwitchCase{"WithoutBrackets", L"LogEnable=Y", false},
                      LogSwitchCase{"LongerValue", L"[LogEnable=Yes]", false}),
    [](const ::testing::TestParamInfo<LogSwitchCase>& info) { return std::string(info.param.name); });

TEST(SetInitialInfoAutoRun, WaitsTenSecondsBetweenItsTwoLinesAfterTheOtherTokens)
{
    LauncherTestLog log;
    COrvantaStartApp app(&log.log);
    std::vector<unsigned int> sleeps;
    size_t linesAtSleep = 0;
    app.SetSleep([&](unsigned int ms) {
        sleeps.push_back(ms);
        linesAtSleep = log.Messages().size();
    });

    app.SetInitialInfo(L"[AutoRun=Y] [IsVerTest=1]");

    EXPECT_EQ(sleeps, std::vector<unsigned int>{10000});
    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[3], kMemberLine + ORVANTA_DEFAULT_VERSION_SERVER);
    EXPECT_EQ(messages[4], L"컴퓨터 부팅시 자동실행 옵션 사용중이므로 인터넷 연결를 감안하여 잠시 대기 ...");
    EXPECT_EQ(messages[5], L"대기 마치고 계속 진행 ...");
    EXPECT_EQ(linesAtSleep, 5u);  // the wait lies between the two lines
}

TEST(SetInitialInfoAutoRun, OtherFormsDoNotWait)
{
    for (const std::wstring cmd : {L"[AutoRun=y]", L"[AutoRun=N]", L"[AutoRun=]", L"AutoRun=Y"}) {
        LauncherTestLog log;
        COrvantaStartApp app(&log.log);
        int sleeps = 0;
        app.SetSleep([&sleeps](unsigned int) { ++sleeps; });
        app.SetInitialInfo(cmd);
        EXPECT_EQ(sleeps, 0) << WideToUtf8(cmd);
        EXPECT_EQ(log.CountStartingWith(L"대기 마치고"), 0u) << WideToUtf8(cmd);
    }
}

class CheckDuplicateProcessTest : public ::testing::Test
{
protected:
    TempDir m_tmp;
    ScopedTmpDir m_tmpEnv{m_tmp.QPath().toStdString()};
};

TEST_F(CheckDuplicateProcessTest, FreeNameGivesOneAndIsNotKept)
{
    LauncherTestLog log;
    COrvantaStartApp app(&log.log);
    EXPECT_EQ(app.CheckDuplicateProcess(kInstanceMutexName), 1);
    EXPECT_EQ(app.CheckDuplicateProcess(kInstanceMutexName), 1);

    // The client can still take it afterwards.
    FileInstanceLock client;
    EXPECT_EQ(client.Acquire(kInstanceMutexName), LockResult::Acquired);
    EXPECT_EQ(log.Count(L"OrvantaStart is Running..."), 0u);
}

TEST_F(CheckDuplicateProcessTest, HeldNameGivesZeroWithItsLineAndStaysWithItsHolder)
{
    FileInstanceLock client;
    ASSERT_EQ(client.Acquire(kInstanceMutexName), LockResult::Acquired);

    LauncherTestLog log;
    COrvantaStartApp app(&log.log);
    EXPECT_EQ(app.CheckDuplicateProcess(kInstanceMutexName), 0);
    EXPECT_EQ(log.Count(L"OrvantaStart is Running..."), 1u);

    // Probing did not take the name away from the client.
    FileInstanceLock other;
    EXPECT_EQ(other.Acquire(kInstanceMutexName), LockResult::AlreadyExists);
    client.Release();
    EXPECT_EQ(app.CheckDuplicateProcess(kInstanceMutexName), 1);
}

TEST(LauncherModulePath, IsTheRunningProgramsFolderWithItsSeparator)
{
    COrvantaStartApp app;
    const std::wstring folder = app.GetModulePath();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'/');
    EXPECT_EQ(GetExecutablePath().rfind(folder, 0), 0u);
    EXPECT_EQ(GetExecutablePath().substr(folder.size()).find(L'/'), std::wstring::npos);
}

// The engine reads no application object: the start-up hands it the server and the test flag
// the command line chose.
TEST(LauncherWiring, TheEngineIsHandedTheCommandLinesServerAndTestFlag)
{
    LauncherTestLog log;
    COrvantaStartApp app(&log.log);
    EXPECT_EQ(app.GetVersionCheckConfig().strServerIpPort, ORVANTA_DEFAULT_VERSION_SERVER);
    EXPECT_EQ(app.GetVersionCheckConfig().nIsVerTest, 0);

    app.SetInitialInfo(L"[VerSrvIpPort=10.0.0.5:9090] [IsVerTest=1]");
    const VersionCheckConfig config = app.GetVersionCheckConfig();
    EXPECT_EQ(config.strServerIpPort, L"10.0.0.5:9090");
    EXPECT_EQ(config.nIsVerTest, 1);

    U_HttpDown engine(config, &log.store, &log.log);
    EXPECT_EQ(engine.GetVersionCheckConfig().strServerIpPort, L"10.0.0.5:9090");
    engine.State().strUpdateUrl = L"http://d/u.exe";
    EXPECT_EQ(engine.MakeDownloadUrl(), L"http://d/u.exe?progId=Orvan_Vexa&srvVer=&isVerTest=1");

    // Without a configuration an engine asks the build's default server.
    U_HttpDown plain({}, &log.store, &log.log);
    EXPECT_EQ(plain.GetVersionCheckConfig().strServerIpPort, ORVANTA_DEFAULT_VERSION_SERVER);
    EXPECT_EQ(plain.GetVersionCheckConfig().nIsVerTest, 0);
}
}  // namespace
