#include "popups/CidEvents.h"
#include "FakeCidWindow.h"
#include "platform/ModulePath.h"

#include <QCoreApplication>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kB[] = L"07012345678";

class ManagerTest : public ManagerFixture
{
};

// ---- What a request does ---------------------------------------------------------------------

constexpr int kNew = -1;     // a new popup is made
constexpr int kDropped = -2; // nothing happens

struct DecisionCase
{
    const char* name;
    std::vector<Req> before;
    Req request;
    int outcome;     // index (in "before") of the reused popup, kNew or kDropped
    int stateAfter;  // state of the popup that took the request
    int procAfter;   // its process type
    int enable = 1;
    int enableArs = 1;
};

void PrintTo(const DecisionCase& c, std::ostream* os)
{
    *os << c.name;
}

class DecisionTest : public ManagerTest, public ::testing::WithParamInterface<DecisionCase>
{
};

TEST_P(DecisionTest, ReusesCreatesOrDrops)
{
    const DecisionCase& c = GetParam();
    std::vector<FakeCidWindow*> before;
    for (const Req& r : c.before) {
        before.push_back(RecvReady(r));
        ASSERT_NE(before.back(), nullptr);
    }
    SetOption(&CidDisplayOptions::nEnable, c.enable);
    SetOption(&CidDisplayOptions::nEnableArsNoti, c.enableArs);
    const size_t nMade = factory.made.size();
    std::vector<size_t> showsBefore;
    for (FakeCidWindow* p : before) {
        showsBefore.push_back(p->showCidInfo.size());
    }

    const size_t nLinesBefore = LogMessages().size();
    manager.OnRecvCid(MakeRequest(c.request));

    auto lines = LogMessages();
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(nLinesBefore));
    ASSERT_FALSE(lines.empty());
    if (c.outcome == kDropped) {
        EXPECT_EQ(factory.made.size(), nMade);
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(before[i]->showCidInfo.size(), showsBefore[i]) << "popup " << i;
        }
        EXPECT_FALSE(Contains(lines, L"bFoundSameCid="));
        EXPECT_FALSE(Contains(lines, L"end"));
        return;
    }
    FakeCidWindow* p = nullptr;
    if (c.outcome == kNew) {
        ASSERT_EQ(factory.made.size(), nMade + 1);
        p = factory.made.back();
        EXPECT_EQ(p->showCidInfo, (std::vector<int>{1}));
        EXPECT_TRUE(Contains(lines, L"bFoundSameCid=0"));
    } else {
        EXPECT_EQ(factory.made.size(), nMade);
        p = before[c.outcome];
        EXPECT_EQ(p->showCidInfo.back(), 0);
        EXPECT_EQ(p->foregrounds, 1);
        EXPECT_EQ(p->m_strPostData, L"{\"n\":" + std::to_wstring(c.request.logNo) + L"}");
        EXPECT_TRUE(Contains(lines, L"bFoundSameCid=1"));
    }
    // Both forms of the line: the wide one as it is, the 8-bit one after the program prefix.
    const std::wstring found = c.outcome == kNew ? L"bFoundSameCid=0" : L"bFoundSameCid=1";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), found), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::wstring& l) { return l.ends_with(L"]" + found); }),
              1);
    EXPECT_EQ(lines.back(), L"[" + GetExecutableName() + L"]end");
    EXPECT_EQ(p->m_nCallResult, c.stateAfter);
    EXPECT_EQ(p->m_nCallProcessType, c.procAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DecisionTest,
    ::testing::Values(
        DecisionCase{"SameNumbersSameState", {R(102, 1)}, R(102, 2), 0, 102, 0},
        DecisionCase{"OtherNumbersNew", {R(102, 1)}, R(102, 2, L"0109"), kNew, 102, 0},
        DecisionCase{"OtherStateNew", {R(102, 1)}, R(109, 2), kNew, 109, 0},
        DecisionCase{"AnsweredMatchesLaterState", {R(201, 1)}, R(404, 2), 0, 404, 0},
        DecisionCase{"ConnectedMatchesNothingButEnded", {R(200, 1)}, R(102, 2), kNew, 102, 0},
        DecisionCase{"TransferPair202Then407", {R(202, 1)}, R(407, 2), 0, 407, 0},
        DecisionCase{"TransferPair407Then202", {R(407, 1)}, R(202, 2), 0, 202, 0},
        DecisionCase{"NewestOfTwoIsReused", {R(102, 1), R(102, 2, L"0109"), R(201, 3)}, R(102, 4),
                     2, 102, 0},
        DecisionCase{"UnknownStateCountsAs111", {R(111, 1)}, R(0, 2), 0, 111, 0},
        DecisionCase{"MessageMatchesMessageOnly", {R(102, 1), R(1, 2)}, R(1, 3), 1, 1, 0},
        DecisionCase{"MessageNotMatchedByCall", {R(1, 1)}, R(102, 1), kNew, 102, 0},
        DecisionCase{"ArsReusedByLogNumber", {R(102, 7, L"0109", 1)}, R(203, 7, kA, 1), 0, 203, 1},
        DecisionCase{"ArsWithRecordingOpensOrdinaryPopup", {R(102, 7, kA, 1)},
                     R(102, 7, kA, 1, 1), kNew, 102, 0},
        DecisionCase{"Ars203WithoutPopupDropped", {}, R(203, 7, kA, 1), kDropped, 0, 0},
        DecisionCase{"Ars111MayOpen", {}, R(999, 7, kA, 1), kNew, 111, 1},
        DecisionCase{"RingingAgainForAnsweredPopupOfSameLogDropped", {R(201, 5)}, R(101, 5), kDropped,
                     0, 0},
        DecisionCase{"AnsweredForPopupOfSameLogDropped", {R(102, 5, L"0109")}, R(201, 5), kDropped,
                     0, 0},
        DecisionCase{"AnsweredAgainForAnsweredPopupReused", {R(201, 5)}, R(201, 5), 0, 201, 0},
        DecisionCase{"DisabledDropsOrdinary", {}, R(102, 1), kDropped, 0, 0, 0, 1},
        DecisionCase{"DisabledStillShowsArs", {}, R(102, 1, kA, 1), kNew, 102, 1, 0, 1},
        DecisionCase{"ArsDisabledDropsArs", {}, R(102, 1, kA, 1), kDropped, 0, 0, 1, 0},
        DecisionCase{"AllDisabledStillShowsArsMessage", {R(1, 9)}, R(1, 10, kA, 1), 0, 1, 1, 0, 0},
        DecisionCase{"ArsMessageWithoutPopupDropped", {}, R(1, 1, kA, 1), kDropped, 0, 0},
        DecisionCase{"ArsDisabledShowsOrdinary", {}, R(102, 1), kNew, 102, 0, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ManagerTest, DisabledRequestLogsTheWarning)
{
    SetOption(&CidDisplayOptions::nEnable, 0);
    SetOption(&CidDisplayOptions::nEnableArsNoti, 0);
    manager.OnRecvCid(MakeRequest(R(102, 1)));
    EXPECT_TRUE(manager.Popups().empty());
    const auto lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().ends_with(L"/CCidManagerDlg::OnRecvCid/CidManagerDlg]")) << lines.back();
    EXPECT_TRUE(Contains(LogMessages(), L"WARN. 프로그램 사용자 옵션의 '알림창 사용 설정'이 미사용 "
                                        L"상태이므로 CID창을 띄우지 않습니다. cid: 0, arsCid: 0"));
}

TEST_F(ManagerTest, NewPopupTakesRequestOptionsAndPermissions)
{
    manager.SetLinePermissions(kB, false, true);
    SetOption(&CidDisplayOptions::nOverlap, 1);
    SetOption(&CidDisplayOptions::nCidStartPos, 3);
    manager.SetMainFrame(reinterpret_cast<QWidget*>(0x1234));
    Req r = R(102, 42);
    r.cidType = 23;
    FakeCidWindow* p = Recv(r);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->owner, manager.MainFrame());
    EXPECT_EQ(p->m_hWndManager, &manager);
    EXPECT_EQ(p->creates, 1);
    EXPECT_EQ(p->m_nCtc, 0);
    EXPECT_EQ(p->m_nMsgSend, 1);
    EXPECT_EQ(p->m_strCidAlarmUrl, L"http://127.0.0.1:8470/cid");
    EXPECT_EQ(p->m_strCallerPhone, kA);
    EXPECT_EQ(p->m_strCalleePhone, kB);
    EXPECT_EQ(p->m_strTime, L"2026-12-10 10:00:00");
    EXPECT_EQ(p->m_llLogNo, 42);
    EXPECT_EQ(p->m_nPopupType, 23);
    EXPECT_EQ(p->m_nPosCode, 3);
    EXPECT_EQ(p->m_nCidOverlap, 1);
    EXPECT_EQ(p->m_nCallCnt, 1);

    // A line the page never listed gets no permissions, and is remembered with 0.
    Req other = R(102, 43, L"0109");
    other.callee = L"0700";
    FakeCidWindow* q = Recv(other);
    EXPECT_EQ(q->m_nCtc, 0);
    EXPECT_EQ(q->m_nMsgSend, 0);
    EXPECT_EQ(manager.LinePermissions().ctc.count(L"0700"), 1u);
}

