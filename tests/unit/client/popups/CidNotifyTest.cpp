#include "logic/CidPlacement.h"
#include "logic/CidNotify.h"
#include "logic/JsonText.h"
#include "text/TextConv.h"

#include <json/value.h>

#include <gtest/gtest.h>

#include <string>

namespace {

CidNotifyContext Context(std::optional<int> nCidType = std::nullopt)
{
    CidNotifyContext context;
    context.strServerUrl = L"http://svc.example";
    context.nServerPort = 8080;
    context.strLoginSession = L"LS-7";
    context.nManagerCidType = nCidType;
    return context;
}

TEST(CidPostDataTest, CallCarriesTheWholeNotificationInKeyOrder)
{
    const std::wstring arg =
        LR"({"peerPhone":"0212345678","callResult":101,"callLogNo":12345678901,)"
        LR"("userPhone":"07012345678","extra":{"b":[1,2],"a":"x"},"cidTypeInfo":{"cidType":22}})";
    const CidNotifyResult result = MakeCidRequest(CidNotiKind::CallRecv, arg, Context(23));
    ASSERT_TRUE(result.pRequest);
    // A call never carries "cidType", even when the manager has one.
    EXPECT_EQ(std::wstring(result.pRequest->szPostData),
              L"{\n"
              L"   \"callInfo\" : {\n"
              L"      \"callLogNo\" : 12345678901,\n"
              L"      \"callResult\" : 101,\n"
              L"      \"cidTypeInfo\" : {\n"
              L"         \"cidType\" : 22\n"
              L"      },\n"
              L"      \"extra\" : {\n"
              L"         \"a\" : \"x\",\n"
              L"         \"b\" : [ 1, 2 ]\n"
              L"      },\n"
              L"      \"peerPhone\" : \"0212345678\",\n"
              L"      \"userPhone\" : \"07012345678\"\n"
              L"   },\n"
              L"   \"cidKind\" : \"CALL\",\n"
              L"   \"loginSession\" : \"LS-7\"\n"
              L"}\n");
}

TEST(CidPostDataTest, MessageCarriesTheManagersTypeAndItsTextOnlyInsideCallInfo)
{
    const std::wstring arg =
        LR"({"msgLogNo":77,"peerPhone":"01098765432","userPhone":"07012345678",)"
        LR"("msg":"say \"hi\" \\ now\nbye","msgType":"SMS","resultTime":"2026-12-10 01:50:00"})";
    const CidNotifyResult result = MakeCidRequest(CidNotiKind::MsgRecv, arg, Context(23));
    ASSERT_TRUE(result.pRequest);
    EXPECT_EQ(std::wstring(result.pRequest->szPostData),
              L"{\n"
              L"   \"callInfo\" : {\n"
              L"      \"msg\" : \"say \\\"hi\\\" \\\\ now\\nbye\",\n"
              L"      \"msgLogNo\" : 77,\n"
              L"      \"msgType\" : \"SMS\",\n"
              L"      \"peerPhone\" : \"01098765432\",\n"
              L"      \"resultTime\" : \"2026-12-10 01:50:00\",\n"
              L"      \"userPhone\" : \"07012345678\"\n"
              L"   },\n"
              L"   \"cidKind\" : \"MSG\",\n"
              L"   \"cidType\" : 23,\n"
              L"   \"loginSession\" : \"LS-7\"\n"
              L"}\n");
    EXPECT_EQ(std::wstring(result.pRequest->szMsg), L"say \"hi\" \\ now\nbye");

    // Without a manager there is no type to send.
    const CidNotifyResult bare = MakeCidRequest(CidNotiKind::MsgRecv, arg, Context());
    ASSERT_TRUE(bare.pRequest);
    EXPECT_EQ(std::wstring(bare.pRequest->szPostData).find(L"cidType"), std::wstring::npos);
}

