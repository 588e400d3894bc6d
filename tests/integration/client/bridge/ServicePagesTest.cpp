#include "bridge/HtmlDialog.h"
#include "InProcessService.h"
#include "logic/JsonText.h"
#include "PageHostSupport.h"
#include "text/TextConv.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

// The stand-in service's own pages in the real browser, driven the way the client drives them.
class ServicePagesTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_service = std::make_unique<InProcessService>(); }
    static void TearDownTestSuite() { s_service.reset(); }

    static std::wstring Url(const std::string& path) { return s_service->Url(path); }

    // Every method a page may call, recording its argument; queries and tests answer fixed values.
    CExternalTable RecordingTable(const std::vector<std::wstring>& names)
    {
        CExternalTable table;
        for (const std::wstring& name : names) {
            if (name == L"FE_CID_Get_ClientVersion") {
                table.Add(ExternalMethod::Query(name, [this, name] {
                    m_calls.insert({name, L""});
                    return std::wstring(L"001002003");
                }));
            } else if (name == L"FE_MAIN_Foreground") {
                table.Add(ExternalMethod::Test(name, [this, name](const std::wstring& a) {
                    m_calls.insert({name, a});
                    return true;
                }));
            } else {
                table.Add(ExternalMethod::Notice(name, [this, name](const std::wstring& a) { m_calls.insert({name, a}); }));
            }
        }
        return table;
    }

    bool Called(const std::wstring& name) { return m_calls.count(name) > 0; }
    Json::Value LastJson(const std::wstring& name)
    {
        Json::Value value;
        auto range = m_calls.equal_range(name);
        if (range.first != range.second) {
            ParseJsonText(std::prev(range.second)->second, value);
        }
        return value;
    }

    static std::unique_ptr<InProcessService> s_service;
    std::multimap<std::wstring, std::wstring> m_calls;
};

std::unique_ptr<InProcessService> ServicePagesTest::s_service;

const std::vector<std::wstring> kMainMethods = {
    L"FE_MAIN_Login", L"FE_MAIN_Logout", L"FE_MAIN_LoginSession_ConnectState", L"FE_MAIN_UserAlert",
    L"FE_MAIN_CidOpt_Change", L"FE_MAIN_Call_Send_Noti", L"FE_MAIN_Call_Recv_Noti", L"FE_MAIN_Msg_Recv_Noti",
    L"FE_MAIN_Call_Record_Noti", L"FE_MAIN_Log", L"FE_MAIN_Document_Ready", L"FE_MAIN_UserPhone_List_Noti",
    L"FE_MAIN_Foreground", L"FE_CID_Get_ClientVersion", L"FE_MAIN_SchR_Recv_Noti", L"FE_MAIN_SchC_Recv_Noti",
};