TEST_F(ManagerTest, MessagePopupCarriesTextAndType)
{
    Req r = R(1, 3);
    r.msg = L"안녕 \"x\"\n";
    auto request = MakeRequest(r);
    SetCidText(request->szMsgType, L"SMS");
    manager.OnRecvCid(std::move(request));
    ASSERT_EQ(Listed().size(), 1u);
    EXPECT_EQ(Listed()[0]->m_strMsg, L"안녕 \"x\"\n");
    EXPECT_EQ(Listed()[0]->m_strMsgType, L"SMS");
}

struct DelayCase
{
    const char* name;
    int mode;
    Req request;
    int delayMs;
};

void PrintTo(const DelayCase& c, std::ostream* os)
{
    *os << c.name;
}

class CloseDelayTest : public ManagerTest, public ::testing::WithParamInterface<DelayCase>
{
};

TEST_P(CloseDelayTest, DelayFollowsModeAndState)
{
    SetOption(&CidDisplayOptions::nAutoCloseType, GetParam().mode);
    SetOption(&CidDisplayOptions::nAutoCloseTime, 15);
    FakeCidWindow* p = Recv(GetParam().request);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_nCloseDelayMs, GetParam().delayMs);
    EXPECT_EQ(p->m_nCloseType, GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CloseDelayTest,
    ::testing::Values(DelayCase{"Mode1Answered", 1, R(201, 1), 15000},
                      DelayCase{"Mode1Ringing", 1, R(102, 1), 0},
                      DelayCase{"Mode1ConnectedNotRecorded", 1, R(200, 1, kA, 0, 0), 15000},
                      DelayCase{"Mode1ConnectedRecorded", 1, R(200, 1, kA, 0, 1), 0},
                      DelayCase{"Mode1Ars", 1, R(102, 1, kA, 1), 15000},
                      DelayCase{"Mode1ArsRecordedIsOrdinary", 1, R(102, 1, kA, 1, 1), 0},
                      DelayCase{"Mode1Message", 1, R(1, 1), 0},
                      DelayCase{"Mode2Message", 2, R(1, 1), 15000},
                      DelayCase{"Mode2Ringing", 2, R(102, 1), 15000},
                      DelayCase{"Mode0Answered", 0, R(201, 1), 15000},
                      DelayCase{"Mode0Ringing", 0, R(102, 1), 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Same call, call end, recording ----------------------------------------------------------

TEST_F(ManagerTest, ReusedPopupRemovesTheOlderPopupOfTheSameCallAndCountsIt)
{
    FakeCidWindow* a = RecvReady(R(102, 1));
    FakeCidWindow* b = RecvReady(R(201, 2)); // 201: no same-call removal, count stays 0
    ASSERT_EQ(Listed(), (std::vector<FakeCidWindow*>{a, b}));
    ASSERT_EQ(a->m_nCallCnt, 1);
    ASSERT_EQ(b->m_nCallCnt, 0);
    const int aId = a->id;

    manager.OnRecvCid(MakeRequest(R(102, 3)));
    EXPECT_TRUE(factory.Deleted(aId));
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{b}));
    EXPECT_EQ(b->m_nCallResult, 102);
    EXPECT_EQ(b->m_nCallCnt, 2);
    EXPECT_EQ(b->Last(), (Placement{1538, 838, 382, 202})); // re-laid out
    const auto lines = LogMessages();
    EXPECT_TRUE(Contains(lines, L"Remove Same Cid, 102"));
    EXPECT_TRUE(Contains(lines, L"CCidManagerDlg::FindCidWindow() start. nCidDisplayMode=0, "
                                L"nCallResult=102, _strCallerPhone=07012345678, "
                                L"strCallerPhone=0101112222, nCallProcessType=0"));
    EXPECT_TRUE(Contains(lines, L"CCidManagerDlg::FindCidWindow() m_nCallResult=102, "
                                L"m_nCallProcessType=0"));
}

TEST_F(ManagerTest, NewPopupReplacesTheOlderPopupOfTheSameCall)
{
    FakeCidWindow* a = RecvReady(R(102, 1));
    a->m_nCallCnt = 4;
    const int aId = a->id;
    FakeCidWindow* b = Recv(R(102, 1, kA, 1, 1)); // recorded ARS: no reuse search
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(factory.Deleted(aId));
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{b}));
    EXPECT_EQ(b->m_nCallCnt, 5);
}

