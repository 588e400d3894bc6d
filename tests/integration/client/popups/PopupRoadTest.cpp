#include "popups/CidDlg.h"
#include "popups/CidDlgFactory.h"
#include "popups/CidEvents.h"
#include "popups/CidManagerDlg.h"
#include "diag/DbgLog.h"
#include "FakeMessagePrompt.h"
#include "logic/FrameMessages.h"
#include "platform/InstanceLock.h"
#include "logic/JsonText.h"
#include "MemorySettingsStore.h"
#include "shell/Orvanta.h"
#include "mainpage/OrvantaMainDlg.h"
#include "PageHostSupport.h"
#include "WaitUntil.h"
#include "RequestRecorder.h"
#include "ServiceOptions.h"
#include "mainpage/StartupEntries.h"
#include "text/TextConv.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

namespace {

class NoLock : public IInstanceLock
{
public:
    LockResult Acquire(const std::wstring&) override { return LockResult::Acquired; }
    void Release() override {}
};

// Stands in for the main frame: keeps every text message a popup posts to it.
class FakeFrame : public QWidget
{
public:
    bool event(QEvent* pEvent) override
    {
        if (auto* pText = dynamic_cast<TextMessageEvent*>(pEvent)) {
            texts.push_back({static_cast<int>(pEvent->type()), pText->Text().toStdString()});
            return true;
        }
        return QWidget::event(pEvent);
    }
    std::vector<std::pair<int, std::string>> texts;
};

// Counts the requests and texts that reach the manager.
class ManagerWatch : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        const int type = static_cast<int>(pEvent->type());
        if (type == kCidRequestEvent || type == kCidRecordEvent || type == kCidScheduleEvent) {
            ++nPosted;
            if (fnOnRequest) {
                nMostOpen = std::max(nMostOpen, fnOnRequest());
            }
        }
        return false;
    }
    int nPosted = 0;
    // Popups open as each request arrives, and the most seen.
    std::function<size_t()> fnOnRequest;
    size_t nMostOpen = 0;
};

struct PageCall
{
    std::string name;
    std::string arg;
};