TEST(CidPostDataTest, KoreanTextSurvivesThePostData)
{
    const CidNotifyResult result = MakeCidRequest(
        CidNotiKind::CallRecv, L"{\"peerName\":\"김민준\",\"callResult\":101}", Context());
    ASSERT_TRUE(result.pRequest);
    Json::Value post;
    ASSERT_TRUE(ParseJsonText(result.pRequest->szPostData, post));
    EXPECT_EQ(JsonGetText(post["callInfo"], "peerName"), L"김민준");
}

TEST(CidPopupUrlTest, PortOnlyWhenOneOrMore)
{
    struct Case
    {
        int nPort;
        const wchar_t* expected;
    };
    for (const Case& c : {Case{8080, L"http://svc.example:8080/cid"}, Case{1, L"http://svc.example:1/cid"},
                          Case{0, L"http://svc.example/cid"}, Case{-1, L"http://svc.example/cid"}}) {
        EXPECT_EQ(CidPopupUrl(L"http://svc.example", c.nPort, L"cid"), c.expected) << c.nPort;
    }
    CidNotifyContext context = Context();
    context.nServerPort = -1;
    const CidNotifyResult result = MakeCidRequest(CidNotiKind::CallSend, L"{}", context);
    ASSERT_TRUE(result.pRequest);
    EXPECT_EQ(std::wstring(result.pRequest->szUrl), L"http://svc.example/cid");
}

struct FieldCase
{
    const char* name;
    CidNotiKind kind;
    std::wstring arg;
    int64_t llLogNo;
    const wchar_t* callee;
    const wchar_t* teleCode;
    const wchar_t* caller;
    const wchar_t* time;
    const wchar_t* notiFlag;
    const wchar_t* msg;
    const wchar_t* msgType;
    int nCallResult;
    int nCallProcessType;
    int nRecFlag;
    CidTypeInfo type;
};

void PrintTo(const FieldCase& c, std::ostream* os)
{
    *os << c.name;
}

class CidRequestFieldTest : public ::testing::TestWithParam<FieldCase>
{
};

TEST_P(CidRequestFieldTest, KeysGoToTheirFieldsWithTheirDefaults)
{
    const FieldCase& c = GetParam();
    const CidNotifyResult result = MakeCidRequest(c.kind, c.arg, Context(21));
    ASSERT_TRUE(result.bParsed);
    ASSERT_TRUE(result.pRequest);
    const CidRequest& r = *result.pRequest;
    EXPECT_EQ(r.llLogNo, c.llLogNo);
    EXPECT_EQ(std::wstring(r.szUrl), L"http://svc.example:8080/cid");
    EXPECT_EQ(std::wstring(r.szCalleePhone), c.callee);
    EXPECT_EQ(std::wstring(r.szTeleCode), c.teleCode);
    EXPECT_EQ(std::wstring(r.szCallerPhone), c.caller);
    EXPECT_EQ(std::wstring(r.szTime), c.time);
    EXPECT_EQ(std::wstring(r.szNotiFlag), c.notiFlag);
    EXPECT_EQ(std::wstring(r.szMsg), c.msg);
    EXPECT_EQ(std::wstring(r.szMsgType), c.msgType);
    EXPECT_EQ(r.nCallResult, c.nCallResult);
    EXPECT_EQ(r.nCallProcessType, c.nCallProcessType);
    EXPECT_EQ(r.nRecFlag, c.nRecFlag);
    EXPECT_EQ(r.nCidType, c.type.nCidType);
    EXPECT_EQ(r.nCidWidth, c.type.nWidth);
    EXPECT_EQ(r.nCidHeight, c.type.nHeight);
    EXPECT_EQ(result.typeInfo.nCidType, c.type.nCidType);
    EXPECT_EQ(result.typeInfo.nWidth, c.type.nWidth);
    EXPECT_EQ(result.typeInfo.nHeight, c.type.nHeight);
}

const std::wstring kTypeInfo = LR"("cidTypeInfo":{"cidType":23,"width":500,"height":260})";

