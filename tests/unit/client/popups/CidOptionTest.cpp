#include "logic/CidOption.h"
#include "FakeCidWindow.h"
#include "logic/JsonText.h"

#include <gtest/gtest.h>

namespace {

Json::Value Parse(const std::string& text)
{
    Json::Value root;
    EXPECT_TRUE(ParseJsonTextA(text, root)) << text;
    return root;
}

struct OptionView
{
    int nEnable;
    int nEnableArsNoti;
    int nType;
    int nAutoCloseType;
    int nAutoCloseTime;
    int nOverlap;
    int nStartPos;
    CidSize typeSize;
    bool operator==(const OptionView&) const = default;
};

std::ostream& operator<<(std::ostream& os, const OptionView& v)
{
    return os << "enable=" << v.nEnable << " ars=" << v.nEnableArsNoti << " type=" << v.nType
              << " closeType=" << v.nAutoCloseType << " closeTime=" << v.nAutoCloseTime
              << " overlap=" << v.nOverlap << " pos=" << v.nStartPos << " size=" << v.typeSize.cx
              << "x" << v.typeSize.cy;
}

OptionView View(CCidManagerDlg& m)
{
    const CidDisplayOptions& o = m.Options();
    return {o.nEnable,        o.nEnableArsNoti, o.nCidType,     o.nAutoCloseType,
            o.nAutoCloseTime, o.nOverlap,       o.nCidStartPos, m.TypeSize(o.nCidType)};
}

class CidOptionTest : public ManagerFixture
{
};

TEST_F(CidOptionTest, ManagerStartsWithItsInitialOptionsAndNineSizeRows)
{
    EXPECT_EQ(View(manager), (OptionView{1, 1, 21, 1, 20, 0, 1, {382, 202}}));
    const CidTypeSizeMap expected{{10, {282, 47}},  {21, {382, 202}}, {22, {382, 358}},
                                  {23, {452, 232}}, {24, {452, 412}}, {31, {382, 122}},
                                  {33, {452, 122}}, {41, {382, 244}}, {43, {452, 244}}};
    EXPECT_EQ(manager.TypeSizes(), expected);
    // A lookup of a missing code adds it as 0 x 0.
    EXPECT_EQ(manager.TypeSize(55), (CidSize{0, 0}));
    EXPECT_EQ(manager.TypeSizes().count(55), 1u);
}

struct ChangeCase
{
    const char* name;
    std::string json;
    OptionView expected; // starting from position 3 (LB)
};

void PrintTo(const ChangeCase& c, std::ostream* os)
{
    *os << c.name;
}

class OptionChangeTest : public CidOptionTest, public ::testing::WithParamInterface<ChangeCase>
{
};

TEST_P(OptionChangeTest, AppliesWithTheChangeDefaults)
{
    SetOption(&CidDisplayOptions::nCidStartPos, 3);
    ASSERT_TRUE(manager.ApplyCidOptChange(AnsiToWide(GetParam().json)));
    EXPECT_EQ(View(manager), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, OptionChangeTest,
    ::testing::Values(
        ChangeCase{"OnlyEnableZero", R"({"enable":0})", {0, 1, 0, 0, 0, 0, 3, {382, 202}}},
        ChangeCase{"Full",
                   R"({"enable":1,"enableArsNoti":0,"type":23,"typeSize":{"width":500,"height":260},
                       "autoCloseType":2,"autoCloseTime":7,"overlap":1,"position":"RT"})",
                   {1, 0, 23, 2, 7, 1, 2, {500, 260}}},
        ChangeCase{"LowerCasePositionIgnored", R"({"type":21,"position":"rb"})",
                   {1, 1, 21, 0, 0, 0, 3, {382, 202}}},
        ChangeCase{"PositionLT", R"({"type":21,"position":"LT"})", {1, 1, 21, 0, 0, 0, 4, {382, 202}}},
        ChangeCase{"PositionRB", R"({"type":21,"position":"RB"})", {1, 1, 21, 0, 0, 0, 1, {382, 202}}},
        ChangeCase{"TypeSizeNotObject", R"({"type":23,"typeSize":5})", {1, 1, 23, 0, 0, 0, 3, {382, 202}}},
        // A missing side reads 0 and is kept at 1 pixel.
        ChangeCase{"TypeSizeOnlyWidth", R"({"type":23,"typeSize":{"width":470}})",
                   {1, 1, 23, 0, 0, 0, 3, {470, 1}}},
        // Page sizes stay within the fixture's 1920 x 1040 work area.
        ChangeCase{"TypeSizeLargerThanTheScreen",
                   R"({"type":23,"typeSize":{"width":2147483647,"height":99999}})",
                   {1, 1, 23, 0, 0, 0, 3, {1920, 1040}}},
        ChangeCase{"TypeSizeNegative",
                   R"({"type":23,"typeSize":{"width":-2147483648,"height":-1}})",
                   {1, 1, 23, 0, 0, 0, 3, {1, 1}}},
        ChangeCase{"RealsTruncateBoolsCount", R"({"type":21.9,"enable":true,"overlap":false})",
                   {1, 1, 21, 0, 0, 0, 3, {382, 202}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CidOptionTest, UnparsableOrUnconvertibleChangeLeavesEveryOption)
{
    SetOption(&CidDisplayOptions::nCidStartPos, 2);
    const OptionView before = View(manager);
    EXPECT_FALSE(manager.ApplyCidOptChange(L"{\"enable\":0,"));
    EXPECT_FALSE(manager.ApplyCidOptChange(L""));
    // "enable" converts, "type" does not: nothing is applied, not even "enable".
    EXPECT_FALSE(manager.ApplyCidOptChange(L"{\"enable\":0,\"type\":[1]}"));
    EXPECT_EQ(View(manager), before);
    EXPECT_TRUE(Contains(LogMessages(), L"json value error."));
}

TEST_F(CidOptionTest, LoginReadsArsSwitchFromTopLevelAndDefaultsCloseTimeTo20)
{
    struct Case
    {
        const char* name;
        std::string json;
        int nEnableArsNoti;
        int nAutoCloseTime;
    };
    const Case cases[] = {
        {"ArsZeroAtTopLevel", R"({"enableArsNoti":0,"cidOpt":{"type":21}})", 0, 20},
        {"ArsZeroOnlyInsideCidOpt", R"({"cidOpt":{"type":21,"enableArsNoti":0}})", 1, 20},
        {"CloseTimeGiven", R"({"cidOpt":{"type":21,"autoCloseTime":9}})", 1, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetOption(&CidDisplayOptions::nEnableArsNoti, 5);
        SetOption(&CidDisplayOptions::nAutoCloseTime, 5);
        EXPECT_TRUE(manager.ApplyLoginCidOption(Parse(c.json)));
        EXPECT_EQ(manager.Options().nEnableArsNoti, c.nEnableArsNoti);
        EXPECT_EQ(manager.Options().nAutoCloseTime, c.nAutoCloseTime);
    }
    // The change message has no such default.
    ASSERT_TRUE(manager.ApplyCidOptChange(L"{\"type\":21}"));
    EXPECT_EQ(manager.Options().nAutoCloseTime, 0);
}

TEST_F(CidOptionTest, LoginWithoutCidOptObjectTouchesNothing)
{
    SetOption(&CidDisplayOptions::nCidStartPos, 4);
    const OptionView before = View(manager);
    for (const char* json : {R"({"enableArsNoti":0})", R"({"enableArsNoti":0,"cidOpt":"x"})",
                             R"({"cidOpt":[{"enable":0}]})"}) {
        EXPECT_FALSE(manager.ApplyLoginCidOption(Parse(json))) << json;
    }
    EXPECT_EQ(View(manager), before);
}

TEST_F(CidOptionTest, LoginOptionsRoundTrip)
{
    ASSERT_TRUE(manager.ApplyLoginCidOption(Parse(
        R"({"enableArsNoti":0,"cidOpt":{"enable":0,"type":10,"typeSize":{"width":300,"height":50},
            "autoCloseType":2,"overlap":1,"position":"LB"}})")));
    EXPECT_EQ(View(manager), (OptionView{0, 0, 10, 2, 20, 1, 3, {300, 50}}));
}

TEST_F(CidOptionTest, DocumentReadyStoresObjectRowsOnly)
{
    const Json::Value root = Parse(R"({"cid_typeSize_10":{"width":290,"height":50},
        "cid_typeSize_21":5, "cid_typeSize_22":{"width":400}, "cid_typeSize_23":null,
        "cid_typeSize_31":{"width":1,"height":1}})");
    ASSERT_TRUE(manager.ApplyDocumentReadyTypeSizes(root));
    EXPECT_EQ(manager.TypeSize(10), (CidSize{290, 50}));
    EXPECT_EQ(manager.TypeSize(21), (CidSize{382, 202}));
    EXPECT_EQ(manager.TypeSize(22), (CidSize{400, 1})); // a missing side: at least 1 pixel
    EXPECT_EQ(manager.TypeSize(23), (CidSize{452, 232}));
    EXPECT_EQ(manager.TypeSize(31), (CidSize{382, 122})); // not a configurable row
}

// SetCidOption with popups open: what is re-laid out, re-typed and re-timed.
class OptionRelayoutTest : public CidOptionTest
{
protected:
    size_t Placements(FakeCidWindow* p) const { return p->placements.size(); }
};

TEST_F(OptionRelayoutTest, SizeOnlyChangeWithCloseModeZeroReLaysOutNothing)
{
    SetOption(&CidDisplayOptions::nAutoCloseType, 0);
    FakeCidWindow* a = NewCall(1);
    FakeCidWindow* b = NewCall(2);
    ASSERT_TRUE(manager.ApplyCidOptChange(
        L"{\"type\":21,\"typeSize\":{\"width\":400,\"height\":210},\"position\":\"\"}"));
    EXPECT_EQ(Placements(a), 1u);
    EXPECT_EQ(Placements(b), 1u);
    // The next placement uses the new size.
    FakeCidWindow* c = NewCall(3);
    EXPECT_EQ(c->Last(), (Placement{1538, 426, 400, 210}));
}

TEST_F(OptionRelayoutTest, UnchangedLayoutWithCloseModeOneStillPlacesAgainInCurrentTypes)
{
    FakeCidWindow* a = NewCall(1);
    FakeCidWindow* b = NewCall(2);
    b->m_nPopupType = 22; // opened; without the re-place flag it keeps its form
    ASSERT_TRUE(manager.ApplyCidOptChange(L"{\"type\":21,\"autoCloseType\":1,\"autoCloseTime\":20}"));
    EXPECT_EQ(a->Last(), (Placement{1538, 838, 382, 202}));
    EXPECT_EQ(b->Last(), (Placement{1538, 480, 382, 358}));
    EXPECT_EQ(b->m_nPopupType, 22);
    EXPECT_EQ(b->sizeChanges, (std::vector<int>{21}));
    EXPECT_TRUE(a->timerStarts.empty()); // mode 1 -> 1: no timer touched
}

TEST_F(OptionRelayoutTest, ModeTwoRestartsOnlyPopupsOfModeOneThatHaveADelay)
{
    FakeCidWindow* ringing = NewCall(1, 102);      // mode 1, no delay
    FakeCidWindow* connected = NewCall(2, 200);    // 200: never re-timed
    Req msg;
    msg.state = 1;
    msg.caller = L"0109";
    msg.logNo = 9;
    FakeCidWindow* message = RecvReady(msg);        // message, mode 1: no delay
    SetOption(&CidDisplayOptions::nAutoCloseType, 2);
    FakeCidWindow* underTwo = NewCall(4, 102);     // recorded mode 2 already
    for (FakeCidWindow* p : {ringing, connected, message, underTwo}) {
        p->timerStarts.clear();
    }

    ASSERT_TRUE(manager.ApplyCidOptChange(L"{\"type\":21,\"autoCloseType\":2,\"autoCloseTime\":30}"));
    const std::vector<std::pair<int, int>> restarted{{2, 30000}};
    EXPECT_EQ(ringing->timerStarts, restarted);
    EXPECT_EQ(message->timerStarts, restarted);
    EXPECT_TRUE(connected->timerStarts.empty());
    EXPECT_TRUE(underTwo->timerStarts.empty());
    EXPECT_EQ(ringing->m_nCloseTimer, kCidCloseTimerId);
    for (FakeCidWindow* p : {ringing, connected, message, underTwo}) {
        EXPECT_EQ(p->m_nCloseType, 2);
    }
    EXPECT_TRUE(Contains(LogMessages(), L"change close time : 30"));

    // Back to mode 1: running timers are left running.
    for (FakeCidWindow* p : {ringing, connected, message, underTwo}) {
        p->timerKills.clear();
    }
    ASSERT_TRUE(manager.ApplyCidOptChange(L"{\"type\":21,\"autoCloseType\":1,\"autoCloseTime\":30}"));
    for (FakeCidWindow* p : {ringing, connected, message, underTwo}) {
        EXPECT_TRUE(p->timerKills.empty());
        EXPECT_EQ(p->m_nCloseType, 1);
    }
}

} // namespace
