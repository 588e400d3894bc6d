#include "logic/CidPlacement.h"
#include "FakeCidWindow.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>

namespace {

// ---- The arithmetic alone, on any screen -------------------------------------------------------

struct CornerCase
{
    const char* name;
    int nStartPos;
    std::vector<int> columns; // x of each column, in filling order
    std::vector<int> rows;    // y of each popup in a column, in filling order
};

void PrintTo(const CornerCase& c, std::ostream* os)
{
    *os << c.name;
}

class CornerSequenceTest : public ::testing::TestWithParam<CornerCase>
{
};

// The 26 top-left corners placed on a 1920 x 1040 work area at (left, top).
std::vector<CidPoint> Sequence(int nStartPos, int left, int top)
{
    CidPlacementState state;
    const CidSize size{382, 202};
    std::vector<CidPoint> placed;
    for (int i = 0; i < 26; ++i) {
        if (i == 0) {
            CidResetAtCorner(state, {left, top, left + 1920, top + 1040}, nStartPos, size);
        } else {
            CidStackNext(state, nStartPos, size);
        }
        placed.push_back(state.ptCidCurrent);
        CidRecordPlaced(state, size);
    }
    return placed;
}

// 1920 x 1040 work area, 382 x 202 popups: five columns of five, the 26th back at the start.
TEST_P(CornerSequenceTest, FillsColumnsThenWrapsToTheStart)
{
    const CornerCase& c = GetParam();
    const std::vector<CidPoint> placed = Sequence(c.nStartPos, 0, 0);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(placed[i], (CidPoint{c.columns[i / 5], c.rows[i % 5]})) << "popup " << i + 1;
    }
    EXPECT_EQ(placed[25], placed[0]);
}