TEST_F(ManagerTest, AnsweredPopupIsNotRemovedAsSameCall)
{
    FakeCidWindow* a = RecvReady(R(102, 1));
    FakeCidWindow* b = Recv(R(201, 1, kA, 1, 1)); // ordinary 201: no removal
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(factory.Deleted(a));
    EXPECT_EQ(Listed().size(), 2u);
    EXPECT_EQ(b->m_nCallCnt, 0);
}

TEST_F(ManagerTest, SinglePopupModeRemovesEveryPopupBeforeANewOne)
{
    SetOption(&CidDisplayOptions::nCidType, 10);
    FakeCidWindow* a = NewCall(1);
    FakeCidWindow* b = NewCall(2);
    EXPECT_TRUE(factory.Deleted(a));
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{b}));
    EXPECT_EQ(b->Last(), (Placement{1638, 993, 282, 47}));
    EXPECT_EQ(b->m_nCallCnt, 1);
}

TEST_F(ManagerTest, CallEndedUpdatesTheOrdinaryPopupAndStartsItsTenSecondTimer)
{
    // Older popups of the same log number that are not ordinary call popups.
    FakeCidWindow* message = RecvReady(R(1, 70, L"0109"));
    FakeCidWindow* ars = RecvReady(R(102, 71, L"0108", 1));
    FakeCidWindow* call = RecvReady(R(200, 7));
    ASSERT_NE(call, nullptr);
    message->m_llLogNo = 7;
    ars->m_llLogNo = 7;
    call->m_nCloseTimer = kCidCloseTimerId;
    SetOption(&CidDisplayOptions::nEnable, 0);
    SetOption(&CidDisplayOptions::nEnableArsNoti, 0);

    Req ended = R(291, 7);
    manager.OnRecvCid(MakeRequest(ended));
    EXPECT_EQ(call->m_nCallResult, 291);
    EXPECT_EQ(call->m_strPostData, L"{\"n\":7}");
    EXPECT_EQ(call->showCidInfo.back(), 0);
    EXPECT_EQ(call->timerKills, (std::vector<int>{kCidCloseTimerId}));
    EXPECT_EQ(call->timerStarts, (std::vector<std::pair<int, int>>{{kCidCloseTimerId, 10000}}));
    EXPECT_EQ(call->m_nCloseTimer, kCidCloseTimerId);
    EXPECT_EQ(message->m_nCallResult, 1);
    EXPECT_EQ(ars->m_nCallResult, 102);
    EXPECT_TRUE(Contains(LogMessages(), L"백설 2"));

    // No popup of that call: nothing.
    manager.OnRecvCid(MakeRequest(R(291, 99)));
    EXPECT_EQ(factory.made.size(), 3u);
}