INSTANTIATE_TEST_SUITE_P(
    Notifications, CidRequestFieldTest,
    ::testing::Values(
        FieldCase{"send_defaults", CidNotiKind::CallSend, L"{}", 0, L"", L"", L"", L"", L"", L"", L"", 0, 0, -1, {}},
        FieldCase{"recv_defaults", CidNotiKind::CallRecv, L"{}", 0, L"", L"", L"", L"", L"", L"", L"", 0, 0, -1, {}},
        FieldCase{"msg_defaults", CidNotiKind::MsgRecv, L"{}", 0, L"", L"", L"", L"", L"", L"", L"", 1, 0, -1, {}},
        FieldCase{"send_all", CidNotiKind::CallSend,
                  LR"({"callLogNo":9000000000,"userPhone":"0701","teleCode":"T1","peerPhone":"0212",)"
                  LR"("callResult":201,"notiFlag":"END","callTime":"12:00","recFlag":1,)" + kTypeInfo + L"}",
                  9000000000, L"0701", L"T1", L"0212", L"12:00", L"END", L"", L"", 201, 0, 1, {23, 260, 500}},
        // The outgoing-call start popup keeps its flag as sent and ignores the size it carries.
        FieldCase{"send_start_any_case", CidNotiKind::CallSend,
                  LR"({"notiFlag":"sTaRt","callResult":0,)" + kTypeInfo + L"}",
                  0, L"", L"", L"", L"", L"sTaRt", L"", L"", 0, 0, -1, {}},
        FieldCase{"recv_all", CidNotiKind::CallRecv,
                  LR"({"callLogNo":5,"userPhone":"0701","teleCode":"T2","peerPhone":"0212","callResult":101,)"
                  LR"("callTime":"09:30","terminator":1,"duration":30,"callProcessType":1,"recFlag":0,)"
                  LR"("notiFlag":"START",)" + kTypeInfo + L"}",
                  5, L"0701", L"T2", L"0212", L"09:30", L"", L"", L"", 101, 1, 0, {23, 260, 500}},
        FieldCase{"recv_type_info_not_object", CidNotiKind::CallRecv, LR"({"cidTypeInfo":5})",
                  0, L"", L"", L"", L"", L"", L"", L"", 0, 0, -1, {}},
        FieldCase{"recv_negative_type_copied", CidNotiKind::CallRecv,
                  LR"({"cidTypeInfo":{"cidType":-2,"width":10}})",
                  0, L"", L"", L"", L"", L"", L"", L"", 0, 0, -1, {-2, 0, 10}},
        // A message has no call state, recording flag or size of its own.
        FieldCase{"msg_all", CidNotiKind::MsgRecv,
                  LR"({"msgLogNo":8,"userPhone":"0701","teleCode":"T3","peerPhone":"0212","msg":"안녕하세요",)"
                  LR"("msgType":"LMS","resultTime":"10:00","callResult":200,"recFlag":1,)" + kTypeInfo + L"}",
                  8, L"0701", L"T3", L"0212", L"10:00", L"", L"안녕하세요", L"LMS", 1, 0, -1, {}}));

TEST(CidRequestTest, UnparsableTextGivesNothing)
{
    for (const wchar_t* arg : {L"", L"{", L"not json"}) {
        const CidNotifyResult result = MakeCidRequest(CidNotiKind::CallRecv, arg, Context());
        EXPECT_FALSE(result.bParsed) << arg;
        EXPECT_FALSE(result.pRequest) << arg;
    }
}

TEST(CidRequestTest, MemberOfWrongTypeStopsTheHandler)
{
    EXPECT_THROW(MakeCidRequest(CidNotiKind::CallRecv, LR"({"callResult":"abc"})", Context()),
                 Json::LogicError);
    EXPECT_THROW(MakeCidRequest(CidNotiKind::MsgRecv, L"[1,2]", Context()), Json::LogicError);
}

