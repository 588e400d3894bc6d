#include "popups/CidEvents.h"
#include "FakeCidWindow.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <climits>

// What the popup manager does with input and notices it cannot trust: stale notices of freed
// popups, floods of notifications, page sizes and delays of any value, notices without a log
// number.

namespace {

class GuardTest : public ManagerFixture
{
};

// ---- Notices name their popup by serial, not by address ---------------------------------------

struct StaleCase
{
    const char* name;
    int nCidType;      // 10: the new call itself deletes the old popup
    QEvent::Type notice;
};

void PrintTo(const StaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class StaleNoticeTest : public GuardTest, public ::testing::WithParamInterface<StaleCase>
{
};

TEST_P(StaleNoticeTest, NoticeOfAFreedPopupLeavesTheNewPopupAtItsAddressAlone)
{
    const StaleCase& c = GetParam();
    SetOption(&CidDisplayOptions::nCidType, c.nCidType);
    factory.sameAddress = true;
    FakeCidWindow* a = NewCall(1);
    if (c.notice == kCidTypeChangeEvent) {
        PostCidTypeChange(&manager, a, CidTypeChange{24, 24, 600, 500});
    } else {
        PostCidWindowEvent(&manager, c.notice, a);
    }
    if (c.nCidType != 10) {
        manager.RemoveAllCidWindow(); // logout
    }
    FakeCidWindow* b = NewCall(2);
    ASSERT_TRUE(factory.Deleted(0));
    ASSERT_EQ(b, a) << "the fixture must put the new popup at the freed one's address";
    const int nType = b->m_nPopupType;
    const CidTypeSizeMap sizes = manager.TypeSizes();

    QCoreApplication::sendPostedEvents(&manager);
    EXPECT_FALSE(factory.Deleted(1));
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{b}));
    EXPECT_EQ(b->m_nPopupType, nType);
    EXPECT_EQ(manager.TypeSizes(), sizes);
    manager.RemoveAllCidWindow();
}