TEST_F(ManagerTest, RecordingResultReachesTheCallPopupUnlessItEnded)
{
    FakeCidWindow* call = RecvReady(R(200, 7));
    call->m_nCloseTimer = kCidCloseTimerId;
    manager.OnRecvRecord(L"{\"callLogNo\":7,\"recResult\":3}");
    EXPECT_EQ(call->recResults, (std::vector<int>{3}));
    EXPECT_EQ(call->timerKills, (std::vector<int>{kCidCloseTimerId}));
    EXPECT_EQ(call->m_nCloseTimer, 0);

    manager.OnRecvRecord(L"{\"callLogNo\":8,\"recResult\":3}"); // other call
    manager.OnRecvRecord(L"{\"callLogNo\":7,");                 // does not parse
    manager.OnRecvRecord(L"{\"callLogNo\":7,\"recResult\":[1]}"); // cannot be read
    EXPECT_EQ(call->recResults.size(), 1u);

    call->m_nCallResult = 291;
    manager.OnRecvRecord(L"{\"callLogNo\":7,\"recResult\":4}");
    EXPECT_EQ(call->recResults.size(), 1u);
}

// ---- Outgoing-call start popup --------------------------------------------------------------

TEST_F(ManagerTest, StartPopupIsHeldApartAndReplacedByTheNextOne)
{
    FakeCidWindow* listed = NewCall(1);
    const size_t nListedPlacements = listed->placements.size();
    SetOption(&CidDisplayOptions::nEnable, 0); // plays no part here

    Req start = R(0, 11);
    start.notiFlag = L"sTaRt";
    FakeCidWindow* first = Recv(start);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(manager.SendPopup(), first);
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{listed}));
    EXPECT_EQ(first->owner, nullptr);
    EXPECT_EQ(first->m_nCallResult, 0);
    EXPECT_EQ(first->m_nCloseType, 2);
    EXPECT_EQ(first->m_nCloseDelayMs, 3000);
    EXPECT_EQ(first->placements, (std::vector<Placement>{{0, 0, 382, 202}}));
    EXPECT_EQ(first->centers, 1);
    EXPECT_EQ(first->showCidInfo, (std::vector<int>{1}));
    EXPECT_TRUE(Contains(LogMessages(), L"call send popup strUrl: http://127.0.0.1:8470/cid, "
                                        L"strPostData: {\"n\":11}, strCallerPhone: 0101112222, "
                                        L"strTeleCode: , strCalleePhone: 07012345678, "
                                        L"strCallTime: 2026-12-10 10:00:00, llLogNo: 11"));

    // Its own close destroys only its window.
    manager.OnCidClose(first);
    EXPECT_EQ(first->destroys, 1);
    EXPECT_EQ(manager.SendPopup(), first);

    start.notiFlag = L"START";
    FakeCidWindow* second = Recv(start);
    EXPECT_TRUE(factory.Deleted(first));
    EXPECT_EQ(manager.SendPopup(), second);
    EXPECT_EQ(listed->placements.size(), nListedPlacements);
}

