#include "popups/CidManagerDlg.h"
#include "diag/DbgLog.h"
#include "FakeMessagePrompt.h"
#include "shell/MainFrm.h"
#include "MemorySettingsStore.h"
#include "shell/Orvanta.h"
#include "mainpage/OrvantaMainDlg.h"
#include "mainpage/StartupEntries.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

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

}  // namespace
