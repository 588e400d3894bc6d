#include "popups/CidManagerDlg.h"
#include "diag/DbgLog.h"
#include "FakeMessagePrompt.h"
#include "shell/MainFrm.h"
#include "MemorySettingsStore.h"
#include "PageHostSupport.h"
#include "shell/Orvanta.h"
#include "mainpage/OrvantaMainDlg.h"
#include "mainpage/NotiDlg.h"
#include "mainpage/StartupEntries.h"
#include "TempDir.h"
#include "text/TextConv.h"
#include "WaitUntil.h"
#include "logic/JsonText.h"
#include "logic/MainPageRules.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <json/json.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class NoPopups : public ICidWindowFactory
{
public:
    std::unique_ptr<ICidWindow> NewCidWindow(QWidget*, QObject*) override { return nullptr; }
};

void Pump(int ms = 30)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// The main page window's handlers, called as the page would, without loading a page.
class MainPageHandlers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        frame = new CMainFrm(CMainFrm::Role::Main, CMainFrm::Parts{}, 0);
        dlg = std::make_unique<COrvantaMainDlg>(frame, app.Config(), startup, prompt,
                                                &CMainFrm::OpenAlertFrame);
        manager.Create();
        dlg->SetCidManager(&manager);
    }
    void TearDown() override
    {
        dlg.reset();
        delete frame;
    }

    QString Autostart() const { return dir.QPath() + "/autostart/OrvantaStart_Vexa.desktop"; }

    TempDir dir;
    MemorySettingsStore store;
    FakeMessagePrompt prompt;
    COrvantaApp app{&store, nullptr, &prompt};
    CStartupEntries startup{store, Autostart(), L"/opt/orvanta/OrvantaStart_Vexa"};
    NoPopups factory;
    CCidManagerDlg manager{factory, app.Config()};
    CMainFrm* frame = nullptr;
    std::unique_ptr<COrvantaMainDlg> dlg;
};

TEST_F(MainPageHandlers, LoginAlwaysLogsInAndAppliesWhatParses)
{
    struct Case
    {
        const char* name;
        std::wstring arg;
        bool autostartAfter;
        std::wstring sessionAfter;
    };
    const Case cases[] = {
        {"EmptyObjectRemovesAutostart", L"{}", false, L"kept"},
        {"EmptyTextOnlyLogsIn", L"", true, L"kept"},
        {"AutoRunAndSession", L"{\"autoRunOpt\":true,\"loginSession\":\"k-2\"}", true, L"k-2"},
        {"EmptySessionKeepsKey", L"{\"autoRunOpt\":true,\"loginSession\":\"\"}", true, L"kept"},
        {"WrongTypeStopsButLogsIn", L"{\"autoRunOpt\":\"yes\",\"loginSession\":\"k-3\"}", true, L"kept"},
    };
    for (const Case& c : cases) {
        dlg->OnLogout();
        startup.SetAutoRun(true);
        dlg->FE_MAIN_Login(L"{\"loginSession\":\"kept\",\"autoRunOpt\":true}");
        Pump();
        dlg->OnLogout();
        ASSERT_FALSE(dlg->IsLogin());

        try {
            dlg->FE_MAIN_Login(c.arg);
        } catch (const std::exception&) {
            // The bridge catches a stopped handler; the login notice is posted regardless.
        }
        Pump();
        EXPECT_TRUE(dlg->IsLogin()) << c.name;
        EXPECT_FALSE(dlg->IsServerDisconnected()) << c.name;
        EXPECT_EQ(startup.IsAutoRun(), c.autostartAfter) << c.name;
        EXPECT_EQ(dlg->GetLoginSession().toStdWString(), c.sessionAfter) << c.name;
    }
}

TEST_F(MainPageHandlers, LoginOptionsReachThePopupManager)
{
    dlg->FE_MAIN_Login(L"{\"cidOpt\":{\"enable\":false,\"autoCloseType\":2}}");
    Pump();
    EXPECT_EQ(manager.Options().nEnable, 0);
    EXPECT_EQ(manager.Options().nAutoCloseType, 2);
}

