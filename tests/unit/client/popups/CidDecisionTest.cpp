#include "logic/CidDecision.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The tables name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr wchar_t kA[] = L"0101112222";
constexpr wchar_t kB[] = L"07012345678";
constexpr wchar_t kOther[] = L"0109";

CidPopupState P(int state, int64_t logNo, const std::wstring& caller = kA, int procType = 0,
                int callCnt = 0)
{
    CidPopupState p;
    p.strCaller = caller;
    p.strCallee = kB;
    p.nCallResult = state;
    p.llLogNo = logNo;
    p.nPopupType = 21;
    p.nCallProcessType = procType;
    p.nCallCnt = callCnt;
    return p;
}

struct Request
{
    int state = 102;
    int64_t logNo = 1;
    std::wstring caller = kA;
    int procType = 0;
    int recFlag = -1;
    std::wstring notiFlag;
};

std::unique_ptr<CidRequest> Make(const Request& r)
{
    auto p = std::make_unique<CidRequest>();
    SetCidText(p->szCallerPhone, r.caller);
    SetCidText(p->szCalleePhone, kB);
    SetCidText(p->szNotiFlag, r.notiFlag);
    p->llLogNo = r.logNo;
    p->nCallResult = r.state;
    p->nCallProcessType = r.procType;
    p->nRecFlag = r.recFlag;
    return p;
}

// What a decision must say; for Reuse and New also the state and process type it gives.
struct Expected
{
    CidVerdict verdict = CidVerdict::Drop;
    std::optional<size_t> popup;
    int state = 0;
    int procType = 0;
    int closeDelayMs = 0;
    bool removeAll = false;
    std::optional<size_t> searched; // popups the same-call search looked at; none: no search
    std::optional<size_t> found;    // the older popup of the same call it found
    std::optional<size_t> remove;
    int callCnt = 0;
    bool relayout = false;
};

struct DecisionCase
{
    const char* name;
    std::vector<CidPopupState> popups;
    Request request;
    CidDisplayOptions options;
    Expected expected;
};

void PrintTo(const DecisionCase& c, std::ostream* os)
{
    *os << c.name;
}

class CidDecisionTable : public ::testing::TestWithParam<DecisionCase>
{
};

TEST_P(CidDecisionTable, Decides)
{
    const DecisionCase& c = GetParam();
    const Expected& e = c.expected;
    const CidDecision d = CidDecide(*Make(c.request), c.popups, c.options);
    ASSERT_EQ(d.verdict, e.verdict);
    EXPECT_EQ(d.nPopup, e.popup);
    EXPECT_EQ(d.nCloseDelayMs, e.closeDelayMs);
    EXPECT_EQ(d.bRemoveAll, e.removeAll);
    EXPECT_EQ(d.nRemove, e.remove);
    EXPECT_EQ(d.bRelayout, e.relayout);
    if (d.verdict == CidVerdict::Reuse || d.verdict == CidVerdict::New) {
        EXPECT_EQ(d.nCallResult, e.state);
        EXPECT_EQ(d.nCallProcessType, e.procType);
    }
    if (e.searched) {
        ASSERT_TRUE(d.sameCall.has_value());
        EXPECT_EQ(d.sameCall->nExamined, *e.searched);
        EXPECT_TRUE(d.sameCall->bEnded);
        EXPECT_EQ(d.sameCall->nMatch, e.found);
        EXPECT_EQ(d.sameCallSearch.nMode, 0);
        EXPECT_EQ(d.sameCallSearch.nCallResult, e.state);
        EXPECT_EQ(d.nCallCnt, e.callCnt);
    } else {
        EXPECT_FALSE(d.sameCall.has_value());
    }
}

using V = CidVerdict;