// ---- Closing and the working set ------------------------------------------------------------

TEST_F(ManagerTest, CloseTrimsOnlyWhenTheSetGrewByMoreThanTenPercentAndPopupsRemain)
{
    struct Case
    {
        uint32_t now;
        int popups; // listed before the close
        int trims;
    };
    const Case cases[] = {{1100, 2, 0}, {1101, 2, 1}, {5000, 1, 0}, {0, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        manager.RemoveAllCidWindow();
        trims = 0;
        workingSet = 1000;
        std::vector<FakeCidWindow*> made;
        for (int i = 0; i < c.popups; ++i) {
            made.push_back(NewCall(i));
        }
        ASSERT_EQ(manager.WorkingSetSize(), 1000u);
        workingSet = c.now;
        manager.OnCidClose(made.back());
        EXPECT_EQ(trims, c.trims);
    }
    EXPECT_TRUE(Contains(LogMessages(), L"CCidManagerDlg::DeleteCidWindow Working size init .1000 < 1101"));
}

TEST_F(ManagerTest, CloseOfAPopupThatIsGoneOnlyReLaysOut)
{
    FakeCidWindow* a = NewCall(1);
    FakeCidFactory other;
    auto stranger = other.NewCidWindow(nullptr, &manager);
    const size_t nBefore = a->placements.size();
    manager.OnCidClose(stranger.get());
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{a}));
    EXPECT_EQ(a->placements.size(), nBefore + 1);
}