TEST_F(MainPageHandlers, LogoutAlwaysLogsOutAndConnectionStateFollowsTheTable)
{
    dlg->FE_MAIN_Login(L"{\"loginSession\":\"s\"}");
    Pump();
    dlg->FE_MAIN_Logout(L"not json");
    Pump();
    EXPECT_FALSE(dlg->IsLogin());

    struct Step
    {
        std::wstring arg;
        bool disconnected;
        std::wstring session;
    };
    const Step steps[] = {
        {L"{\"connectState\":0}", true, L"s"},
        {L"{\"connectState\":2,\"loginSession\":\"s2\"}", true, L"s2"},
        {L"{\"connectState\":1}", false, L"s2"},
        {L"{}", true, L"s2"},
        {L"garbage", true, L"s2"},
    };
    for (const Step& step : steps) {
        dlg->FE_MAIN_LoginSession_ConnectState(step.arg);
        EXPECT_EQ(dlg->IsServerDisconnected(), step.disconnected);
        EXPECT_EQ(dlg->GetLoginSession().toStdWString(), step.session);
    }
}

TEST_F(MainPageHandlers, DocumentReadySetsFrameLookMinimumAndTypeSizes)
{
    dlg->FE_MAIN_Document_Ready(
        L"{\"border\":{\"size\":4,\"colorR\":300,\"colorG\":2,\"colorB\":3},"
        L"\"minSize\":{\"width\":300,\"height\":200},\"cid_typeSize_23\":{\"width\":500,\"height\":260}}");
    EXPECT_EQ(dlg->BorderColor(), QColor(44, 2, 3));
    EXPECT_EQ(frame->minimumSize(), QSize(308, 229));
    EXPECT_EQ(manager.TypeSize(23).cx, 500);
    EXPECT_EQ(manager.TypeSize(23).cy, 260);

    // Without border and minimum the look stays.
    dlg->FE_MAIN_Document_Ready(L"{}");
    EXPECT_EQ(dlg->BorderColor(), QColor(44, 2, 3));
    EXPECT_EQ(frame->minimumSize(), QSize(308, 229));
}

TEST_F(MainPageHandlers, PhoneListAddsPermissionsAndSkipsLinesWithoutNumber)
{
    dlg->FE_MAIN_UserPhone_List_Noti(
        L"{\"allows\":[{\"userPhone\":\"0701\",\"ctc\":false},{\"ctc\":false},"
        L"{\"userPhone\":\"0702\",\"msgSend\":false}]}");
    dlg->FE_MAIN_UserPhone_List_Noti(L"{\"allows\":[{\"userPhone\":\"0702\",\"ctc\":false}]}");
    const std::map<std::wstring, int> ctc{{L"0701", 0}, {L"0702", 0}};
    const std::map<std::wstring, int> msg{{L"0701", 1}, {L"0702", 1}};
    EXPECT_EQ(manager.LinePermissions().ctc, ctc);
    EXPECT_EQ(manager.LinePermissions().msgSend, msg);
}

TEST_F(MainPageHandlers, ForegroundShowsHiddenFrameOnceAndMinimisesOnFalse)
{
    frame->SetPlaceState(1);
    frame->PositionFrame(QRect(100, 100, 1100, 801));
    frame->hide();
    EXPECT_TRUE(dlg->FE_MAIN_Foreground(L"{\"setForeground\":true}"));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(dlg->FE_MAIN_Foreground(L"{}"));
    EXPECT_FALSE(dlg->FE_MAIN_Foreground(L"not json"));
    EXPECT_FALSE(dlg->FE_MAIN_Foreground(L"{\"setForeground\":false}"));
    EXPECT_TRUE(frame->isMinimized());
}

