#include "logic/CidDecision.h"
#include "logic/CidPageText.h"
#include "logic/JsonText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

Json::Value Parse(const std::string& text)
{
    Json::Value root;
    EXPECT_TRUE(ParseJsonTextA(text, root)) << text;
    return root;
}

TEST(CidPageText, TypeChangeKeepsScheduleFormsAndLeavesMissingSidesToTheManager)
{
    struct Case
    {
        const char* json;
        int current;
        int requested;
        int newType;
        std::optional<int> width;
        std::optional<int> height;
    };
    const Case cases[] = {
        {R"({"cidType":23,"width":452,"height":232})", 22, 23, 23, 452, 232},
        {R"({"cidType":24})", 41, 24, 43, std::nullopt, std::nullopt},
        {R"({"cidType":21,"height":300})", 43, 21, 41, std::nullopt, 300},
        {R"({"cidType":-1,"width":10})", 22, 22, 22, 10, std::nullopt},
        {R"({})", 21, 21, 21, std::nullopt, std::nullopt},
        {R"({"cidType":22,"width":null})", 21, 22, 22, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const CidTypeChange change = CidTypeChangeFromPage(Parse(c.json), c.current);
        EXPECT_EQ(change.nRequested, c.requested);
        EXPECT_EQ(change.nNewType, c.newType);
        EXPECT_EQ(change.nWidth, c.width);
        EXPECT_EQ(change.nHeight, c.height);
    }
    EXPECT_THROW(CidTypeChangeFromPage(Parse(R"({"cidType":21,"height":[1]})"), 21),
                 Json::LogicError);
}

TEST(CidPageText, AutoCloseDefaultsToTheRunningTimerAndTheCurrentDelay)
{
    CidAutoClose a = CidAutoCloseFromPage(Parse(R"({})"), true, 7000);
    EXPECT_TRUE(a.bAutoClose);
    EXPECT_EQ(a.nSeconds, 7);
    EXPECT_EQ(a.nDelayMs, 7000);

    a = CidAutoCloseFromPage(Parse(R"({"isAutoClose":true,"autoCloseTime":5})"), false, 7000);
    EXPECT_TRUE(a.bAutoClose);
    EXPECT_EQ(a.nSeconds, 5);
    EXPECT_EQ(a.nDelayMs, 5000);

    a = CidAutoCloseFromPage(Parse(R"({"isAutoClose":false})"), true, 7000);
    EXPECT_FALSE(a.bAutoClose);
    EXPECT_EQ(a.nDelayMs, 7000);
}

// Times from the page in 64 bits and bounded: a huge one never wraps into an immediate close.
TEST(CidPageText, AutoCloseTimeIsBounded)
{
    const struct
    {
        const char* json;
        int seconds;
        int delayMs;
    } cases[] = {
        {R"({"autoCloseTime":86400})", 86400, 86400000},
        {R"({"autoCloseTime":86401})", 86401, 86400000},
        {R"({"autoCloseTime":2147484})", 2147484, 86400000},
        {R"({"autoCloseTime":2147483647})", 2147483647, 86400000},
        {R"({"autoCloseTime":-1})", -1, 0},
        {R"({"autoCloseTime":-2147483648})", -2147483647 - 1, 0},
    };
    for (const auto& c : cases) {
        const CidAutoClose a = CidAutoCloseFromPage(Parse(c.json), true, 7000);
        EXPECT_EQ(a.nSeconds, c.seconds) << c.json;
        EXPECT_EQ(a.nDelayMs, c.delayMs) << c.json;
    }
}

TEST(CidPageText, SizeChangeGoesToTheScheduleFunctionForScheduleForms)
{
    CidPageCall call = CidSizeChangeCall(43);
    EXPECT_EQ(std::wstring(call.pszFunction), L"WI_Schedule_Size_Change");
    EXPECT_EQ(StyledJsonTextA(call.arg), "{\n   \"bigSize\" : 1\n}\n");
    call = CidSizeChangeCall(41);
    EXPECT_EQ(StyledJsonTextA(call.arg), "{\n   \"bigSize\" : 0\n}\n");
    call = CidSizeChangeCall(22);
    EXPECT_EQ(std::wstring(call.pszFunction), L"WI_CID_CallResult_Change");
    EXPECT_EQ(StyledJsonTextA(call.arg), "{\n   \"cidKind\" : \"SIZE\",\n   \"cidType\" : 22\n}\n");
}

TEST(CidPageText, CallArgumentReadsStateAndRecordingFromTheCallInfo)
{
    const Json::Value arg =
        CidCallArg(Parse(R"({"callResult":200,"recFlag":1,"peer":"x"})"), 3, L"2026-12-10 10:00:00");
    EXPECT_EQ(arg["cidKind"].asString(), "CALL");
    EXPECT_EQ(arg["callCnt"].asInt(), 3);
    EXPECT_EQ(arg["callResult"].asInt(), 200);
    EXPECT_EQ(arg["recFlag"].asInt(), 1);
    EXPECT_EQ(arg["callTime"].asString(), "2026-12-10 10:00:00");
    EXPECT_EQ(arg["callInfo"]["peer"].asString(), "x");

    // Without a call info object: the defaults.
    const Json::Value bare = CidCallArg(Json::Value(), 1, L"");
    EXPECT_EQ(bare["callResult"].asInt(), 0);
    EXPECT_EQ(bare["recFlag"].asInt(), -1);
    EXPECT_TRUE(CidCallInfoOf(Parse("[1]")).isNull());
}

} // namespace