// A work area beside a panel on the left or on top, or on a second screen: the same stack,
// moved with the work area, every column starting at the first one's edge.
TEST_P(CornerSequenceTest, WorkAreaAwayFromTheOriginMovesTheWholeStack)
{
    const CornerCase& c = GetParam();
    const CidPoint offsets[] = {{60, 0}, {0, 30}, {60, 30}, {-1920, 0}, {1920, 1080}, {0, -200}};
    for (const CidPoint& offset : offsets) {
        SCOPED_TRACE(testing::Message() << "work area at (" << offset.x << ", " << offset.y << ")");
        const std::vector<CidPoint> placed = Sequence(c.nStartPos, offset.x, offset.y);
        for (int i = 0; i < 25; ++i) {
            EXPECT_EQ(placed[i], (CidPoint{c.columns[i / 5] + offset.x, c.rows[i % 5] + offset.y}))
                << "popup " << i + 1;
        }
        EXPECT_EQ(placed[25], placed[0]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corners, CornerSequenceTest,
    ::testing::Values(
        CornerCase{"RightBottom", 1, {1538, 1156, 774, 392, 10}, {838, 636, 434, 232, 30}},
        CornerCase{"RightTop", 2, {1538, 1156, 774, 392, 10}, {0, 202, 404, 606, 808}},
        CornerCase{"LeftBottom", 3, {0, 382, 764, 1146, 1528}, {838, 636, 434, 232, 30}},
        CornerCase{"LeftTop", 4, {0, 382, 764, 1146, 1528}, {0, 202, 404, 606, 808}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CidPlacementArithmetic, WorkAreaForOnePopupKeepsEveryPopupAtTheStart)
{
    for (int nPos = 1; nPos <= 4; ++nPos) {
        CidPlacementState state;
        CidResetAtCorner(state, {0, 0, 500, 300}, nPos, {382, 202});
        const CidPoint start = state.ptCidCurrent;
        CidRecordPlaced(state, {382, 202});
        for (int i = 0; i < 3; ++i) {
            CidStackNext(state, nPos, {382, 202});
            EXPECT_EQ(state.ptCidCurrent, start) << "corner " << nPos;
            CidRecordPlaced(state, {382, 202});
        }
    }
}

TEST(CidPlacementArithmetic, ResetStartsAtTheWorkAreasCorner)
{
    // A work area beside a panel on the left and on top: every corner is the work area's.
    const CidRect work{60, 30, 1920, 1080};
    const struct
    {
        int nPos;
        CidPoint start;
    } cases[] = {{1, {1538, 878}}, {2, {1538, 30}}, {3, {60, 878}}, {4, {60, 30}}};
    for (const auto& c : cases) {
        CidPlacementState state;
        CidResetAtCorner(state, work, c.nPos, {382, 202});
        EXPECT_EQ(state.ptCidStart, c.start) << c.nPos;
        EXPECT_EQ(state.ptCidCurrent, c.start);
        EXPECT_EQ(state.sizeDesktop, (CidSize{1860, 1050}));
    }
}

TEST(CidPlacementArithmetic, UnknownCornerKeepsThePoints)
{
    CidPlacementState state;
    state.ptCidStart = {5, 6};
    state.ptCidCurrent = {7, 8};
    CidResetAtCorner(state, {0, 0, 1920, 1040}, 9, {382, 202});
    EXPECT_EQ(state.ptCidStart, (CidPoint{5, 6}));
    CidStackNext(state, 9, {382, 202});
    EXPECT_EQ(state.ptCidCurrent, (CidPoint{5, 6}));
}

TEST(CidPlacementArithmetic, PageSizesAreClampedToTheWorkArea)
{
    const CidRect work{60, 30, 1920, 1080};
    const struct
    {
        CidSize asked;
        CidRect work;
        CidSize kept;
    } cases[] = {{{382, 202}, work, {382, 202}},
                 {{1860, 1050}, work, {1860, 1050}},
                 {{1861, 5000}, work, {1860, 1050}},
                 {{INT_MAX, INT_MAX}, work, {1860, 1050}},
                 {{0, -1}, work, {1, 1}},
                 {{INT_MIN, 7}, work, {1, 7}},
                 // No work area known: only the overflow bound.
                 {{INT_MAX, 500}, {}, {kCidMaxSide, 500}},
                 {{0, 0}, {}, {1, 1}},
                 {{300, 300}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {300, 300}}};
    for (const auto& c : cases) {
        EXPECT_EQ(CidClampSize(c.asked, c.work), c.kept) << c.asked.cx << " x " << c.asked.cy;
    }
}

TEST(CidPlacementArithmetic, StackNearTheLimitsOfIntDoesNotWrap)
{
    // Far edges: the sums of the next placement go past INT_MAX in 32 bits. Two columns of
    // two fit; the fifth popup is back at the start.
    const CidRect work{INT_MAX - 1000, INT_MAX - 1000, INT_MAX, INT_MAX};
    for (int nPos = 1; nPos <= 4; ++nPos) {
        CidPlacementState state;
        CidResetAtCorner(state, work, nPos, {400, 400});
        const CidPoint start = state.ptCidCurrent;
        std::set<std::pair<int, int>> seen;
        for (int i = 0; i < 4; ++i) {
            if (i > 0) {
                CidStackNext(state, nPos, {400, 400});
            }
            const CidPoint pt = state.ptCidCurrent;
            EXPECT_GE(pt.x, work.left) << nPos;
            EXPECT_GE(pt.y, work.top) << nPos;
            EXPECT_LE(pt.x, work.right - 400) << nPos;
            EXPECT_LE(pt.y, work.bottom - 400) << nPos;
            seen.insert({pt.x, pt.y});
            CidRecordPlaced(state, {400, 400});
        }
        EXPECT_EQ(seen.size(), 4u) << nPos;
        CidStackNext(state, nPos, {400, 400});
        EXPECT_EQ(state.ptCidCurrent, start) << nPos;
    }
}

// ---- Through the manager, with fake popups ----------------------------------------------------

class PlacementTest : public ManagerFixture
{
};

TEST_F(PlacementTest, RightBottomSequenceOfNewPopups)
{
    std::vector<Placement> placed;
    for (int i = 0; i < 26; ++i) {
        placed.push_back(NewCall(i)->Last());
    }
    EXPECT_EQ(placed[0], (Placement{1538, 838, 382, 202}));
    EXPECT_EQ(placed[1], (Placement{1538, 636, 382, 202}));
    EXPECT_EQ(placed[4], (Placement{1538, 30, 382, 202}));
    EXPECT_EQ(placed[5], (Placement{1156, 838, 382, 202}));
    EXPECT_EQ(placed[24], (Placement{10, 30, 382, 202}));
    EXPECT_EQ(placed[25], (Placement{1538, 838, 382, 202}));

    const auto lines = LogMessages();
    EXPECT_TRUE(Contains(lines, L"CCIDDlgManager::PositionCidWindow() bInitPosition ==> rcDesktop -> "
                                L"left=0, top=0, right=1920, bottom=1040, width()=1920, "
                                L"height()=1040, nDpiY=96"));
    EXPECT_TRUE(Contains(lines, L"old Position => m_ptCidLast=(1538, 838), m_ptCidCurrent=(1538, "
                                L"838), m_sizeCidLast=(382, 202), m_sizeDesktop=(1920, 1040)"));
    EXPECT_TRUE(Contains(lines, L"신규 Position => m_nCidStartPos=1, m_ptCidStart=(1538, 838), "
                                L"m_ptCidCurrent=(1156, 838), m_sizeCid=(382, 202)"));
}

TEST_F(PlacementTest, EveryCornerOfAWorkAreaBesideAPanelTakesItsEdges)
{
    work = {60, 30, 1980, 1070}; // panels on the left and on top
    const struct
    {
        int nPos;
        Placement first;
        Placement sixth; // the first of the second column
    } cases[] = {{kCidPosRightBottom, {1598, 868, 382, 202}, {1216, 868, 382, 202}},
                 {kCidPosRightTop, {1598, 30, 382, 202}, {1216, 30, 382, 202}},
                 {kCidPosLeftBottom, {60, 868, 382, 202}, {442, 868, 382, 202}},
                 {kCidPosLeftTop, {60, 30, 382, 202}, {442, 30, 382, 202}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nPos);
        manager.RemoveAllCidWindow();
        SetOption(&CidDisplayOptions::nCidStartPos, c.nPos);
        std::vector<Placement> placed;
        for (int i = 0; i < 6; ++i) {
            placed.push_back(NewCall(i)->Last());
        }
        EXPECT_EQ(placed[0], c.first);
        EXPECT_EQ(placed[5], c.sixth);
    }
}

TEST_F(PlacementTest, LeftTopRowsAndColumnsOfNewPopups)
{
    SetOption(&CidDisplayOptions::nCidStartPos, kCidPosLeftTop);
    std::vector<Placement> placed;
    for (int i = 0; i < 26; ++i) {
        placed.push_back(NewCall(i)->Last());
    }
    EXPECT_EQ(placed[4], (Placement{0, 808, 382, 202}));
    EXPECT_EQ(placed[5], (Placement{382, 0, 382, 202}));
    EXPECT_EQ(placed[20], (Placement{1528, 0, 382, 202}));
    EXPECT_EQ(placed[25], (Placement{0, 0, 382, 202}));
}

TEST_F(PlacementTest, OverlapLaysSameStateOnTheOlderPopupAndStacksOthers)
{
    SetOption(&CidDisplayOptions::nOverlap, 1);
    FakeCidWindow* a = NewCall(1, 102);
    FakeCidWindow* b = NewCall(2, 102);
    FakeCidWindow* c = NewCall(3, 109);
    FakeCidWindow* d = NewCall(4, 109);
    EXPECT_EQ(a->Last(), (Placement{1538, 838, 382, 202}));
    EXPECT_EQ(b->Last(), a->Last());
    EXPECT_EQ(c->Last(), (Placement{1538, 636, 382, 202}));
    EXPECT_EQ(d->Last(), c->Last());
    // Overlap placements leave the stack where it was.
    EXPECT_EQ(manager.PlacementState().ptCidLast, (CidPoint{1538, 636}));
}

TEST_F(PlacementTest, ClosingTheMiddleOfThreeReplacesTheOthersFromTheCorner)
{
    FakeCidWindow* a = NewCall(1);
    FakeCidWindow* b = NewCall(2);
    FakeCidWindow* c = NewCall(3);
    ASSERT_EQ(c->Last(), (Placement{1538, 434, 382, 202}));
    manager.OnCidClose(b);
    EXPECT_TRUE(factory.Deleted(b));
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{a, c}));
    EXPECT_EQ(a->Last(), (Placement{1538, 838, 382, 202}));
    EXPECT_EQ(c->Last(), (Placement{1538, 636, 382, 202}));
    EXPECT_EQ(a->sizeChanges, (std::vector<int>{21}));
    EXPECT_EQ(c->invalidates, 1);
}

TEST_F(PlacementTest, HiddenPopupIsSkippedAndTheFirstVisibleStillResets)
{
    Req first;
    first.caller = L"0100";
    FakeCidWindow* hidden = Recv(first);
    FakeCidWindow* b = NewCall(2);
    FakeCidWindow* c = NewCall(3);
    FakeCidWindow* d = NewCall(4);
    const size_t nHiddenPlacements = hidden->placements.size();
    manager.OnCidClose(d);
    EXPECT_EQ(hidden->placements.size(), nHiddenPlacements);
    EXPECT_TRUE(hidden->sizeChanges.empty());
    EXPECT_EQ(b->Last(), (Placement{1538, 838, 382, 202}));
    EXPECT_EQ(c->Last(), (Placement{1538, 636, 382, 202}));
}

TEST_F(PlacementTest, TypeChangeToLargeRetypesStandardScheduleAndArsPopups)
{
    FakeCidWindow* standard = NewCall(1);
    manager.OnRecvSch(L"{\"schNo\":1}");
    FakeCidWindow* schedule = factory.made.back();
    schedule->MarkReady();
    Req ars;
    ars.caller = L"0105";
    ars.logNo = 5;
    ars.procType = 1;
    ars.cidType = 31;
    FakeCidWindow* arsPopup = RecvReady(ars);
    ASSERT_EQ(schedule->m_nPopupType, 41);
    ASSERT_EQ(arsPopup->m_nPopupType, 31);
    ASSERT_EQ(arsPopup->Last(), (Placement{1538, 472, 382, 122})); // 838-244-122

    ASSERT_TRUE(manager.ApplyCidOptChange(L"{\"type\":23,\"typeSize\":{\"width\":452,\"height\":232}}"));
    EXPECT_EQ(standard->m_nPopupType, 23);
    EXPECT_EQ(schedule->m_nPopupType, 43);
    EXPECT_EQ(arsPopup->m_nPopupType, 33);
    EXPECT_EQ(standard->Last(), (Placement{1468, 808, 452, 232}));
    EXPECT_EQ(schedule->Last(), (Placement{1468, 564, 452, 244}));
    EXPECT_EQ(arsPopup->Last(), (Placement{1468, 442, 452, 122}));
    EXPECT_EQ(standard->sizeChanges.back(), 23);
    EXPECT_EQ(schedule->sizeChanges.back(), 43);
    EXPECT_EQ(arsPopup->sizeChanges.back(), 23);
}

TEST_F(PlacementTest, TypeTenLeavesOnlyTheNewestAtTheCorner)
{
    FakeCidWindow* a = NewCall(1);
    FakeCidWindow* b = NewCall(2);
    FakeCidWindow* c = NewCall(3);
    ASSERT_TRUE(manager.ApplyCidOptChange(L"{\"type\":10,\"typeSize\":{\"width\":282,\"height\":47}}"));
    EXPECT_TRUE(factory.Deleted(a));
    EXPECT_TRUE(factory.Deleted(b));
    EXPECT_EQ(Listed(), (std::vector<FakeCidWindow*>{c}));
    EXPECT_EQ(c->Last(), (Placement{1638, 993, 282, 47}));
    EXPECT_EQ(c->m_nPopupType, 10);
}

TEST_F(PlacementTest, OpenedFormsStackWithTheirTallerSize)
{
    struct Case
    {
        const char* name;
        int nStartPos;
        int nType;
        Placement a, b, c;
    };
    const Case cases[] = {
        {"RightBottom21", 1, 21, {1538, 838, 382, 202}, {1538, 480, 382, 358}, {1538, 278, 382, 202}},
        {"RightBottom23", 1, 23, {1468, 808, 452, 232}, {1468, 396, 452, 412}, {1468, 164, 452, 232}},
        {"LeftTop21", 4, 21, {0, 0, 382, 202}, {0, 202, 382, 358}, {0, 560, 382, 202}},
        {"RightTop23", 2, 23, {1468, 0, 452, 232}, {1468, 232, 452, 412}, {1468, 644, 452, 232}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        manager.RemoveAllCidWindow();
        SetOption(&CidDisplayOptions::nCidStartPos, k.nStartPos);
        SetOption(&CidDisplayOptions::nCidType, k.nType);
        FakeCidWindow* a = NewCall(1);
        FakeCidWindow* b = NewCall(2);
        FakeCidWindow* c = NewCall(3);
        manager.OnCidOpen(b);
        EXPECT_EQ(b->m_nPopupType, k.nType + 1);
        EXPECT_EQ(a->Last(), k.a);
        EXPECT_EQ(b->Last(), k.b);
        EXPECT_EQ(c->Last(), k.c);
        EXPECT_EQ(a->m_nOverlapMark + b->m_nOverlapMark + c->m_nOverlapMark, 0);
    }
}

// Overlap at a bottom corner: the opened popup lies on the older popup of its state with the
// bottom edges aligned, and the stack makes room above it.
TEST_F(PlacementTest, OpenedPopupInOverlapModeAtABottomCorner)
{
    SetOption(&CidDisplayOptions::nOverlap, 1);
    FakeCidWindow* a = NewCall(1, 102);
    FakeCidWindow* b = NewCall(2, 102);
    FakeCidWindow* c = NewCall(3, 109);
    ASSERT_EQ(b->Last(), a->Last());
    manager.OnCidOpen(b);
    EXPECT_EQ(a->m_nOverlapMark, 1);
    EXPECT_EQ(b->m_nOverlapMark, 0);
    EXPECT_EQ(b->m_nPopupType, 22);
    EXPECT_EQ(a->Last(), (Placement{1538, 838, 382, 202}));
    EXPECT_EQ(b->Last(), (Placement{1538, 682, 382, 358})); // ends where a ends
    EXPECT_EQ(c->Last(), (Placement{1538, 480, 382, 202})); // clear of b

    // A later base-form popup of that state lies on a, under the opened one.
    FakeCidWindow* d = NewCall(4, 102);
    EXPECT_EQ(d->Last(), (Placement{1538, 838, 382, 202}));

    // The opened popup closes: a gives up its mark, and the stack closes up.
    manager.OnCidClose(b);
    EXPECT_EQ(a->m_nOverlapMark, 0);
    EXPECT_EQ(a->Last(), (Placement{1538, 838, 382, 202}));
    EXPECT_EQ(c->Last(), (Placement{1538, 636, 382, 202}));
}

TEST_F(PlacementTest, BaseFormOnAnOpenedPopupKeepsBottomEdgesAligned)
{
    SetOption(&CidDisplayOptions::nOverlap, 1);
    SetOption(&CidDisplayOptions::nCidType, 23);
    FakeCidWindow* a = NewCall(1, 102);
    manager.OnCidOpen(a); // lies on nothing: carries the mark itself
    EXPECT_EQ(a->m_nOverlapMark, 1);
    EXPECT_EQ(a->Last(), (Placement{1468, 628, 452, 412}));
    FakeCidWindow* b = NewCall(2, 102);
    EXPECT_EQ(b->Last(), (Placement{1468, 808, 452, 232}));
}

TEST_F(PlacementTest, OpenedPopupInOverlapModeAtATopCorner)
{
    SetOption(&CidDisplayOptions::nOverlap, 1);
    SetOption(&CidDisplayOptions::nCidStartPos, kCidPosRightTop);
    FakeCidWindow* a = NewCall(1, 102);
    FakeCidWindow* b = NewCall(2, 102);
    manager.OnCidOpen(b);
    EXPECT_EQ(a->m_nOverlapMark, 1);
    EXPECT_EQ(a->Last(), (Placement{1538, 0, 382, 202}));
    EXPECT_EQ(b->Last(), (Placement{1538, 0, 382, 358}));
}

TEST_F(PlacementTest, OpenForAPopupThatIsGonePlacesTheListedOnesWithoutPairing)
{
    SetOption(&CidDisplayOptions::nOverlap, 1);
    FakeCidWindow* a = NewCall(1, 102);
    FakeCidWindow* b = NewCall(2, 102);
    FakeCidFactory other;
    auto stranger = other.NewCidWindow(nullptr, &manager);
    const size_t nBefore = a->placements.size();
    manager.OnCidOpen(stranger.get());
    EXPECT_EQ(a->placements.size(), nBefore + 1);
    EXPECT_EQ(a->m_nOverlapMark + b->m_nOverlapMark, 0);
}

TEST_F(PlacementTest, VisiblePopupPlacedWithoutTypeKeepsItsWindowSize)
{
    FakeCidWindow* a = NewCall(1);
    a->rect = {100, 100, 500, 400};
    manager.PositionCidWindow(a, 1, -1);
    EXPECT_EQ(a->Last(), (Placement{1520, 740, 400, 300}));
}

TEST_F(PlacementTest, DefaultScreenIsThePrimaryScreensWorkArea)
{
    FakeCidFactory other;
    CCidManagerDlg plain(other, ClientConfig{});
    plain.Create();
    plain.SetWorkingSetHooks([] { return 0u; }, [] {});
    Req r;
    plain.OnRecvCid(MakeRequest(r));
    ASSERT_EQ(other.made.size(), 1u);
    const QRect rc = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(other.made[0]->Last(),
              (Placement{rc.x() + rc.width() - 382, rc.y() + rc.height() - 202, 382, 202}));
}

} // namespace