TEST_F(ServicePagesTest, MainPageKeepsItsContract)
{
    CHtmlDialog dialog;
    dialog.SetSilent(true);
    dialog.resize(1100, 801);
    dialog.SetExternalTable(RecordingTable(kMainMethods));
    ASSERT_TRUE(LoadAndWait(dialog, Url("/service?clientType=WI&autoRunOpt=1")));

    // Readiness with the frame look and the popup sizes.
    ASSERT_TRUE(WaitUntil([&] { return Called(L"FE_MAIN_Document_Ready"); }, 10000));
    const Json::Value ready = LastJson(L"FE_MAIN_Document_Ready");
    EXPECT_TRUE(ready["border"].isObject());
    EXPECT_GT(ready["minSize"]["width"].asInt(), 0);
    for (const char* key : {"cid_typeSize_10", "cid_typeSize_21", "cid_typeSize_22", "cid_typeSize_23", "cid_typeSize_24"}) {
        EXPECT_GT(ready[key]["height"].asInt(), 0) << key;
    }

    // Program data comes back as it was handed over, survives a reload, and resetLS clears it.
    Json::Value rect;
    rect["lastX"] = 10;
    rect["lastY"] = 20;
    rect["lastWidth"] = 1100;
    rect["lastHeight"] = 801;
    const std::wstring stored = StyledJsonText(rect);
    int nStatus = 1;
    dialog.CallPageFunction(L"WI_Set_ProgramData", stored, [&](int s) { nStatus = s; });
    ASSERT_TRUE(WaitUntil([&] { return nStatus != 1; }));
    EXPECT_EQ(nStatus, kPageCallOk);
    auto readBack = [&] {
        std::wstring text = L"unset";
        dialog.CallPageQuery(L"WI_Get_ProgramData", [&](const std::wstring& t) { text = t; });
        WaitUntil([&] { return text != L"unset"; });
        return text;
    };
    EXPECT_TRUE(readBack() == stored);
    ASSERT_TRUE(LoadAndWait(dialog, Url("/service?clientType=WI&autoRunOpt=1")));
    EXPECT_TRUE(readBack() == stored);
    ASSERT_TRUE(LoadAndWait(dialog, Url("/service?clientType=WI&resetLS=1&autoRunOpt=1")));
    EXPECT_TRUE(readBack().empty());

    // Login from the form, then the client's logout request makes the page log out.
    RunScript(dialog, "document.querySelector('#loginForm button[type=submit]').click()");
    ASSERT_TRUE(Called(L"FE_MAIN_Login"));
    const Json::Value login = LastJson(L"FE_MAIN_Login");
    EXPECT_FALSE(login["loginSession"].asString().empty());
    EXPECT_TRUE(login["cidOpt"].isObject());
    EXPECT_TRUE(Called(L"FE_MAIN_UserPhone_List_Noti"));
    nStatus = 1;
    dialog.CallPageFunction(L"WI_MAIN_Logout", L"{\n   \"loginSession\" : \"x\"\n}\n", [&](int s) { nStatus = s; });
    ASSERT_TRUE(WaitUntil([&] { return nStatus != 1; }));
    EXPECT_EQ(nStatus, kPageCallOk);
    EXPECT_TRUE(Called(L"FE_MAIN_Logout"));

    // The six relays exist and show what they got.
    for (const wchar_t* name : {L"WI_MAIN_Profile_Show", L"WI_MAIN_Device_Show", L"WI_MAIN_Call_Send_Start",
                                L"WI_MAIN_USER_MSG", L"WI_MAIN_Schedule_Show", L"WI_MAIN_Schedule_Add"}) {
        nStatus = 1;
        dialog.CallPageFunction(name, L"{\"peerPhone\":\"0212345678\"}", [&](int s) { nStatus = s; });
        ASSERT_TRUE(WaitUntil([&] { return nStatus != 1; }));
        EXPECT_EQ(nStatus, kPageCallOk) << WideToUtf8(name);
    }
    EXPECT_TRUE(RunScript(dialog, "document.getElementById('log').textContent.indexOf('WI_MAIN_Schedule_Add') >= 0").toBool());

    // Every event button reaches its method.
    RunScript(dialog, "Array.prototype.forEach.call(document.querySelectorAll('.content button, #btnOptApply'), function (b) { b.click(); })");
    for (const std::wstring& name : kMainMethods) {
        EXPECT_TRUE(Called(name)) << WideToUtf8(name);
    }
    const Json::Value recv = LastJson(L"FE_MAIN_Call_Recv_Noti");
    EXPECT_GT(recv["callLogNo"].asInt64(), int64_t{1} << 32);
}