// The stand-in service's popup and main pages, a main page window with the real popup manager
// and popups, and a fake main frame, wired as the client wires them.
class PopupRoadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_server = new httplib::Server();
        ServiceOptions options;
        options.pagesDir = SERVICE_PAGES_DIR;
        InstallRequestRecorder(*s_server);
        RegisterPageRoutes(*s_server, options);
        // A popup page that never reports ready.
        for (const char* pszPath : {"/silent", "/silent/sch"}) {
            s_server->Post(pszPath, [](const httplib::Request&, httplib::Response& res) {
                res.set_content("<!DOCTYPE html><html><body>...</body></html>", "text/html; charset=utf-8");
            });
        }
        s_nPort = s_server->bind_to_any_port("127.0.0.1");
        s_thread = new std::thread([] { s_server->listen_after_bind(); });

        s_dir = new QTemporaryDir();
        s_store = new MemorySettingsStore();
        s_store->values[{L"Install", L"Version"}] = L"001002003";
        s_lock = new NoLock();
        s_prompt = new FakeMessagePrompt();
        s_app = new COrvantaApp(s_store, s_lock, s_prompt);
        s_app->m_strServerUrl = L"http://127.0.0.1";
        s_app->m_nServerPort = s_nPort;
        s_startup = new CStartupEntries(*s_store, s_dir->filePath(QStringLiteral("autostart/x.desktop")),
                                        L"/nonexistent/OrvantaStart_Vexa");

        s_frame = new FakeFrame();
        s_factory = new CCidDlgFactory(s_frame, s_app->Config());
        s_manager = new CCidManagerDlg(*s_factory, s_app->Config());
        s_manager->Create();
        s_manager->SetMainFrame(s_frame);
        s_manager->SetScreenSource([] { return CidScreenInfo{{0, 0, 800, 600}, 96}; });

        s_main = new COrvantaMainDlg(nullptr, s_app->Config(), *s_startup, *s_prompt);
        s_main->SetCidManager(s_manager);
        s_main->OnInitDialog();
        s_bMainReady = WaitUntil([] {
            return RunScript(*s_main, QStringLiteral("!!(window.external && window.external.FE_MAIN_Call_Recv_Noti)"), 5000).toBool();
        }, 60000);
        // The page's ready report carries its own type sizes; one arriving after a test's call
        // would overwrite the size that call reported.
        s_bMainReady = s_bMainReady && WaitUntil([] { return s_main->BorderReports() > 0; }, 60000);
        if (s_bMainReady) {
            MainCall("FE_MAIN_Login", R"({"loginSession":"LS-ROAD","autoRunOpt":false})");
            MainCall("FE_MAIN_UserPhone_List_Noti",
                     R"({"allows":[{"userPhone":"07012345678","ctc":true,"msgSend":false},)"
                     R"({"userPhone":"07055555555","ctc":true,"msgSend":true}]})");
        }
    }

    static void TearDownTestSuite()
    {
        delete s_main;
        delete s_manager;
        delete s_factory;
        delete s_frame;
        delete s_startup;
        delete s_app;
        delete s_prompt;
        delete s_lock;
        delete s_store;
        delete s_dir;
        s_server->stop();
        s_thread->join();
        delete s_thread;
        delete s_server;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_bMainReady) << "the main page never published its methods";
        ServiceRequests().Clear();
        s_frame->texts.clear();
    }

    void TearDown() override
    {
        s_manager->RemoveAllCidWindow();
        QTest::qWait(50);
    }

    // The main page calls one of its window's methods.
    static void MainCall(const char* pszMethod, const std::string& strJson)
    {
        RunScript(*s_main, QStringLiteral("window.external.%1(%2)")
                               .arg(QString::fromLatin1(pszMethod), JsLiteral(QString::fromStdString(strJson))));
    }

    // One display option of the manager, set as it is, the others kept.
    static void SetOption(int CidDisplayOptions::*pField, int nValue)
    {
        CidDisplayOptions options = s_manager->Options();
        options.*pField = nValue;
        s_manager->SetDisplayOptions(options);
    }

    static CCidDlg* LastPopup()
    {
        return s_manager->Popups().empty() ? nullptr
                                               : dynamic_cast<CCidDlg*>(s_manager->Popups().back().get());
    }

    // Waits for a new popup whose page has reported ready and that is shown.
    static CCidDlg* WaitShownPopup(size_t nCount = 1)
    {
        CCidDlg* pPopup = nullptr;
        WaitUntil([&] {
            pPopup = s_manager->Popups().size() == nCount ? LastPopup() : nullptr;
            return pPopup != nullptr && pPopup->IsCidWindowVisible();
        });
        return pPopup != nullptr && pPopup->IsCidWindowVisible() ? pPopup : nullptr;
    }

    static std::vector<PageCall> Received(CCidDlg& popup)
    {
        Json::Value list;
        ParseJsonTextA(RunScript(popup, QStringLiteral("JSON.stringify(window.ORVANTA_RECEIVED || [])"))
                           .toString().toStdString(), list);
        std::vector<PageCall> calls;
        for (const Json::Value& item : list) {
            calls.push_back({item["name"].asString(), item["arg"].asString()});
        }
        return calls;
    }

    static bool HasReceived(CCidDlg& popup, const std::string& name, const std::string& arg)
    {
        for (const PageCall& call : Received(popup)) {
            if (call.name == name && call.arg == arg) {
                return true;
            }
        }
        return false;
    }

    static std::string PageText(CCidDlg& popup, const char* pszId)
    {
        return RunScript(popup, QStringLiteral("document.getElementById('%1').textContent").arg(QString::fromLatin1(pszId)))
            .toString()
            .toStdString();
    }

    // The bodies the service received on a path, with their content types.
    static std::vector<std::pair<std::string, std::string>> PostedBodies(const std::string& path)
    {
        Json::Value list;
        ParseJsonTextA(ServiceRequests().ToJson(path), list);
        std::vector<std::pair<std::string, std::string>> bodies;
        for (const Json::Value& item : list) {
            if (item["method"].asString() == "POST" && item["path"].asString() == path) {
                bodies.push_back({item["body"].asString(), item["headers"].get("Content-Type", "").asString()});
            }
        }
        return bodies;
    }

    static httplib::Server* s_server;
    static std::thread* s_thread;
    static int s_nPort;
    static QTemporaryDir* s_dir;
    static MemorySettingsStore* s_store;
    static NoLock* s_lock;
    static FakeMessagePrompt* s_prompt;
    static COrvantaApp* s_app;
    static CStartupEntries* s_startup;
    static FakeFrame* s_frame;
    static CCidDlgFactory* s_factory;
    static CCidManagerDlg* s_manager;
    static COrvantaMainDlg* s_main;
    static bool s_bMainReady;
};

httplib::Server* PopupRoadTest::s_server = nullptr;
std::thread* PopupRoadTest::s_thread = nullptr;
int PopupRoadTest::s_nPort = 0;
QTemporaryDir* PopupRoadTest::s_dir = nullptr;
MemorySettingsStore* PopupRoadTest::s_store = nullptr;
NoLock* PopupRoadTest::s_lock = nullptr;
FakeMessagePrompt* PopupRoadTest::s_prompt = nullptr;
COrvantaApp* PopupRoadTest::s_app = nullptr;
CStartupEntries* PopupRoadTest::s_startup = nullptr;
FakeFrame* PopupRoadTest::s_frame = nullptr;
CCidDlgFactory* PopupRoadTest::s_factory = nullptr;
CCidManagerDlg* PopupRoadTest::s_manager = nullptr;
COrvantaMainDlg* PopupRoadTest::s_main = nullptr;
bool PopupRoadTest::s_bMainReady = false;