INSTANTIATE_TEST_SUITE_P(
    Rules, CidDecisionTable,
    ::testing::Values(
        // The outgoing-call start, whatever the options and the popups.
        DecisionCase{"StartFlagInAnyCaseOpensTheSendPopup", {P(102, 1)},
                     {.state = 0, .notiFlag = L"sTaRt"}, {.nEnable = 0},
                     {.verdict = V::SendPopup, .closeDelayMs = 3000}},
        // Call ended: only the ordinary call popup of the log number, whatever the options.
        DecisionCase{"CallEndedTakesTheOrdinaryCallPopup",
                     {P(1, 7, kOther), P(102, 7, L"0108", 1), P(200, 7)}, {.state = 291, .logNo = 7},
                     {.nEnable = 0, .nEnableArsNoti = 0},
                     {.verdict = V::CallEnded, .popup = 2, .closeDelayMs = 10000}},
        DecisionCase{"CallEndedWithoutItsPopup", {P(200, 8)}, {.state = 291, .logNo = 7}, {},
                     {.verdict = V::CallEnded, .closeDelayMs = 10000}},
        // The enable rule.
        DecisionCase{"DisabledHidesOrdinary", {}, {.state = 102}, {.nEnable = 0},
                     {.verdict = V::Disabled}},
        DecisionCase{"DisabledStillShowsArs", {}, {.state = 102, .procType = 1}, {.nEnable = 0},
                     {.verdict = V::New, .state = 102, .procType = 1, .closeDelayMs = 20000}},
        DecisionCase{"ArsDisabledHidesArs", {}, {.state = 102, .procType = 1},
                     {.nEnableArsNoti = 0}, {.verdict = V::Disabled}},
        DecisionCase{"ArsDisabledShowsOrdinary", {}, {.state = 102}, {.nEnableArsNoti = 0},
                     {.verdict = V::New, .state = 102, .searched = 1, .callCnt = 1}},
        DecisionCase{"AllDisabledStillShowsArsMessage", {P(1, 9)},
                     {.state = 1, .logNo = 10, .procType = 1}, {.nEnable = 0, .nEnableArsNoti = 0},
                     {.verdict = V::Reuse, .popup = 0, .state = 1, .procType = 1}},
        // Reuse or new.
        DecisionCase{"SameNumbersSameStateReusedAndLaidOutAgain", {P(102, 1)},
                     {.state = 102, .logNo = 2}, {},
                     {.verdict = V::Reuse, .popup = 0, .state = 102, .searched = 1, .callCnt = 1,
                      .relayout = true}},
        DecisionCase{"NewestFittingPopupReused", {P(102, 1), P(102, 2, kOther), P(201, 3)},
                     {.state = 102, .logNo = 4}, {},
                     {.verdict = V::Reuse, .popup = 2, .state = 102, .searched = 1, .found = 0, .remove = 0,
                      .callCnt = 1, .relayout = true}},
        DecisionCase{"OtherNumbersOpenANewPopup", {P(102, 1)},
                     {.state = 102, .logNo = 2, .caller = kOther}, {},
                     {.verdict = V::New, .state = 102, .searched = 2, .callCnt = 1}},
        DecisionCase{"ConnectedPopupFitsOnlyTheEnd", {P(200, 1)}, {.state = 102, .logNo = 2}, {},
                     {.verdict = V::New, .state = 102, .searched = 2, .callCnt = 1}},
        DecisionCase{"TransferPairFits", {P(407, 1)}, {.state = 202, .logNo = 2}, {},
                     {.verdict = V::Reuse, .popup = 0, .state = 202, .searched = 1, .callCnt = 1,
                      .relayout = true}},
        DecisionCase{"MessageFitsOnlyAMessage", {P(1, 1)}, {.state = 102, .logNo = 1}, {},
                     {.verdict = V::New, .state = 102, .searched = 2, .callCnt = 1}},
        DecisionCase{"UnknownStateCountsAs111", {P(111, 1)}, {.state = 0, .logNo = 2}, {},
                     {.verdict = V::Reuse, .popup = 0, .state = 111, .searched = 1, .callCnt = 1,
                      .relayout = true}},
        DecisionCase{"ArsReusedByLogNumberAlone", {P(102, 7, kOther, 1)},
                     {.state = 203, .logNo = 7, .procType = 1}, {},
                     {.verdict = V::Reuse, .popup = 0, .state = 203, .procType = 1,
                      .closeDelayMs = 20000}},
        DecisionCase{"ArsWithoutPopupDroppedInState203", {}, {.state = 203, .procType = 1}, {},
                     {.verdict = V::Drop}},
        DecisionCase{"ArsWithoutPopupOpensInUnknownState", {}, {.state = 999, .procType = 1}, {},
                     {.verdict = V::New, .state = 111, .procType = 1, .closeDelayMs = 20000}},
        DecisionCase{"ArsMessageWithoutPopupDropped", {}, {.state = 1, .procType = 1}, {},
                     {.verdict = V::Drop}},
        DecisionCase{"RingingAgainForAnsweredPopupOfTheLogDropped", {P(201, 5)},
                     {.state = 101, .logNo = 5}, {}, {.verdict = V::Drop}},
        DecisionCase{"AnsweredForAnotherPopupOfTheLogDropped", {P(102, 5, kOther)},
                     {.state = 201, .logNo = 5}, {}, {.verdict = V::Drop}},
        DecisionCase{"AnsweredAgainReusedWithoutSearch", {P(201, 5)}, {.state = 201, .logNo = 5},
                     {},
                     {.verdict = V::Reuse, .popup = 0, .state = 201, .closeDelayMs = 20000}},
        // Removal of an older popup of the same call.
        DecisionCase{"RecordedArsOpensOrdinaryPopupAndReplacesTheOlderOne", {P(102, 1, kA, 0, 4)},
                     {.state = 102, .logNo = 1, .procType = 1, .recFlag = 1}, {},
                     {.verdict = V::New, .state = 102, .searched = 1, .found = 0, .remove = 0, .callCnt = 5}},
        DecisionCase{"ReusedPopupRemovesTheOlderOneBeforeIt", {P(102, 1, kA, 0, 1), P(201, 2)},
                     {.state = 102, .logNo = 3}, {},
                     {.verdict = V::Reuse, .popup = 1, .state = 102, .searched = 1, .found = 0, .remove = 0,
                      .callCnt = 2, .relayout = true}},
        DecisionCase{"AnsweredKeepsTheOlderPopup", {P(102, 1)},
                     {.state = 201, .logNo = 1, .procType = 1, .recFlag = 1}, {},
                     {.verdict = V::New, .state = 201, .closeDelayMs = 20000}},
        DecisionCase{"ConnectedKeepsTheOlderPopup", {P(102, 1)},
                     {.state = 200, .logNo = 1, .procType = 1, .recFlag = 1}, {},
                     {.verdict = V::New, .state = 200}},
        DecisionCase{"SingleTypeClearsEveryPopupBeforeANewOne", {P(102, 1, kA, 0, 3)},
                     {.state = 102, .logNo = 1, .procType = 1, .recFlag = 1}, {.nCidType = 10},
                     {.verdict = V::New, .state = 102, .removeAll = true, .searched = 1,
                      .callCnt = 1}},
        DecisionCase{"SingleTypeReuseFindsButKeepsTheOlderPopup", {P(102, 1, kA, 0, 3), P(201, 2)},
                     {.state = 102, .logNo = 3}, {.nCidType = 10},
                     {.verdict = V::Reuse, .popup = 1, .state = 102, .searched = 1, .found = 0,
                      .callCnt = 1, .relayout = true}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Close delays ------------------------------------------------------------------------------

struct DelayCase
{
    const char* name;
    int mode;
    Request request;
    int delayMs;
};

void PrintTo(const DelayCase& c, std::ostream* os)
{
    *os << c.name;
}

class CidCloseDelayTable : public ::testing::TestWithParam<DelayCase>
{
};

TEST_P(CidCloseDelayTable, FollowsModeAndState)
{
    const DelayCase& c = GetParam();
    CidDisplayOptions options;
    options.nAutoCloseType = c.mode;
    options.nAutoCloseTime = 15;
    const CidDecision d = CidDecide(*Make(c.request), {}, options);
    ASSERT_EQ(d.verdict, CidVerdict::New);
    EXPECT_EQ(d.nCloseDelayMs, c.delayMs);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CidCloseDelayTable,
    ::testing::Values(DelayCase{"Mode1Answered", 1, {.state = 201}, 15000},
                      DelayCase{"Mode1Ringing", 1, {.state = 102}, 0},
                      DelayCase{"Mode1ConnectedNotRecorded", 1, {.state = 200, .recFlag = 0}, 15000},
                      DelayCase{"Mode1ConnectedRecorded", 1, {.state = 200, .recFlag = 1}, 0},
                      DelayCase{"Mode1Ars", 1, {.state = 102, .procType = 1}, 15000},
                      DelayCase{"Mode1RecordedArsIsOrdinary", 1,
                                {.state = 102, .procType = 1, .recFlag = 1}, 0},
                      DelayCase{"Mode1Message", 1, {.state = 1}, 0},
                      DelayCase{"Mode2Message", 2, {.state = 1}, 15000},
                      DelayCase{"Mode2Ringing", 2, {.state = 102}, 15000},
                      DelayCase{"Mode0Answered", 0, {.state = 201}, 15000},
                      DelayCase{"Mode0Ringing", 0, {.state = 102}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The search that laying popups on each other uses ------------------------------------------

TEST(CidSearchPopups, SameStateSearchFiltersByFormAndEndsAtTheStopPopup)
{
    std::vector<CidPopupState> popups{P(109, 1, kOther), P(102, 2, kOther), P(102, 3), P(102, 4)};
    popups[1].nPopupType = 22;
    CidSearch search;
    search.nMode = 1;
    search.nCallResult = 102;

    // Any form: the oldest popup in the state.
    CidSearchResult r = CidSearchPopups(popups, search, 3, 21);
    EXPECT_EQ(r.nMatch, std::optional<size_t>(1));
    EXPECT_EQ(r.nExamined, 2u);

    // Only form 21: the opened popup is passed over.
    search.nCidType = 21;
    r = CidSearchPopups(popups, search, 3, 21);
    EXPECT_EQ(r.nMatch, std::optional<size_t>(2));
    EXPECT_EQ(r.nExamined, 3u);

    // The stop popup ends the search before anything newer.
    r = CidSearchPopups(popups, search, 1, 21);
    EXPECT_FALSE(r.nMatch.has_value());
    EXPECT_EQ(r.nExamined, 2u);
    EXPECT_TRUE(r.bEnded);

    // No stop and no match: every popup looked at, the search did not end on one.
    search.nCallResult = 404;
    r = CidSearchPopups(popups, search, std::nullopt, 21);
    EXPECT_FALSE(r.nMatch.has_value());
    EXPECT_EQ(r.nExamined, 4u);
    EXPECT_FALSE(r.bEnded);

    // In the single-popup type a search by that type takes the first popup.
    search.nCidType = 10;
    r = CidSearchPopups(popups, search, 3, 10);
    EXPECT_EQ(r.nMatch, std::optional<size_t>(0));
}

TEST(CidSearchPopups, ArsPopupsLieOnlyOnArsPopups)
{
    const std::vector<CidPopupState> popups{P(102, 1), P(203, 2, kOther, 1)};
    CidSearch search;
    search.nMode = 1;
    search.nCallResult = 102;
    search.nCallProcessType = 1;
    EXPECT_EQ(CidSearchPopups(popups, search, std::nullopt, 21).nMatch, std::optional<size_t>(1));
    search.nCallProcessType = 0;
    EXPECT_EQ(CidSearchPopups(popups, search, std::nullopt, 21).nMatch, std::optional<size_t>(0));
}

} // namespace