TEST_F(MainPageHandlers, AlertsNeedASizeEachCallOpensOneAndLogoutClosesAll)
{
    const std::wstring alert = L"{\"alertUrl\":\"http://127.0.0.1:9/alert.html\",\"size\":{\"width\":400,\"height\":300}}";
    dlg->FE_MAIN_UserAlert(L"{\"alertUrl\":\"http://127.0.0.1:9/alert.html\"}");
    dlg->FE_MAIN_UserAlert(L"{\"alertUrl\":\"http://127.0.0.1:9/alert.html\",\"size\":7}");
    EXPECT_TRUE(dlg->AlertFrames().empty());

    dlg->FE_MAIN_UserAlert(alert);
    dlg->FE_MAIN_UserAlert(alert);
    ASSERT_EQ(dlg->AlertFrames().size(), 2u);
    QPointer<QWidget> first = dlg->AlertFrames().front().data();
    QPointer<QWidget> second = dlg->AlertFrames().back().data();
    EXPECT_EQ(first->size(), QSize(400, 300));
    EXPECT_FALSE(first->isVisible());  // not before its page has loaded

    // Closed by the system: it leaves the list and is not deleted twice.
    first->close();
    Pump(50);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(dlg->AlertFrames().size(), 1u);

    dlg->FE_MAIN_Login(L"{}");
    Pump();
    dlg->OnLogout();
    Pump(50);
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(dlg->AlertFrames().empty());
}

TEST_F(MainPageHandlers, ClientVersionFromTheSettings)
{
    EXPECT_EQ(dlg->FE_CID_Get_ClientVersion(), L"");
    store.WriteString(L"Install", L"Version", L"001002003");
    EXPECT_EQ(dlg->FE_CID_Get_ClientVersion(), L"001002003");
}