std::string Call(int nLogNo, const char* pszUser, int nCallResult, const std::string& extra = {})
{
    return "{\"callLogNo\":" + std::to_string(nLogNo) + ",\"userPhone\":\"" + pszUser +
           "\",\"peerPhone\":\"0212345678\",\"callResult\":" + std::to_string(nCallResult) +
           ",\"callTime\":\"2026-12-10 02:00:00\"" + extra + "}";
}

TEST_F(PopupRoadTest, IncomingCallBecomesAPlacedVisiblePopupWithThePostedCall)
{
    MainCall("FE_MAIN_Call_Recv_Noti",
             R"({"callLogNo":4101,"userPhone":"07012345678","teleCode":"T01","peerPhone":"0212345678",)"
             R"("callResult":101,"callTime":"2026-12-10 02:00:00","peerName":"김민준",)"
             R"("cidTypeInfo":{"cidType":22,"width":400,"height":300}})");
    // The reported size becomes the type's row; the notice reaches the manager as a posted
    // event, which the script's return does not wait for.
    EXPECT_TRUE(WaitUntil([] { return s_manager->TypeSize(22) == CidSize{400, 300}; }, 10000));
    EXPECT_EQ(s_manager->TypeSize(22), (CidSize{400, 300}));
    CCidDlg* pPopup = WaitShownPopup();
    ASSERT_NE(pPopup, nullptr);

    const auto bodies = PostedBodies("/cid");
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0].first,
              "{\n"
              "   \"callInfo\" : {\n"
              "      \"callLogNo\" : 4101,\n"
              "      \"callResult\" : 101,\n"
              "      \"callTime\" : \"2026-12-10 02:00:00\",\n"
              "      \"cidTypeInfo\" : {\n"
              "         \"cidType\" : 22,\n"
              "         \"height\" : 300,\n"
              "         \"width\" : 400\n"
              "      },\n"
              "      \"peerName\" : \"\\uae40\\ubbfc\\uc900\",\n"
              "      \"peerPhone\" : \"0212345678\",\n"
              "      \"teleCode\" : \"T01\",\n"
              "      \"userPhone\" : \"07012345678\"\n"
              "   },\n"
              "   \"cidKind\" : \"CALL\",\n"
              "   \"loginSession\" : \"LS-ROAD\"\n"
              "}\n");
    EXPECT_EQ(bodies[0].second, "application/json");

    // First popup of the stack: the size of the notification's own type, from the start, in
    // the right-bottom corner.
    EXPECT_EQ(pPopup->geometry(), QRect(800 - 400, 600 - 300, 400, 300));
    EXPECT_EQ(pPopup->m_nPopupType, 22);
    // Rounded corners: the outermost corner pixels are cut off, the rest of the window is not.
    EXPECT_EQ(pPopup->mask().boundingRect(), QRect(0, 0, 400, 300));
    EXPECT_FALSE(pPopup->mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(pPopup->mask().contains(QPoint(399, 299)));
    EXPECT_TRUE(pPopup->mask().contains(QPoint(3, 0)));
    EXPECT_TRUE(pPopup->mask().contains(QPoint(200, 150)));
    EXPECT_NE(LogText().find("SetCidWindowPos => (400, 300, 400, 300)"), std::string::npos);

    EXPECT_EQ(PageText(*pPopup, "number"), "0212345678");
    EXPECT_EQ(PageText(*pPopup, "name"), "김민준");
    ASSERT_TRUE(WaitUntil([&] { return Received(*pPopup).size() >= 3; }, 10000));
    EXPECT_TRUE(HasReceived(*pPopup, "WI_CID_CallResult_Change", "{\n   \"cidKind\" : \"SIZE\",\n   \"cidType\" : 22\n}\n"));
    EXPECT_TRUE(HasReceived(*pPopup, "WI_CID_Set_Auth", "{\n   \"ctc\" : 1,\n   \"msgSend\" : 0\n}\n"));
    bool bCallForm = false;
    for (const PageCall& call : Received(*pPopup)) {
        Json::Value arg;
        if (call.name == "WI_CID_CallResult_Change" && ParseJsonTextA(call.arg, arg) && arg["cidKind"] == "CALL") {
            bCallForm = true;
            EXPECT_EQ(arg["callCnt"].asInt(), 1);
            EXPECT_EQ(arg["callResult"].asInt(), 101);
            EXPECT_EQ(arg["recFlag"].asInt(), -1);
            EXPECT_EQ(arg["callTime"].asString(), "2026-12-10 02:00:00");
            EXPECT_EQ(arg["callInfo"]["peerName"].asString(), "김민준");
            EXPECT_EQ(arg.getMemberNames().size(), 6u);
        }
    }
    EXPECT_TRUE(bCallForm);
}