TEST_F(ServicePagesTest, PushedEventReachesTheMainPageMethod)
{
    CHtmlDialog dialog;
    dialog.SetSilent(true);
    dialog.SetExternalTable(RecordingTable(kMainMethods));
    ASSERT_TRUE(LoadAndWait(dialog, Url("/service?clientType=WI")));

    httplib::Client client = s_service->Client();
    const std::string push =
        R"({"method":"FE_MAIN_Call_Recv_Noti","arg":{"callLogNo":90210000123999,"peerPhone":"0212345678","peerName":"김민준","callResult":101}})";
    // Pushed until the page's stream is open; from then on every push reaches the page.
    bool bArrived = false;
    for (int i = 0; i < 30 && !bArrived; ++i) {
        ASSERT_TRUE(client.Post("/demo/push", push, "application/json"));
        bArrived = WaitUntil([&] { return Called(L"FE_MAIN_Call_Recv_Noti"); }, 1000);
    }
    ASSERT_TRUE(bArrived);
    const Json::Value call = LastJson(L"FE_MAIN_Call_Recv_Noti");
    EXPECT_EQ(call["callLogNo"].asInt64(), 90210000123999LL);
    EXPECT_EQ(call["peerName"].asString(), "김민준");
}

TEST_F(ServicePagesTest, PopupPagesShowThePostedCallAndReportReady)
{
    const std::vector<std::wstring> popupMethods = {
        L"FE_CID_Open", L"FE_CID_Close", L"FE_CID_Profile_Show", L"FE_CID_Device_Show", L"FE_CID_UserMsg",
        L"FE_CID_Call_Send_Start", L"FE_MAIN_Log", L"FE_CID_Document_Ready", L"FE_CID_Change_Type",
        L"FE_CID_Get_ClientVersion", L"FE_CID_Set_Auto_Close_Timeout", L"FE_Schedule_Document_Ready",
        L"FE_Schedule_Schedule_Show", L"FE_CID_Schedule_Add", L"FE_CID_Schedule_Show", L"FE_Schedule_Close",
    };
    struct PopupCase
    {
        const char* path;
        const char* body;
        const wchar_t* ready;
        const char* shown;
    };
    const PopupCase cases[] = {
        {"/cid", "{\n   \"callInfo\" : {\n      \"callResult\" : 101,\n      \"peerPhone\" : \"0212345678\",\n      \"peerName\" : \"김민준\"\n   },\n   \"cidKind\" : \"CALL\",\n   \"loginSession\" : \"LS-1\"\n}\n",
         L"FE_CID_Document_Ready", "0212345678"},
        {"/sch", "{\n   \"title\" : \"거래처 미팅\",\n   \"loginSession\" : \"LS-1\"\n}\n", L"FE_Schedule_Document_Ready", "거래처 미팅"},
    };
    for (const PopupCase& c : cases) {
        SCOPED_TRACE(c.path);
        m_calls.clear();
        CHtmlDialog popup(nullptr, Qt::FramelessWindowHint);
        popup.SetSilent(true);
        popup.resize(382, 202);
        popup.SetExternalTable(RecordingTable(popupMethods));
        QSignalSpy complete(&popup, &CHtmlDialog::DocumentComplete);
        popup.NavigatePost(Url(c.path), c.body);
        ASSERT_TRUE(WaitUntil([&] { return complete.count() > 0 && Called(c.ready); }, 10000));
        EXPECT_TRUE(RunScript(popup, QStringLiteral("document.getElementById('number').textContent === %1")
                                         .arg(JsLiteral(QString::fromUtf8(c.shown))))
                        .toBool());
        for (const wchar_t* fn : {L"WI_CID_CallResult_Change", L"WI_Schedule_Size_Change", L"WI_CID_Set_Auth", L"WI_CID_Record_Noti"}) {
            int nStatus = 1;
            popup.CallPageFunction(fn, L"{\n   \"cidKind\" : \"SIZE\",\n   \"cidType\" : 22\n}\n", [&](int s) { nStatus = s; });
            ASSERT_TRUE(WaitUntil([&] { return nStatus != 1; }));
            EXPECT_EQ(nStatus, kPageCallOk) << WideToUtf8(fn);
        }
        // Every button reaches a method of the popup's table.
        RunScript(popup, "Array.prototype.forEach.call(document.querySelectorAll('button'), function (b) { b.click(); })");
        EXPECT_TRUE(Called(std::string(c.path) == "/cid" ? L"FE_CID_Close" : L"FE_Schedule_Close"));
    }
}

}  // namespace