TEST_F(MainPageHandlers, PageLogLineWrittenLiterallyInShortForm)
{
    dlg->FE_MAIN_Log(L"{\"time\":\"10:00\",\"level\":\"INFO\",\"kind\":\"call\",\"msg\":\"100% 연결\"}");
    dlg->FE_MAIN_Log(L"");
    QFile file(QString::fromStdWString(g_DbgLog.LogPath()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    EXPECT_TRUE(text.contains("][10:00][INFO][call][100% 연결]\r\n")) << text.right(400).toStdString();
    EXPECT_TRUE(text.contains("\tjson parsing failed.[][@")) << text.right(400).toStdString();
}

// Page text of every shape a page can send: none of it may end the client or throw out of a
// handler, and each handler keeps the outcome it owes whatever it got.
std::vector<std::pair<std::string, std::wstring>> HostileArguments()
{
    const std::wstring deepArrays(100000, L'[');
    std::wstring deepObjects;
    for (int i = 0; i < 100000; ++i) {
        deepObjects += L"{\"a\":";
    }
    std::wstring deepBorder = L"{\"border\":";
    for (int i = 0; i < 1500; ++i) {
        deepBorder += L"{\"size\":";
    }
    const std::wstring huge(4 * 1024 * 1024, L'x');
    return {
        {"Empty", L""},
        {"NotJson", L"not json {"},
        {"DeepArrays", deepArrays},
        {"DeepObjects", deepObjects},
        {"DeepMember", deepBorder},
        {"ClosedDeepArrays", std::wstring(1200, L'[') + std::wstring(1200, L']')},
        {"Array", L"[]"},
        {"True", L"true"},
        {"Number", L"5"},
        {"Null", L"null"},
        {"String", L"\"text\""},
        {"WrongTypes",
         L"{\"border\":{\"size\":\"4\",\"colorR\":[]},\"minSize\":{\"width\":\"1\"},\"loginSession\":{},"
         L"\"autoRunOpt\":\"yes\",\"connectState\":\"1\",\"alertUrl\":5,\"size\":{\"width\":{}},"
         L"\"allows\":[5,\"x\",{\"userPhone\":{}},null],\"setForeground\":\"yes\",\"time\":[],"
         L"\"cidOpt\":{\"enable\":\"x\"},\"callLogNo\":{},\"cid_typeSize_23\":{\"width\":\"w\"}}"},
        {"MembersOfOtherShapes", L"{\"border\":[],\"minSize\":true,\"size\":\"big\",\"allows\":{}}"},
        {"OutOfRangeNumbers",
         L"{\"border\":{\"size\":1e300,\"colorR\":-1e300},\"minSize\":{\"width\":1e20,\"height\":-5},"
         L"\"connectState\":1e300,\"lastX\":1e300}"},
        {"HugeNumbers",
         L"{\"border\":{\"size\":2147483647},\"minSize\":{\"width\":2147483647,\"height\":2147483647}}"},
        {"HugeString", huge},
        {"HugeMember", L"{\"loginSession\":\"" + huge + L"\",\"msg\":\"" + huge + L"\"}"},
        {"InvalidUtf16", std::wstring{L'{', static_cast<wchar_t>(0xD800), L'"', static_cast<wchar_t>(0xDFFF), L'}'}},
        {"InvalidEscapes", L"{\"loginSession\":\"\\uD800\\uZZZZ\",\"userPhone\":\"\\udfff\"}"},
        {"ControlBytes", std::wstring(L"{\"msg\":\"a\0b\"}", 13) + std::wstring(1, static_cast<wchar_t>(0x10FFFF + 1))},
    };
}

TEST_F(MainPageHandlers, EveryPageMethodSurvivesHostileText)
{
    using Handler = std::function<void(COrvantaMainDlg&, const std::wstring&)>;
    const std::vector<std::pair<const char*, Handler>> methods = {
        {"FE_MAIN_Login", &COrvantaMainDlg::FE_MAIN_Login},
        {"FE_MAIN_Logout", &COrvantaMainDlg::FE_MAIN_Logout},
        {"FE_MAIN_LoginSession_ConnectState", &COrvantaMainDlg::FE_MAIN_LoginSession_ConnectState},
        {"FE_MAIN_UserAlert", &COrvantaMainDlg::FE_MAIN_UserAlert},
        {"FE_MAIN_CidOpt_Change", &COrvantaMainDlg::FE_MAIN_CidOpt_Change},
        {"FE_MAIN_Log", &COrvantaMainDlg::FE_MAIN_Log},
        {"FE_MAIN_Document_Ready", &COrvantaMainDlg::FE_MAIN_Document_Ready},
        {"FE_MAIN_UserPhone_List_Noti", &COrvantaMainDlg::FE_MAIN_UserPhone_List_Noti},
        {"FE_MAIN_Foreground", [](COrvantaMainDlg& d, const std::wstring& a) { d.FE_MAIN_Foreground(a); }},
        {"FE_MAIN_Call_Send_Noti", &COrvantaMainDlg::FE_MAIN_Call_Send_Noti},
        {"FE_MAIN_Call_Recv_Noti", &COrvantaMainDlg::FE_MAIN_Call_Recv_Noti},
        {"FE_MAIN_Msg_Recv_Noti", &COrvantaMainDlg::FE_MAIN_Msg_Recv_Noti},
        {"FE_MAIN_Call_Record_Noti", &COrvantaMainDlg::FE_MAIN_Call_Record_Noti},
        {"FE_MAIN_SchR_Recv_Noti", &COrvantaMainDlg::FE_MAIN_SchR_Recv_Noti},
        {"FE_MAIN_SchC_Recv_Noti", &COrvantaMainDlg::FE_MAIN_SchC_Recv_Noti},
    };
    dlg->FE_MAIN_Login(L"{\"loginSession\":\"kept\"}");
    Pump();
    for (const auto& [argName, arg] : HostileArguments()) {
        for (const auto& [methodName, handler] : methods) {
            SCOPED_TRACE(std::string(methodName) + " / " + argName);
            // The notices are read here and posted to the popup manager, whose own handling
            // its tests cover; without a manager this shows the reading alone.
            const bool bNotice = std::string(methodName).find("_Noti") != std::string::npos &&
                                 std::string(methodName) != "FE_MAIN_UserPhone_List_Noti";
            dlg->SetCidManager(bNotice ? nullptr : &manager);
            EXPECT_NO_THROW(handler(*dlg, arg));
            // Posted work (login state, logout) runs here, outside the handler.
            Pump(5);
        }
        dlg->SetCidManager(&manager);
        SCOPED_TRACE(argName);
        // No alert from any of it, the frame look stays within bounds, and the page's own
        // login and logout still land.
        EXPECT_TRUE(dlg->AlertFrames().empty());
        EXPECT_GE(dlg->BorderSize(), 0);
        EXPECT_LE(dlg->BorderSize(), kMaxBorderSize);
        EXPECT_LE(frame->minimumSize().width(), kMaxMinTrackSide);
        EXPECT_LE(frame->minimumSize().height(), kMaxMinTrackSide);
        for (const auto& [phone, allowed] : manager.LinePermissions().ctc) {
            EXPECT_FALSE(phone.empty());
        }
        dlg->FE_MAIN_Login(arg);
        Pump(5);
        EXPECT_TRUE(dlg->IsLogin());
        dlg->FE_MAIN_Logout(arg);
        Pump(5);
        EXPECT_FALSE(dlg->IsLogin());
        dlg->FE_MAIN_Login(L"{}");
        Pump(5);
    }
    // A text session key may be replaced by any text, never by nothing.
    EXPECT_FALSE(dlg->GetLoginSession().isEmpty());
}

TEST_F(MainPageHandlers, ReadyOfAnyParsedShapeReportsBorderAndPosition)
{
    struct Case
    {
        const char* name;
        std::wstring arg;
        bool bReports;  // text that does not parse reports nothing; the worker counts the try
        int nBorderSize;
    };
    const Case cases[] = {
        {"Object", L"{\"border\":{\"size\":4}}", true, 4},
        {"Array", L"[]", true, 0},
        {"True", L"true", true, 0},
        {"BorderSizeAsText", L"{\"border\":{\"size\":\"4\"}}", true, 0},
        {"BorderNotAnObject", L"{\"border\":7,\"minSize\":[1]}", true, 0},
        {"BorderTooWide", L"{\"border\":{\"size\":100000}}", true, kMaxBorderSize},
        {"NegativeBorder", L"{\"border\":{\"size\":-3}}", true, 0},
        {"Deep", std::wstring(100000, L'['), false, 0},
        {"Empty", L"", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg->FE_MAIN_Document_Ready(L"{\"border\":{\"size\":0}}");
        ASSERT_TRUE(WaitUntil([&] { return dlg->PositionReports() == dlg->BorderReports(); }));
        const int nBorder = dlg->BorderReports();
        const int nPosition = dlg->PositionReports();
        EXPECT_NO_THROW(dlg->FE_MAIN_Document_Ready(c.arg));
        const int nExpected = c.bReports ? 1 : 0;
        // The position follows once the page's program data (none here) has been asked for.
        EXPECT_TRUE(WaitUntil([&] { return dlg->PositionReports() == nPosition + nExpected; }));
        Pump(20);
        EXPECT_EQ(dlg->BorderReports(), nBorder + nExpected);
        EXPECT_EQ(dlg->PositionReports(), nPosition + nExpected);
        EXPECT_EQ(dlg->BorderSize(), c.nBorderSize);
    }
}

TEST_F(MainPageHandlers, MinimumSizeCannotOverflow)
{
    dlg->FE_MAIN_Document_Ready(
        L"{\"border\":{\"size\":2147483647},\"minSize\":{\"width\":2147483647,\"height\":2147483647}}");
    EXPECT_EQ(dlg->BorderSize(), kMaxBorderSize);
    EXPECT_EQ(frame->minimumSize(), QSize(kMaxMinTrackSide, kMaxMinTrackSide));
}

TEST_F(MainPageHandlers, AlertLoadsOnlyWebAddressesWithinTheScreen)
{
    struct Case
    {
        const char* name;
        std::wstring url;
        bool bOpens;
    };
    const Case cases[] = {
        {"Http", L"http://127.0.0.1:9/alert.html", true},
        {"Https", L"HTTPS://127.0.0.1:9/alert.html", true},
        {"File", L"file:///etc/passwd", false},
        {"Data", L"data:text/html,<script>1</script>", false},
        {"Script", L"javascript:alert(1)", false},
        {"NoHost", L"http:///alert.html", false},
        {"Relative", L"/alert.html", false},
        {"Empty", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg->RemoveAllAlertFrm();
        Json::Value arg(Json::objectValue);
        arg["alertUrl"] = JsonTextValue(c.url);
        arg["size"]["width"] = 2147483647;
        arg["size"]["height"] = -20;
        dlg->FE_MAIN_UserAlert(StyledJsonText(arg));
        ASSERT_EQ(dlg->AlertFrames().size(), c.bOpens ? 1u : 0u);
        if (c.bOpens) {
            const QSize size = dlg->AlertFrames().front()->size();
            EXPECT_GE(size.height(), 1);
            EXPECT_LE(size.width(), QGuiApplication::primaryScreen()->geometry().width());
        }
    }
}

TEST_F(MainPageHandlers, AlertPageClosesItsAlertWithAnyText)
{
    const std::wstring alert = L"{\"alertUrl\":\"http://127.0.0.1:9/alert.html\",\"size\":{\"width\":400,\"height\":300}}";
    for (const auto& [argName, arg] : HostileArguments()) {
        SCOPED_TRACE(argName);
        dlg->FE_MAIN_UserAlert(alert);
        ASSERT_EQ(dlg->AlertFrames().size(), 1u);
        QPointer<QWidget> frameOfAlert = dlg->AlertFrames().front().data();
        auto* pNoti = frameOfAlert->findChild<CNotiDlg*>();
        ASSERT_NE(pNoti, nullptr);
        EXPECT_NO_THROW(pNoti->FE_ALERT_Close(arg));
        ASSERT_TRUE(WaitUntil([&] { return frameOfAlert.isNull(); }));
        EXPECT_TRUE(dlg->AlertFrames().empty());
    }
}

TEST_F(MainPageHandlers, StoredRectangleFromThePageIsReadWithoutEverThrowing)
{
    LocalSite site;
    site.Start();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect defaults(0, 0, kDefaultFrameWidth, kDefaultFrameHeight);
    const QRect fitting(screen.x() + 10, screen.y() + 20, 300, 200);
    struct Case
    {
        const char* name;
        std::string answer;  // what the page's WI_Get_ProgramData returns
        QRect expected;
    };
    const Case cases[] = {
        {"Fits", "{\"lastX\":" + std::to_string(fitting.x()) + ",\"lastY\":" + std::to_string(fitting.y()) +
                     ",\"lastWidth\":300,\"lastHeight\":200}", fitting},
        {"DeepNesting", std::string(100000, '['), fitting},
        {"Array", "[]", fitting},
        {"MemberOfTheWrongType", "{\"lastX\":\"left\",\"lastY\":5}", fitting},
        {"EdgesWouldOverflow", "{\"lastX\":2147483647,\"lastY\":2147483647,\"lastWidth\":2147483647}",
         defaults},
        {"EmptySize", "{\"lastX\":10,\"lastY\":10,\"lastWidth\":0,\"lastHeight\":-4}", QRect(10, 10, 1100, 801)},
    };
    int nPage = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case starts from the rectangle the first one stores.
        dlg->SetLastPosition(fitting.x(), fitting.y());
        dlg->SetLastSize(fitting.width(), fitting.height());
        const std::string path = "/page/data" + std::to_string(nPage++) + ".html";
        site.AddPage(path, "<!DOCTYPE html><html><head><script>window.WI_Get_ProgramData = function () { return " +
                               JsLiteral(QString::fromStdString(c.answer)).toStdString() +
                               "; };</script></head><body></body></html>");
        ASSERT_TRUE(LoadAndWait(*dlg, site.Url(path)));
        const int nPosition = dlg->PositionReports();
        EXPECT_NO_THROW(dlg->FE_MAIN_Document_Ready(L"{}"));
        ASSERT_TRUE(WaitUntil([&] { return dlg->PositionReports() == nPosition + 1; }));
        EXPECT_EQ(dlg->LastFrameRect(), c.expected);
    }
}

TEST_F(MainPageHandlers, PortOfTheCommandLineAloneGivesAValidAddress)
{
    struct Case
    {
        const wchar_t* commandLine;
        int nPort;  // of the main page address
    };
    const Case cases[] = {
        {L"[PORT=9000]", 9000},
        {L"[URL=http://svc.example:81] [PORT=9001]", 9001},
        {L"[URL=https://svc.example] [PORT=8443]", 8443},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.commandLine));
        COrvantaApp configured{&store, nullptr, &prompt};
        configured.SetServerAddress(c.commandLine);
        const ClientConfig config = configured.Config();
        const QUrl url(QString::fromStdWString(BuildMainUrl(config.strServerUrl, config.nServerPort, true, false)));
        EXPECT_TRUE(url.isValid()) << url.toString().toStdString();
        EXPECT_EQ(url.port(), c.nPort) << url.toString().toStdString();
        EXPECT_EQ(url.path(), QStringLiteral("/service"));
    }
}

}  // namespace