TEST_F(PopupRoadTest, PopupPageRequestsReachTheFrameAndTheManager)
{
    MainCall("FE_MAIN_Call_Recv_Noti", Call(4102, "07055555555", 101));
    CCidDlg* pPopup = WaitShownPopup();
    ASSERT_NE(pPopup, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return HasReceived(*pPopup, "WI_CID_Set_Auth", "{\n   \"ctc\" : 1,\n   \"msgSend\" : 1\n}\n"); }, 10000));

    const std::string target = R"({"peerPhone":"0212345678","userPhone":"07055555555","callLogNo":4102,"schNo":0})";
    struct Button
    {
        const char* id;
        int type;
        std::string text;
        const char* label; // the page method the log line names
    };
    const Button buttons[] = {
        {"btnProfile", WM_USER_PROFILE_SHOW, target, "CCidDlg::FE_CID_Profile_Show"},
        {"btnDevice", WM_USER_DEVICE_SHOW, target, "CCidDlg::FE_CID_Device_Show"},
        {"btnCall", WM_USER_CALL_SEND_START, target, "CCidDlg::FE_CID_Call_Send_Start"},
        {"btnUserMsg", WM_USER_USER_MSG, target, "CCidDlg::FE_CID_UserMsg"},
        {"btnSchShow", WM_USER_SCHEDULE_SHOW, target, "CCidDlg::FE_CID_Schedule_Show"},
        {"btnSchAdd", WM_USER_SCHEDULE_ADD,
         "{\"peerPhone\":\"0212345678\",\"title\":\"통화 후속 조치\",\"memo\":\"견적 회신\"}",
         "CCidDlg::FE_CID_Schedule_Add"},
    };
    for (const Button& button : buttons) {
        SCOPED_TRACE(button.id);
        s_frame->texts.clear();
        RunScript(*pPopup, QStringLiteral("document.getElementById('%1').click()").arg(QString::fromLatin1(button.id)));
        ASSERT_TRUE(WaitUntil([] { return !s_frame->texts.empty(); }, 5000));
        ASSERT_EQ(s_frame->texts.size(), 1u);
        EXPECT_EQ(s_frame->texts[0].first, button.type);
        EXPECT_EQ(s_frame->texts[0].second, button.text);
        EXPECT_NE(LogText().find(std::string("/") + button.label + "/CidDlg]"), std::string::npos);
    }
    EXPECT_EQ(LogText().find("/CCidDlg::Forward/"), std::string::npos);

    // The page's own timer choice: 5 seconds, then kept open with the delay unchanged.
    RunScript(*pPopup, "document.getElementById('btnTimer').click()");
    EXPECT_EQ(pPopup->m_nCloseDelayMs, 5000);
    EXPECT_EQ(pPopup->m_nCloseTimer, kCidCloseTimerId);
    RunScript(*pPopup, "document.getElementById('btnKeep').click()");
    EXPECT_EQ(pPopup->m_nCloseTimer, 0);
    EXPECT_EQ(pPopup->m_nCloseDelayMs, 5000);

    // A timeout the popup cannot read changes nothing.
    RunScript(*pPopup, "window.external.FE_CID_Set_Auto_Close_Timeout('{bad')");
    EXPECT_EQ(pPopup->m_nCloseDelayMs, 5000);
    EXPECT_NE(LogText().find("json parsing failed.[{bad]"), std::string::npos);

    RunScript(*pPopup, "document.getElementById('btnLog').click()");
    EXPECT_NE(LogText().find("[INFO][CID][팝업 버튼 확인][4102]"), std::string::npos);

    RunScript(*pPopup, "document.getElementById('btnVersion').click()");
    EXPECT_EQ(PageText(*pPopup, "foot"), "클라이언트 버전 001002003");

    // Opening switches to the opened form, a type change resizes through the shared table.
    RunScript(*pPopup, "document.getElementById('btnOpen').click()");
    ASSERT_TRUE(WaitUntil([&] { return pPopup->m_nPopupType == 22; }, 5000));
    const CidSize opened = s_manager->TypeSize(22);
    EXPECT_EQ(pPopup->size(), QSize(opened.cx, opened.cy));
    RunScript(*pPopup, "document.getElementById('btnType').click()");
    EXPECT_EQ(pPopup->m_nPopupType, 23);
    // The manager stores the size and places the popup when the popup's notice arrives.
    ASSERT_TRUE(WaitUntil([&] { return pPopup->size() == QSize(452, 232); }, 5000));
    EXPECT_EQ(s_manager->TypeSize(23), (CidSize{452, 232}));
    EXPECT_EQ(pPopup->size(), QSize(452, 232));
    EXPECT_EQ(pPopup->mask().boundingRect(), QRect(0, 0, 452, 232));

    RunScript(*pPopup, "document.getElementById('btnClose').click()");
    EXPECT_TRUE(WaitUntil([] { return s_manager->Popups().empty(); }, 5000));
    EXPECT_NE(LogText().find("/CCidDlg::FE_CID_Close/CidDlg]"), std::string::npos);
    EXPECT_EQ(LogText().find("/CCidDlg::CloseRequest/"), std::string::npos);
}