INSTANTIATE_TEST_SUITE_P(
    Notices, StaleNoticeTest,
    ::testing::Values(StaleCase{"CloseInSinglePopupMode", 10, kCidCloseEvent},
                      StaleCase{"CloseAfterLogout", 21, kCidCloseEvent},
                      StaleCase{"OpenAfterLogout", 21, kCidOpenEvent},
                      StaleCase{"TypeChangeAfterLogout", 21, kCidTypeChangeEvent}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GuardTest, EveryPopupGetsASerialOfItsOwn)
{
    FakeCidWindow* a = NewCall(1);
    FakeCidWindow* b = NewCall(2);
    manager.OnRecvSch(L"{}");
    Req start;
    start.notiFlag = L"START";
    FakeCidWindow* send = Recv(start);
    const std::set<CidSerial> serials{a->m_nSerial, b->m_nSerial, Listed()[2]->m_nSerial,
                                      send->m_nSerial};
    EXPECT_EQ(serials.size(), 4u);
    EXPECT_EQ(serials.count(0), 0u);
    EXPECT_EQ(manager.FindBySerial(b->m_nSerial), b);
    EXPECT_EQ(manager.FindBySerial(send->m_nSerial), send);
    EXPECT_EQ(manager.FindBySerial(0), nullptr);
}

// ---- At most kCidMaxOpenPopups popups ----------------------------------------------------------

TEST_F(GuardTest, FloodKeepsTheNewestPopupsAndClosesTheOldestWithALogLine)
{
    const int nOver = 3;
    for (int i = 0; i < static_cast<int>(kCidMaxOpenPopups) + nOver; ++i) {
        NewCall(i);
    }
    manager.OnRecvSch(L"{\"schNo\":1}"); // a schedule counts as well
    ASSERT_EQ(Listed().size(), kCidMaxOpenPopups);
    for (int i = 0; i <= nOver; ++i) {
        EXPECT_TRUE(factory.Deleted(i)) << i;
    }
    EXPECT_FALSE(factory.Deleted(nOver + 1));
    EXPECT_EQ(Listed().front(), factory.made[nOver + 1]);
    EXPECT_EQ(Listed().back()->m_nCallResult, -1);
    const std::wstring strLine =
        L"popup limit " + std::to_wstring(kCidMaxOpenPopups) + L" reached: the oldest popup closes";
    size_t nLines = 0;
    for (const std::wstring& line : LogMessages()) {
        nLines += line.find(strLine) != std::wstring::npos;
    }
    EXPECT_EQ(nLines, static_cast<size_t>(nOver + 1));
    EXPECT_TRUE(Contains(LogMessages(), L"the oldest popup closes, llLogNo: 100"));
}

TEST_F(GuardTest, OldestPopupClosedForTheLimitIsNotRemovedAgainAsTheSameCall)
{
    FakeCidWindow* a = RecvReady(R(102, 1));
    a->m_nCallCnt = 4;
    for (int i = 1; i < static_cast<int>(kCidMaxOpenPopups); ++i) {
        NewCall(i);
    }
    FakeCidWindow* b = Recv(R(102, 1, kA, 1, 1)); // recorded ARS: a new popup replacing a
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(factory.Deleted(0));
    EXPECT_EQ(Listed().size(), kCidMaxOpenPopups);
    EXPECT_EQ(Listed().front(), factory.made[1]);
    EXPECT_EQ(Listed().back(), b);
    EXPECT_EQ(b->m_nCallCnt, 5);
}

// ---- Sizes and delays from pages ---------------------------------------------------------------

struct SizeCase
{
    const char* name;
    CidSize asked;
    CidSize kept; // on the fixture's 1920 x 1040 work area
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.name;
}

class PageSizeTest : public GuardTest, public ::testing::WithParamInterface<SizeCase>
{
};

TEST_P(PageSizeTest, EveryWriterOfTheSizeTableKeepsSizesInTheWorkArea)
{
    const SizeCase& c = GetParam();
    manager.SetCidTypeSize(23, c.asked); // "cidTypeInfo" of a call notification
    EXPECT_EQ(manager.TypeSize(23), c.kept);

    CidOption option;
    option.nType = 24;
    option.nWidth = c.asked.cx;
    option.nHeight = c.asked.cy;
    manager.SetCidOption(option);
    EXPECT_EQ(manager.TypeSize(24), c.kept);

    Json::Value ready(Json::objectValue);
    ready["cid_typeSize_10"]["width"] = c.asked.cx;
    ready["cid_typeSize_10"]["height"] = c.asked.cy;
    ASSERT_TRUE(manager.ApplyDocumentReadyTypeSizes(ready));
    EXPECT_EQ(manager.TypeSize(10), c.kept);

    FakeCidWindow* p = NewCall(1);
    manager.OnCidTypeChange(p, CidTypeChange{22, 22, c.asked.cx, c.asked.cy});
    EXPECT_EQ(manager.TypeSize(22), c.kept);
    EXPECT_EQ(p->Last().cx, c.kept.cx);
    EXPECT_EQ(p->Last().cy, c.kept.cy);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PageSizeTest,
    ::testing::Values(SizeCase{"Ordinary", {500, 260}, {500, 260}},
                      SizeCase{"WholeScreen", {1920, 1040}, {1920, 1040}},
                      SizeCase{"LargerThanTheScreen", {5000, 3000}, {1920, 1040}},
                      SizeCase{"IntMax", {INT_MAX, INT_MAX}, {1920, 1040}},
                      SizeCase{"Zero", {0, 0}, {1, 1}},
                      SizeCase{"Negative", {-5, INT_MIN}, {1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GuardTest, MissingRowIsPlacedOneByOnePixelInsideTheWorkArea)
{
    SetOption(&CidDisplayOptions::nCidType, 55); // no row: the lookup adds 0 x 0
    EXPECT_EQ(NewCall(1)->Last(), (Placement{1919, 1039, 1, 1}));
}

TEST_F(GuardTest, HugeCloseTimesAreBoundedNotWrapped)
{
    const struct
    {
        int seconds;
        int delayMs;
    } cases[] = {{15, 15000},
                 {kCidMaxCloseDelaySeconds, kCidMaxCloseDelaySeconds * 1000},
                 {2147484, kCidMaxCloseDelaySeconds * 1000}, // x 1000 passes INT_MAX
                 {INT_MAX, kCidMaxCloseDelaySeconds * 1000},
                 {-1, 0},
                 {INT_MIN, 0}};
    SetOption(&CidDisplayOptions::nAutoCloseType, 2);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        SetOption(&CidDisplayOptions::nAutoCloseTime, c.seconds);
        FakeCidWindow* p = NewCall(++n);
        EXPECT_EQ(p->m_nCloseDelayMs, c.delayMs);
    }

    // A re-layout that re-times popups bounds the delay the same way.
    manager.RemoveAllCidWindow();
    SetOption(&CidDisplayOptions::nAutoCloseType, 1);
    FakeCidWindow* p = NewCall(20);
    CidOption option;
    option.nType = 21;
    option.nAutoCloseType = 2;
    option.nAutoCloseTime = INT_MAX;
    manager.SetCidOption(option);
    ASSERT_FALSE(p->timerStarts.empty());
    EXPECT_EQ(p->timerStarts.back(),
              (std::pair<int, int>{kCidCloseTimerId, kCidMaxCloseDelaySeconds * 1000}));
}

// ---- Schedule popups are no call's popups ----------------------------------------------------

TEST_F(GuardTest, NoticesWithoutALogNumberLeaveSchedulePopupsAlone)
{
    manager.OnRecvSch(L"{\"schNo\":1}");
    FakeCidWindow* sch = Listed()[0];
    sch->MarkReady();

    Req ended = R(291, 0); // no "callLogNo"
    manager.OnRecvCid(MakeRequest(ended));
    manager.OnRecvRecord(L"{\"recResult\":2}");
    Req answered = R(201, 0, L"0109");
    FakeCidWindow* call = Recv(answered);

    EXPECT_EQ(sch->m_nCallResult, -1);
    EXPECT_TRUE(sch->showCidInfo.empty());
    EXPECT_TRUE(sch->recResults.empty());
    EXPECT_TRUE(sch->timerStarts.empty());
    ASSERT_NE(call, nullptr); // a popup of its own, not the schedule popup reused
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{sch, call}));
}

TEST_F(GuardTest, PopupOfTheNotificationsOwnTypeIsPlacedInThatSizeAtOnce)
{
    manager.SetCidTypeSize(23, {500, 260});
    Req r = R(102, 1);
    r.cidType = 23;
    FakeCidWindow* p = Recv(r);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_nPopupType, 23);
    EXPECT_EQ(p->Last(), (Placement{1420, 780, 500, 260}));
}

// ---- Posted notices carry a page's text --------------------------------------------------------

TEST_F(GuardTest, HostileTextInPostedNoticesLeavesTheManagerWorking)
{
    const std::wstring deep = std::wstring(100000, L'[') + std::wstring(100000, L']');
    const std::wstring hostile[] = {
        L"",
        L"not json",
        deep,
        L"[]",
        L"true",
        L"{\"callLogNo\":\"twelve\",\"recResult\":[1]}",
        L"{\"callLogNo\":1e999,\"recResult\":-99999999999999999999}",
        L"{\"loginSession\":{\"a\":1},\"schInfo\":7}",
        std::wstring(1 << 20, L'x'),
        L"{\"msg\":\"\\ud800\"}",
    };
    NewCall(1);
    for (const std::wstring& text : hostile) {
        PostCidText(&manager, kCidRecordEvent, text);
        PostCidText(&manager, kCidScheduleEvent, text);
        QCoreApplication::sendPostedEvents(&manager);
    }
    // Still deciding: a new call opens its popup beside the old one.
    const size_t nBefore = Listed().size();
    EXPECT_NE(NewCall(2), nullptr);
    EXPECT_EQ(Listed().size(), nBefore + 1);
}

} // namespace
