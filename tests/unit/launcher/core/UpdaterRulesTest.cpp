// The updater window's decisions and texts, without a display.
#include "platform/ProgramNames.h"
#include "text/TextConv.h"
#include "core/UpdaterRules.h"
#include "core/VersionCheck.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct CloseCase
{
    const char* name;
    int nFlag;
    CloseAction expected;
};

class CloseRules : public ::testing::TestWithParam<CloseCase>
{
};

TEST_P(CloseRules, FlagDecidesWhatClosingDoes)
{
    EXPECT_EQ(DecideCloseAction(GetParam().nFlag), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, CloseRules,
    ::testing::Values(CloseCase{"Downloading", kUpdateFlagUpdate, CloseAction::AskToStopUpdate},
                      CloseCase{"Finished", kUpdateFlagFinished, CloseAction::EndProcess},
                      CloseCase{"NoAnswerYet", kUpdateFlagNoAnswer, CloseAction::StartClient},
                      CloseCase{"NoUpdate", kUpdateFlagNoUpdate, CloseAction::StartClient},
                      CloseCase{"FailedCheck", kUpdateFlagNotJson, CloseAction::StartClient},
                      CloseCase{"StoppedOrNoWorker", kUpdateFlagStopped, CloseAction::StartClient}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CloseRules, QuestionNamesTheUpdaterThreeTimes)
{
    EXPECT_EQ(MakeStopUpdateQuestion(),
              L"\"라벤토 - 업데이트\" 필수 업데이트 입니다.\n이 업데이트를 수행하지 않으면 \"라벤토 - 업데이트\"은 실행 되지 않습니다.\n\n"
              L"\"라벤토 - 업데이트\" 필수 업데이트를 중단 하시겠습니까?");
}

struct GroupCase
{
    int32_t nValue;
    const wchar_t* expected;
};

class GroupThousandsTable : public ::testing::TestWithParam<GroupCase>
{
};

TEST_P(GroupThousandsTable, PutsACommaBeforeEveryGroupOfThree)
{
    EXPECT_EQ(GroupThousands(GetParam().nValue), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, GroupThousandsTable,
                         ::testing::Values(GroupCase{0, L"0"}, GroupCase{7, L"7"}, GroupCase{999, L"999"},
                                           GroupCase{1000, L"1,000"}, GroupCase{10000, L"10,000"},
                                           GroupCase{100000, L"100,000"}, GroupCase{1234567, L"1,234,567"},
                                           GroupCase{INT32_MAX, L"2,147,483,647"}, GroupCase{-1500, L"-1,500"},
                                           GroupCase{-999, L"-999"}));

struct LabelCase
{
    const wchar_t* strSrvVer;
    const wchar_t* expected;
};

class VersionLabel : public ::testing::TestWithParam<LabelCase>
{
};

TEST_P(VersionLabel, NineCharactersReadAsThreeGroups)
{
    EXPECT_EQ(MakeVersionLabel(GetParam().strSrvVer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionLabel,
                         ::testing::Values(LabelCase{L"001002003", L"Ver.001.002.003"},
                                           LabelCase{L"abcdefghi", L"Ver.abc.def.ghi"},
                                           LabelCase{L"", L"업데이트"}, LabelCase{L"01002003", L"업데이트"},
                                           LabelCase{L"0010020030", L"업데이트"}));

struct ProgressCase
{
    int32_t nDone;
    uint32_t nTotal;
    const wchar_t* text;
    int nPosition;
};

class ProgressTexts : public ::testing::TestWithParam<ProgressCase>
{
};

TEST_P(ProgressTexts, ByteCountsAndBarPosition)
{
    EXPECT_EQ(MakeByteCountText(GetParam().nDone, GetParam().nTotal), GetParam().text);
    EXPECT_EQ(ProgressPosition(GetParam().nDone, GetParam().nTotal), GetParam().nPosition);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ProgressTexts,
    ::testing::Values(ProgressCase{1536000, 10240000, L"1,500 K / 10,000 K", 15},
                      ProgressCase{0, 0, L"0 K / 0 K", 0},
                      ProgressCase{1023, 2047, L"0 K / 1 K", 49},          // cut toward zero, not rounded
                      ProgressCase{10240000, 10240000, L"10,000 K / 10,000 K", 100},
                      ProgressCase{5, 0, L"0 K / 0 K", 0},                 // unknown total: empty bar
                      ProgressCase{1024, 3000000000U, L"1 K / -1,264,616 K", 0},  // counts read as signed
                      // More than the total (a server that ignored the Range line) stays full;
                      // a negative count stays empty.
                      ProgressCase{15000, 10240, L"14 K / 10 K", 100},
                      ProgressCase{-2048, 10240, L"-2 K / 10 K", 0}));

TEST(RetryText, ShowsTheCountOfFour)
{
    EXPECT_EQ(MakeRetryText(1), L"업데이트 파일을 다운로드 중 입니다.\n잠시만 기다려 주십시오. 재시도 횟수(1/4)");
    EXPECT_EQ(MakeRetryText(4), L"업데이트 파일을 다운로드 중 입니다.\n잠시만 기다려 주십시오. 재시도 횟수(4/4)");
}

TEST(ClientLaunch, TokenGoesFirstThenTheLaunchersOwnArguments)
{
    const std::wstring token = L"[" + std::wstring(kLaunchToken) + L"]";
    EXPECT_EQ(MakeClientArguments({L"[LogEnable=Y]", L"[URL=x]"}),
              (std::vector<std::wstring>{token, L"[LogEnable=Y]", L"[URL=x]"}));
    EXPECT_EQ(MakeClientArguments({}), std::vector<std::wstring>{token});
    EXPECT_EQ(MakeClientParameters(L"[LogEnable=Y] [URL=x]"),
              L"[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8] [LogEnable=Y] [URL=x]");
    EXPECT_EQ(MakeClientParameters(L""), L"[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8] ");
}

TEST(Centring, IntegerHalvesTowardZero)
{
    const CentredPos pos = CentreOnScreen(1921, 1081, 324, 206);
    EXPECT_EQ(pos.x, 960 - 162);
    EXPECT_EQ(pos.y, 540 - 103);
}

struct StillCase
{
    const char* name;
    uint32_t nDownNow;
    bool bMoved;
    uint32_t nTotalSize;
    bool expected;
};

class StandingStill : public ::testing::TestWithParam<StillCase>
{
};

TEST_P(StandingStill, NothingArrivedOrNothingMoved)
{
    const StillCase& c = GetParam();
    EXPECT_EQ(IsStandingStill(c.nDownNow, c.bMoved, c.nTotalSize), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, StandingStill,
    ::testing::Values(StillCase{"NothingYet", 0, false, 0, true}, StillCase{"Moving", 500, true, 1000, false},
                      StillCase{"Stuck", 500, false, 1000, true},
                      StillCase{"FinishedFirstAttempt", 1000, false, 1000, false},
                      StillCase{"ZeroTotalZeroNow", 0, true, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct MonitorCase
{
    const char* name;
    unsigned int nRestartCount;
    unsigned int nReleased;
    bool bWindow;
    bool bDownEnded;
    MonitorAction expected;
};

class MonitorDecision : public ::testing::TestWithParam<MonitorCase>
{
};

TEST_P(MonitorDecision, ReleasesEachFailureOnceAndGivesUpAtTheFourth)
{
    const MonitorCase& c = GetParam();
    EXPECT_EQ(DecideMonitorAction(c.nRestartCount, c.nReleased, c.bWindow, c.bDownEnded), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Turns, MonitorDecision,
    ::testing::Values(MonitorCase{"AttemptRunning", 1, 1, true, false, MonitorAction::None},
                      MonitorCase{"FirstFailure", 1, 1, true, true, MonitorAction::Release},
                      MonitorCase{"FirstFailureAlreadyReleased", 1, 2, true, true, MonitorAction::None},
                      MonitorCase{"ThirdFailure", 3, 3, true, true, MonitorAction::Release},
                      MonitorCase{"FourthFailure", 4, 4, true, true, MonitorAction::GiveUp},
                      MonitorCase{"FourthFailureWhileReleasePending", 4, 3, true, true, MonitorAction::GiveUp},
                      MonitorCase{"FinishedWithoutFailure", 0, 1, true, true, MonitorAction::None},
                      MonitorCase{"NoWindow", 2, 2, false, true, MonitorAction::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MonitorDecision, FailureAfterAllBytesArrivedIsStillReleased)
{
    // The counter equals the total, so the transfer does not count as standing still; the
    // failed attempt must be released all the same, or the worker waits for ever.
    EXPECT_FALSE(IsStandingStill(1000, false, 1000));
    EXPECT_EQ(DecideMonitorAction(1, 1, true, true), MonitorAction::Release);
}

TEST(MonitorDecision, ProgressIsPostedOnlyForMovementOfARunningAttempt)
{
    EXPECT_TRUE(ShouldPostProgress(500, 1000, true, true, false));
    EXPECT_FALSE(ShouldPostProgress(500, 1000, false, true, false));
    EXPECT_FALSE(ShouldPostProgress(0, 1000, true, true, false));
    EXPECT_FALSE(ShouldPostProgress(500, 0, true, true, false));
    EXPECT_FALSE(ShouldPostProgress(500, 1000, true, false, false));
    EXPECT_FALSE(ShouldPostProgress(500, 1000, true, true, true));
}
}  // namespace