TEST_F(PopupRoadTest, RecordingResultOfAConnectedCallReachesThePageAndKeepsItOpen)
{
    // An outgoing call being connected, then connected: the same popup is updated.
    MainCall("FE_MAIN_Call_Send_Noti", Call(4103, "07055555555", 201));
    CCidDlg* pPopup = WaitShownPopup();
    ASSERT_NE(pPopup, nullptr);
    // A call still being connected gets its permissions and size, not the call state.
    ASSERT_TRUE(WaitUntil([&] { return HasReceived(*pPopup, "WI_CID_Set_Auth", "{\n   \"ctc\" : 1,\n   \"msgSend\" : 1\n}\n"); }, 10000));
    for (const PageCall& call : Received(*pPopup)) {
        EXPECT_EQ(call.arg.find("\"CALL\""), std::string::npos) << call.name;
    }
    MainCall("FE_MAIN_Call_Send_Noti", Call(4103, "07055555555", 200));
    ASSERT_TRUE(WaitUntil([&] {
        for (const PageCall& call : Received(*pPopup)) {
            Json::Value arg;
            if (call.name == "WI_CID_CallResult_Change" && ParseJsonTextA(call.arg, arg) &&
                arg["callResult"] == 200) {
                return true;
            }
        }
        return false;
    }, 10000));
    EXPECT_EQ(s_manager->Popups().size(), 1u);
    EXPECT_EQ(pPopup->m_nCallResult, 200);
    EXPECT_NE(pPopup->m_nCloseTimer, 0);  // a connected call without recording closes by time

    MainCall("FE_MAIN_Call_Record_Noti", R"({"callLogNo":4103,"recResult":1})");
    ASSERT_TRUE(WaitUntil([&] { return HasReceived(*pPopup, "WI_CID_Record_Noti", "{\n   \"recResult\" : 1\n}\n"); }, 10000));
    EXPECT_EQ(PageText(*pPopup, "rec"), "● 녹취 완료");
    EXPECT_EQ(pPopup->m_nCloseTimer, 0);

    // Esc is the popup's Cancel: the manager closes it.
    QWidget* pInput = pPopup->View()->focusProxy() != nullptr ? pPopup->View()->focusProxy() : pPopup->View();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(pInput, &esc);
    EXPECT_TRUE(WaitUntil([] { return s_manager->Popups().empty(); }, 5000));
}

TEST_F(PopupRoadTest, MessageAndScheduleShowTheirContent)
{
    MainCall("FE_MAIN_Msg_Recv_Noti",
             R"({"msgLogNo":77,"userPhone":"07055555555","peerPhone":"01098765432","msg":"내일 10시에 뵙겠습니다.","msgType":"SMS","resultTime":"2026-12-10 02:01:00"})");
    CCidDlg* pMsg = WaitShownPopup();
    ASSERT_NE(pMsg, nullptr);
    const auto bodies = PostedBodies("/cid");
    ASSERT_EQ(bodies.size(), 1u);
    Json::Value post;
    ASSERT_TRUE(ParseJsonTextA(bodies[0].first, post));
    EXPECT_EQ(post["cidKind"].asString(), "MSG");
    EXPECT_EQ(post["cidType"].asInt(), s_manager->CidType());
    EXPECT_EQ(post["loginSession"].asString(), "LS-ROAD");
    EXPECT_EQ(PageText(*pMsg, "msg"), "내일 10시에 뵙겠습니다.");
    EXPECT_EQ(PageText(*pMsg, "number"), "01098765432");
    s_manager->RemoveAllCidWindow();

    MainCall("FE_MAIN_SchR_Recv_Noti", R"({"title":"거래처 미팅","schNo":9,"loginSession":"OLD"})");
    CCidDlg* pSch = WaitShownPopup();
    ASSERT_NE(pSch, nullptr);
    const auto schBodies = PostedBodies("/sch");
    ASSERT_EQ(schBodies.size(), 1u);
    EXPECT_EQ(schBodies[0].first, "{\n   \"loginSession\" : \"LS-ROAD\",\n   \"schNo\" : 9,\n"
                                  "   \"title\" : \"\\uac70\\ub798\\ucc98 \\ubbf8\\ud305\"\n}\n");
    EXPECT_EQ(PageText(*pSch, "number"), "거래처 미팅");
    EXPECT_EQ(pSch->m_nPopupType, 41);
    ASSERT_TRUE(WaitUntil([&] { return HasReceived(*pSch, "WI_Schedule_Size_Change", "{\n   \"bigSize\" : 0\n}\n"); }, 10000));

    // A schedule popup asked for a large call type becomes the large schedule type.
    const CidSize large = s_manager->TypeSize(24);
    RunScript(*pSch, QStringLiteral("window.external.FE_CID_Change_Type('{\"cidType\":24}')"));
    EXPECT_EQ(pSch->m_nPopupType, 43);
    ASSERT_TRUE(WaitUntil([&] { return pSch->size() == QSize(large.cx, large.cy); }, 5000));
    EXPECT_EQ(s_manager->TypeSize(43), large);
    EXPECT_EQ(pSch->size(), QSize(large.cx, large.cy));
}