// Values that do not fit their field drop the request, naming the field; a value that just fits
// is kept whole.
TEST(CidRequestTest, LongValueDropsTheRequestInsteadOfCuttingIt)
{
    struct Case
    {
        CidNotiKind kind;
        const char* key;
        size_t nLength;
        const wchar_t* field;  // empty: kept
        size_t nRoom;
    };
    const Case cases[] = {
        {CidNotiKind::CallRecv, "peerPhone", 19, L"", 19},
        {CidNotiKind::CallRecv, "peerPhone", 20, L"szCallerPhone", 19},
        {CidNotiKind::CallRecv, "userPhone", 20, L"szCalleePhone", 19},
        {CidNotiKind::CallRecv, "teleCode", 20, L"szTeleCode", 19},
        {CidNotiKind::CallRecv, "callTime", 20, L"", 20},
        {CidNotiKind::CallRecv, "callTime", 21, L"szTime", 20},
        {CidNotiKind::CallSend, "notiFlag", 6, L"szNotiFlag", 5},
        {CidNotiKind::MsgRecv, "msg", 2999, L"", 2999},
        {CidNotiKind::MsgRecv, "msg", 3000, L"szMsg", 2999},
        {CidNotiKind::MsgRecv, "msgType", 7, L"szMsgType", 6},
        {CidNotiKind::MsgRecv, "resultTime", 21, L"szTime", 20},
        {CidNotiKind::CallRecv, "memo", 70000, L"szPostData", 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.nLength));
        Json::Value root(Json::objectValue);
        root[c.key] = std::string(c.nLength, '7');
        const CidNotifyResult result =
            MakeCidRequest(c.kind, Utf8ToWide(StyledJsonTextA(root)), Context());
        ASSERT_TRUE(result.bParsed);
        EXPECT_EQ(result.strTooLongField, c.field);
        if (std::wstring(c.field).empty()) {
            ASSERT_TRUE(result.pRequest);
        } else {
            EXPECT_FALSE(result.pRequest);
            if (c.key == std::string("memo")) {
                EXPECT_GT(result.nTooLongLength, c.nRoom);  // the whole post data
            } else {
                EXPECT_EQ(result.nTooLongLength, c.nLength);
            }
            EXPECT_EQ(result.nTooLongRoom, c.nRoom);
        }
    }
    CidNotifyContext context = Context();
    context.strServerUrl = L"http://" + std::wstring(2100, L'a');
    const CidNotifyResult longUrl = MakeCidRequest(CidNotiKind::CallRecv, L"{}", context);
    EXPECT_FALSE(longUrl.pRequest);
    EXPECT_EQ(longUrl.strTooLongField, L"szUrl");
}

TEST(CidRequestTest, ScheduleGetsTheLoginSessionSetOrReplaced)
{
    // The styled writer escapes what is not ASCII; the page reads it back as the same text.
    EXPECT_EQ(MakeScheduleText(LR"({"title":"미팅","loginSession":"OLD","schNo":3})", L"LS-7"),
              std::optional<std::wstring>(L"{\n   \"loginSession\" : \"LS-7\",\n   \"schNo\" : 3,\n"
                                          L"   \"title\" : \"\\ubbf8\\ud305\"\n}\n"));
    EXPECT_EQ(MakeScheduleText(L"{}", L"LS-7"),
              std::optional<std::wstring>(L"{\n   \"loginSession\" : \"LS-7\"\n}\n"));
    EXPECT_FALSE(MakeScheduleText(L"", L"LS-7"));
    EXPECT_FALSE(MakeScheduleText(L"{\"a\":", L"LS-7"));
}

TEST(CidDragBandTest, TopBandBelowTheFirstRow)
{
    struct Case
    {
        int y;
        int nType;
        bool bDrag;
    };
    for (const Case& c : {Case{0, 21, false}, Case{1, 21, true}, Case{24, 21, true}, Case{25, 21, false},
                          Case{-3, 21, false}, Case{0, 10, false}, Case{9, 10, true}, Case{10, 10, false},
                          Case{24, 43, true}}) {
        EXPECT_EQ(IsCidDragBand(c.y, c.nType), c.bDrag) << c.y << " type " << c.nType;
    }
}

}  // namespace