TEST_F(ManagerTest, ProcessWorkingSetIsReadable)
{
    EXPECT_GT(CidProcessWorkingSet(), 0u);
}

// ---- Schedules -------------------------------------------------------------------------------

TEST_F(ManagerTest, ScheduleOpensItsOwnPopupWhateverTheOptions)
{
    SetOption(&CidDisplayOptions::nEnable, 0);
    SetOption(&CidDisplayOptions::nCidType, 24);
    manager.OnRecvSch(L"{\"schNo\":3,\"loginSession\":\"s\"}");
    manager.OnRecvSch(L"{\"schNo\":3,\"loginSession\":\"s\"}");
    ASSERT_EQ(Listed().size(), 2u);
    FakeCidWindow* p = Listed()[0];
    EXPECT_EQ(p->m_nPopupType, 43);
    EXPECT_EQ(p->m_nCallResult, -1);
    EXPECT_EQ(p->showSchInfo, 1);
    EXPECT_TRUE(p->showCidInfo.empty());
    EXPECT_EQ(p->m_strPostData, L"{\"schNo\":3,\"loginSession\":\"s\"}");
    EXPECT_EQ(p->Last(), (Placement{1468, 796, 452, 244}));
    EXPECT_EQ(Listed()[1]->Last(), (Placement{1468, 552, 452, 244}));
    EXPECT_TRUE(Contains(LogMessages(), L"{\"schNo\":3,\"loginSession\":\"s\"}"));

    manager.OnRecvSch(L"not json");
    EXPECT_EQ(Listed().size(), 2u);
}

// ---- Posted events ---------------------------------------------------------------------------

TEST_F(ManagerTest, PostedEventsReachTheirHandlers)
{
    PostCidRequest(&manager, MakeRequest(R(200, 7)));
    QCoreApplication::sendPostedEvents(&manager);
    ASSERT_EQ(Listed().size(), 1u);
    FakeCidWindow* p = Listed()[0];
    p->MarkReady();

    PostCidText(&manager, kCidRecordEvent, L"{\"callLogNo\":7,\"recResult\":2}");
    PostCidText(&manager, kCidScheduleEvent, L"{\"schNo\":1}");
    PostCidWindowEvent(&manager, kCidOpenEvent, p);
    QCoreApplication::sendPostedEvents(&manager);
    EXPECT_EQ(p->recResults, (std::vector<int>{2}));
    EXPECT_EQ(Listed().size(), 2u);
    EXPECT_EQ(p->m_nPopupType, 22);

    PostCidWindowEvent(&manager, kCidCloseEvent, p);
    QCoreApplication::sendPostedEvents(&manager);
    EXPECT_EQ(Listed().size(), 1u);
}

TEST_F(ManagerTest, EventsForAManagerThatIsGoneAreDroppedWithTheirPayload)
{
    FakeCidFactory other;
    auto* gone = new CCidManagerDlg(other, ClientConfig{});
    PostCidRequest(gone, MakeRequest(R(102, 1)));
    PostCidText(gone, kCidScheduleEvent, L"{}");
    delete gone;
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(other.made.empty());
}

} // namespace