// The single-popup type slides in one pixel at a time from beyond its place, and its close
// timer closes nothing.
TEST_F(PopupRoadTest, SinglePopupSlidesInAndStaysPastItsDelay)
{
    struct Corner
    {
        int nPos;
        int nSavedY;
        int nStep;
    };
    const CidSize size = s_manager->TypeSize(10);
    for (const Corner& corner : {Corner{kCidPosRightBottom, 600 - size.cy, -1}, Corner{kCidPosRightTop, 0, 1}}) {
        SCOPED_TRACE(corner.nPos);
        SetOption(&CidDisplayOptions::nCidType, 10);
        SetOption(&CidDisplayOptions::nCidStartPos, corner.nPos);
        SetOption(&CidDisplayOptions::nAutoCloseType, 2);
        SetOption(&CidDisplayOptions::nAutoCloseTime, 1);
        struct MoveWatch : QObject
        {
            bool eventFilter(QObject* pObject, QEvent* pEvent) override
            {
                const auto* pWidget = static_cast<QWidget*>(pObject);
                if (pEvent->type() == QEvent::Show || (pEvent->type() == QEvent::Move && pWidget->isVisible())) {
                    ys.push_back(pWidget->y());
                }
                return false;
            }
            std::vector<int> ys;
        } watch;
        const size_t nClosesBefore = CountOccurrences(LogText(), "reach close time[@");
        MainCall("FE_MAIN_Call_Recv_Noti", Call(4106 + corner.nPos, "07055555555", 101));
        ASSERT_TRUE(WaitUntil([] { return LastPopup() != nullptr; }, 5000));
        CCidDlg* pPopup = LastPopup();
        pPopup->installEventFilter(&watch);
        ASSERT_TRUE(WaitUntil([&] { return pPopup->m_nSlideTimer == -1; }, 15000));
        EXPECT_EQ(pPopup->geometry(), QRect(800 - size.cx, corner.nSavedY, size.cx, size.cy));
        ASSERT_GE(watch.ys.size(), 10u);
        // Every step moves one pixel toward the place; the last lands on it.
        for (size_t i = 1; i < watch.ys.size(); ++i) {
            EXPECT_EQ(watch.ys[i] - watch.ys[i - 1], corner.nStep) << i;
        }
        EXPECT_EQ(watch.ys.back(), corner.nSavedY);
        EXPECT_EQ(std::abs(watch.ys.front() - corner.nSavedY), size.cy - 1);

        QTest::qWait(1500);
        EXPECT_EQ(s_manager->Popups().size(), 1u);
        EXPECT_GT(CountOccurrences(LogText(), "reach close time[@"), nClosesBefore);
        pPopup->removeEventFilter(&watch);
        s_manager->RemoveAllCidWindow();
    }
    SetOption(&CidDisplayOptions::nCidType, 21);
    SetOption(&CidDisplayOptions::nCidStartPos, kCidPosRightBottom);
    SetOption(&CidDisplayOptions::nAutoCloseType, 1);
    SetOption(&CidDisplayOptions::nAutoCloseTime, 20);
}

TEST_F(PopupRoadTest, CloseDelayAsksTheManagerToClose)
{
    SetOption(&CidDisplayOptions::nAutoCloseType, 2);
    SetOption(&CidDisplayOptions::nAutoCloseTime, 1);
    MainCall("FE_MAIN_Call_Recv_Noti", Call(4110, "07055555555", 101));
    CCidDlg* pPopup = WaitShownPopup();
    SetOption(&CidDisplayOptions::nAutoCloseType, 1);
    SetOption(&CidDisplayOptions::nAutoCloseTime, 20);
    ASSERT_NE(pPopup, nullptr);
    EXPECT_EQ(pPopup->m_nCloseDelayMs, 1000);
    EXPECT_TRUE(WaitUntil([] { return s_manager->Popups().empty(); }, 5000));
}

// The outgoing-call start popup is not the manager's to close by time: it ends its own window.
TEST_F(PopupRoadTest, OutgoingStartPopupEndsItsOwnWindow)
{
    MainCall("FE_MAIN_Call_Send_Noti", Call(4111, "07055555555", 0, R"(,"notiFlag":"START")"));
    ASSERT_TRUE(WaitUntil([] { return s_manager->SendPopup() != nullptr && s_manager->SendPopup()->IsCidWindowVisible(); }, 10000));
    auto* pSend = dynamic_cast<CCidDlg*>(s_manager->SendPopup());
    ASSERT_NE(pSend, nullptr);
    EXPECT_TRUE(s_manager->Popups().empty());
    const QPoint offCentre = pSend->geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);
    EXPECT_TRUE(WaitUntil([&] { return pSend->IsWindowDestroyed(); }, 8000));
    EXPECT_FALSE(pSend->isVisible());
    EXPECT_EQ(s_manager->SendPopup(), pSend);
}

TEST_F(PopupRoadTest, PopupWhosePageNeverReportsReadyClosesUnseen)
{
    auto pRequest = std::make_unique<CidRequest>();
    SetCidText(pRequest->szUrl, Utf8ToWide("http://127.0.0.1:" + std::to_string(s_nPort) + "/silent"));
    SetCidText(pRequest->szPostData, L"{}");
    SetCidText(pRequest->szCallerPhone, L"0299999999");
    SetCidText(pRequest->szCalleePhone, L"07055555555");
    pRequest->llLogNo = 4104;
    pRequest->nCallResult = 101;
    PostCidRequest(s_manager, std::move(pRequest));
    ASSERT_TRUE(WaitUntil([] { return s_manager->Popups().size() == 1; }, 5000));
    const size_t nBefore = CountOccurrences(LogText(), "reach close time : not ready");

    QElapsedTimer elapsed;
    elapsed.start();
    bool bEverVisible = false;
    EXPECT_TRUE(WaitUntil([&] {
        for (const auto& p : s_manager->Popups()) {
            bEverVisible = bEverVisible || p->IsCidWindowVisible();
        }
        return s_manager->Popups().empty();
    }, 15000));
    EXPECT_FALSE(bEverVisible);
    EXPECT_GE(elapsed.elapsed(), 3000);  // not closed for another reason right away
    EXPECT_EQ(CountOccurrences(LogText(), "reach close time : not ready"), nBefore + 1);
    // Under the timer handler's name, not a helper's.
    const std::string strLog = LogText();
    const size_t nLine = strLog.rfind("reach close time : not ready[@");
    ASSERT_NE(nLine, std::string::npos);
    EXPECT_NE(strLog.substr(nLine, strLog.find('\n', nLine) - nLine).find("/CCidDlg::OnTimer/CidDlg]"),
              std::string::npos);
}

// A schedule page that never reports ready is closed like a call page, not left listed unseen.
TEST_F(PopupRoadTest, SchedulePageThatNeverReportsReadyCloses)
{
    ClientConfig config = s_app->Config();
    config.strServerUrl = Utf8ToWide("http://127.0.0.1:" + std::to_string(s_nPort) + "/silent");
    config.nServerPort = -1;
    CCidManagerDlg manager(*s_factory, config);
    manager.Create();
    manager.SetMainFrame(s_frame);
    manager.SetScreenSource([] { return CidScreenInfo{{0, 0, 800, 600}, 96}; });
    manager.OnRecvSch(L"{\"schNo\":5}");
    ASSERT_EQ(manager.Popups().size(), 1u);
    bool bEverVisible = false;
    EXPECT_TRUE(WaitUntil([&] {
        for (const auto& p : manager.Popups()) {
            bEverVisible = bEverVisible || p->IsCidWindowVisible();
        }
        return manager.Popups().empty();
    }, 15000));
    EXPECT_FALSE(bEverVisible);
}
TEST_F(PopupRoadTest, NothingIsHandedOverWithoutAManager)
{
    ManagerWatch watch;
    s_manager->installEventFilter(&watch);
    s_main->SetCidManager(nullptr);
    const CidSize before = s_manager->TypeSize(24);
    MainCall("FE_MAIN_Call_Recv_Noti", Call(4105, "07055555555", 101, R"(,"cidTypeInfo":{"cidType":24,"width":1,"height":2})"));
    MainCall("FE_MAIN_Msg_Recv_Noti", R"({"msgLogNo":78,"msg":"x"})");
    MainCall("FE_MAIN_Call_Record_Noti", R"({"callLogNo":4105,"recResult":1})");
    MainCall("FE_MAIN_SchC_Recv_Noti", R"({"title":"t"})");
    QTest::qWait(300);
    s_main->SetCidManager(s_manager);
    EXPECT_EQ(watch.nPosted, 0);
    EXPECT_EQ(s_manager->TypeSize(24), before);

    // The same calls with the manager all arrive.
    MainCall("FE_MAIN_Call_Record_Noti", R"({"callLogNo":4105,"recResult":1})");
    MainCall("FE_MAIN_SchC_Recv_Noti", R"({"title":"t"})");
    EXPECT_TRUE(WaitUntil([&] { return watch.nPosted == 2; }, 5000));
    s_manager->removeEventFilter(&watch);
}

// A number too long for the request is not cut: the notification is dropped with a log line.
TEST_F(PopupRoadTest, TooLongNumberDropsTheNotificationWithALogLine)
{
    ManagerWatch watch;
    s_manager->installEventFilter(&watch);
    const std::string longPeer = "02123456789012345678";  // 20 characters, room for 19
    MainCall("FE_MAIN_Call_Recv_Noti", R"({"callLogNo":4120,"peerPhone":")" + longPeer + R"(","callResult":101})");
    QTest::qWait(300);
    s_manager->removeEventFilter(&watch);
    EXPECT_EQ(watch.nPosted, 0);
    EXPECT_TRUE(s_manager->Popups().empty());
    EXPECT_NE(LogText().find("request dropped: szCallerPhone holds 20 characters, room for 19"), std::string::npos);
}

// A burst of distinct calls: every one is handled, at most the limit stays open (the oldest
// closed first) and the client still shows the next call.
TEST_F(PopupRoadTest, BurstOfCallsKeepsAtMostTheLimitOpenAndTheClientAnswering)
{
    SetOption(&CidDisplayOptions::nCidType, 21);
    SetOption(&CidDisplayOptions::nOverlap, 0);
    SetOption(&CidDisplayOptions::nAutoCloseType, 1);
    ManagerWatch watch;
    watch.fnOnRequest = [] { return s_manager->Popups().size(); };
    s_manager->installEventFilter(&watch);
    const int nCalls = static_cast<int>(kCidMaxOpenPopups) + 36;
    const size_t nClosedBefore = CountOccurrences(LogText(), "reached: the oldest popup closes");
    RunScript(*s_main, QStringLiteral(
        "for (let i = 0; i < %1; ++i) {"
        "  window.external.FE_MAIN_Call_Recv_Noti(JSON.stringify({callLogNo: 5000 + i,"
        "    userPhone: '07055555555', peerPhone: '02' + (1000000 + i), callResult: 101}));"
        "}").arg(nCalls));
    EXPECT_TRUE(WaitUntil([&] { return watch.nPosted == nCalls; }, 60000));
    s_manager->removeEventFilter(&watch);
    EXPECT_LE(watch.nMostOpen, kCidMaxOpenPopups);
    EXPECT_LE(s_manager->Popups().size(), kCidMaxOpenPopups);
    EXPECT_EQ(s_manager->Popups().back()->m_llLogNo, 5000 + nCalls - 1);
    // Pages too slow to report ready close by themselves; the rest made room for newer calls.
    EXPECT_GT(CountOccurrences(LogText(), "reached: the oldest popup closes"), nClosedBefore);

    MainCall("FE_MAIN_Call_Recv_Noti", Call(4130, "07055555555", 101));
    EXPECT_TRUE(WaitUntil([] {
        const CCidDlg* pLast = LastPopup();
        return pLast != nullptr && pLast->m_llLogNo == 4130 && pLast->IsCidWindowVisible();
    }, 30000));
    EXPECT_EQ(s_manager->Popups().size(), kCidMaxOpenPopups);
}

// Single-popup mode deletes the old popup and makes the new one in one go, so the allocator may
// hand the new popup the old one's address; the old popup's queued close must not close it.
TEST_F(PopupRoadTest, CloseNoticeOfAReplacedPopupLeavesTheNewPopupOpen)
{
    SetOption(&CidDisplayOptions::nCidType, 10);
    SetOption(&CidDisplayOptions::nAutoCloseType, 1);
    MainCall("FE_MAIN_Call_Recv_Noti", Call(4131, "07055555555", 101));
    CCidDlg* pOld = WaitShownPopup();
    ASSERT_NE(pOld, nullptr);

    auto pRequest = std::make_unique<CidRequest>();
    SetCidText(pRequest->szUrl, Utf8ToWide("http://127.0.0.1:" + std::to_string(s_nPort) + "/cid"));
    SetCidText(pRequest->szPostData, Utf8ToWide(R"({"callInfo":)" + Call(4132, "07055555555", 101) + "}"));
    SetCidText(pRequest->szCallerPhone, L"0233333333");
    SetCidText(pRequest->szCalleePhone, L"07055555555");
    pRequest->llLogNo = 4132;
    pRequest->nCallResult = 101;
    pOld->OnCancel(); // queued: the manager handles it only after the new call
    s_manager->OnRecvCid(std::move(pRequest));
    ASSERT_EQ(s_manager->Popups().size(), 1u);
    CCidDlg* pNew = LastPopup();
    ASSERT_NE(pNew, nullptr);

    QCoreApplication::sendPostedEvents(s_manager);
    ASSERT_EQ(s_manager->Popups().size(), 1u);
    EXPECT_EQ(LastPopup(), pNew);
    EXPECT_EQ(pNew->m_llLogNo, 4132);
    EXPECT_TRUE(WaitUntil([&] { return pNew->IsCidWindowVisible(); }, 15000));
    EXPECT_EQ(s_manager->Popups().size(), 1u);
    SetOption(&CidDisplayOptions::nCidType, 21);
}

}  // namespace
