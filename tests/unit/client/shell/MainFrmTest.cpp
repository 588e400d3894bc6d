#include "logic/FrameMessages.h"
#include "shell/MainFrm.h"
#include "FakeMessagePrompt.h"
#include "shell/Orvanta.h"
#include "platform/InstanceLock.h"
#include "MemorySettingsStore.h"
#include "platform/ProcessMessenger.h"
#include "TempDir.h"
#include "shell/TrayIcon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>

namespace {

// What the fake page saw, kept outside it: the page is deleted with its frame.
struct PageRecord
{
    std::vector<QString> logouts;
    int saves = 0;
};

class FakeMainPage : public IMainPageWindow
{
public:
    explicit FakeMainPage(PageRecord* record) : m_record(record) {}
    QWidget* Widget() override { return &widget; }
    bool IsLogin() const override { return login; }
    bool IsServerDisconnected() const override { return disconnected; }
    QString GetLoginSession() const override { return QStringLiteral("sess-1"); }
    void RelayToPage(Relay relay, const QString& text) override { relays.push_back({relay, text}); }
    void WI_MAIN_Logout(const QString& session, std::function<void()> done) override
    {
        m_record->logouts.push_back(session);
        done();
    }
    void SaveFrameRect(std::function<void()> done) override
    {
        ++m_record->saves;
        done();
    }
    void SetLastPosition(int x, int y) override { lastPos = {x, y}; }
    void SetLastSize(int w, int h) override { lastSize = {w, h}; }

    QWidget widget;
    bool login = false;
    bool disconnected = false;
    std::vector<std::pair<Relay, QString>> relays;
    QPoint lastPos;
    QSize lastSize;

private:
    PageRecord* m_record;
};

class FakePopupManager : public IFramePopupManager
{
public:
    explicit FakePopupManager(int* removed) : m_removed(removed) {}
    void RemoveAllCidWindow() override { ++*m_removed; }

private:
    int* m_removed;
};

class FakeLock : public IInstanceLock
{
public:
    LockResult Acquire(const std::wstring&) override { return result; }
    void Release() override {}
    LockResult result = LockResult::Acquired;
};

class FakeMessenger : public IProcessMessenger
{
public:
    bool Serve(Handler h) override
    {
        handler = std::move(h);
        return true;
    }
    bool Send(const QString& message, const QString& sender) override
    {
        sent.push_back({message, sender});
        return true;
    }
    Handler handler;
    std::vector<std::pair<QString, QString>> sent;
};

void Pump(int ms = 50)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

class MainFrmTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMainFrm::Parts parts;
        parts.createMainPage = [this](CMainFrm*) {
            auto page = std::make_unique<FakeMainPage>(&record);
            mainPage = page.get();
            return page;
        };
        parts.createPopupManager = [this](CMainFrm*) {
            return std::make_unique<FakePopupManager>(&popupsRemoved);
        };
        parts.endProcess = [this] { ++quits; };
        parts.pMessenger = &messenger;
        parts.pPrompt = &prompt;
        parts.takeInstanceLock = [this] {
            return app.CreateMutexIfNotExists(kInstanceMutexName) != 0;
        };
        frame = new CMainFrm(CMainFrm::Role::Main, parts, 0);
    }
    void TearDown() override
    {
        delete frame.data();
        Pump(10);
    }

    // Placed and shown as the page-loading worker does it.
    void Place()
    {
        frame->SetPlaceState(1);
        frame->PositionFrame(QRect(100, 100, 1100, 801));
    }

    // User actions arrive inside event delivery, where a frame may delete itself later.
    void Deliver(std::function<void()> action)
    {
        QMetaObject::invokeMethod(frame, std::move(action), Qt::QueuedConnection);
        Pump();
    }

    void PressClose()
    {
        Deliver([this] {
            const FrameRect close = frame->Zones().closeButton;
            frame->OnFrameButtonDown(QPoint(close.left + 3, close.top + 3));
        });
    }

    MemorySettingsStore store;
    FakeLock lock;
    FakeMessagePrompt prompt;
    FakeMessenger messenger;
    COrvantaApp app{&store, &lock, &prompt};
    QPointer<CMainFrm> frame;
    FakeMainPage* mainPage = nullptr;
    PageRecord record;
    int popupsRemoved = 0;
    int quits = 0;
};

TEST_F(MainFrmTest, MainRoleCreatesPartsAndServesDuplicateMessages)
{
    ASSERT_TRUE(frame->OnCreate());
    ASSERT_NE(mainPage, nullptr);
    EXPECT_EQ(mainPage->widget.parentWidget(), frame.data());
    ASSERT_NE(frame->TrayIcon(), nullptr);
    EXPECT_EQ(frame->TrayIcon()->Tip(), QStringLiteral("라벤토 - 로그아웃"));
    EXPECT_EQ(frame->TrayIcon()->IconId(), 152);
    EXPECT_TRUE(static_cast<bool>(messenger.handler));
    EXPECT_TRUE(messenger.sent.empty());
    EXPECT_FALSE(frame->isVisible());  // not placed yet
}

TEST_F(MainFrmTest, TakenLockSendsDuplicateMessageAndClosesItself)
{
    lock.result = LockResult::AlreadyExists;
    frame->OnCreate();
    ASSERT_EQ(messenger.sent.size(), 1u);
    EXPECT_EQ(messenger.sent[0].first, QStringLiteral("G_VEXA_BLOCK_DUPLICATE_PROCESS_MSG"));
    EXPECT_EQ(messenger.sent[0].second, frame->SenderId());
    EXPECT_FALSE(static_cast<bool>(messenger.handler));
    EXPECT_EQ(mainPage, nullptr) << "a duplicate starts no page and no tray icon";
    EXPECT_EQ(frame->TrayIcon(), nullptr);
    Pump();
    EXPECT_TRUE(frame.isNull());  // closed while logged out: destroyed
    EXPECT_EQ(quits, 1);
}

TEST_F(MainFrmTest, HostedWindowLaidOutInsideBorderAndTitle)
{
    frame->OnCreate();
    Place();
    EXPECT_EQ(mainPage->widget.geometry(), QRect(5, 25, 1090, 771));
    EXPECT_EQ(mainPage->lastSize, QSize(1100, 801));
    EXPECT_EQ(mainPage->lastPos, QPoint(100, 100));
    frame->SetFrameLook(Qt::blue, 30, 3);
    EXPECT_EQ(mainPage->widget.geometry(), QRect(3, 30, 1094, 768));
}

TEST_F(MainFrmTest, CloseWhileLoggedInHidesToTheTray)
{
    frame->OnCreate();
    Place();
    mainPage->login = true;
    PressClose();
    Pump();
    ASSERT_FALSE(frame.isNull());
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(frame->IsShowFrame());
    EXPECT_EQ(quits, 0);

    frame->OnTrayShow();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->geometry(), QRect(100, 100, 1100, 801));
}

TEST_F(MainFrmTest, CloseWhileLoggedOutEndsAndSavesTheRectangle)
{
    frame->OnCreate();
    Place();
    PressClose();
    Pump();
    EXPECT_TRUE(frame.isNull());
    EXPECT_EQ(popupsRemoved, 1);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(prompt.questions.empty());
}

TEST_F(MainFrmTest, RectangleSavedOnlyWhenPlacedAndNotMaximised)
{
    struct Case
    {
        bool place;
        bool maximise;
        int saves;
    };
    for (const Case c : {Case{true, false, 1}, Case{true, true, 0}, Case{false, false, 0}}) {
        TearDown();
        record = {};
        SetUp();
        frame->OnCreate();
        if (c.place) {
            Place();
        }
        if (c.maximise) {
            frame->Maximize();
        }
        Deliver([this] { frame->close(); });
        EXPECT_TRUE(frame.isNull());
        EXPECT_EQ(record.saves, c.saves) << c.place << c.maximise;
    }
}

TEST_F(MainFrmTest, SystemCloseWhileLoggedInHidesAndForgetsMaximised)
{
    frame->OnCreate();
    Place();
    frame->Maximize();
    mainPage->login = true;
    Deliver([this] { frame->close(); });
    ASSERT_FALSE(frame.isNull());
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(frame->IsFrameMaximized());
}

TEST_F(MainFrmTest, PopupRequestsRelayedAndRaisedByTheirRules)
{
    using Relay = IMainPageWindow::Relay;
    frame->OnCreate();
    Place();
    mainPage->login = true;
    frame->hide();
    struct Case
    {
        int type;
        QString text;
        bool relayed;
        Relay relay;
        bool raised;
    };
    const Case cases[] = {
        {WM_USER_CALL_SEND_START, "{\"num\":\"01012345678\"}", true, Relay::CallSendStart, false},
        {WM_USER_USER_MSG, "{\"msg\":\"안녕\"}", true, Relay::UserMsg, false},
        {WM_USER_PROFILE_SHOW, "", false, Relay::ProfileShow, false},
        {WM_USER_PROFILE_SHOW, "{\"id\":1}", true, Relay::ProfileShow, true},
        {WM_USER_DEVICE_SHOW, "{}", true, Relay::DeviceShow, true},
        {WM_USER_SCHEDULE_SHOW, "{\"s\":1}", true, Relay::ScheduleShow, true},
        {WM_USER_SCHEDULE_ADD, "{\"s\":2}", true, Relay::ScheduleAdd, true},
    };
    for (const Case& c : cases) {
        frame->hide();
        mainPage->relays.clear();
        QCoreApplication::postEvent(frame, new TextMessageEvent(c.type, c.text));
        Pump(20);
        ASSERT_EQ(mainPage->relays.size(), c.relayed ? 1u : 0u) << c.type;
        if (c.relayed) {
            EXPECT_EQ(mainPage->relays[0].first, c.relay);
            EXPECT_EQ(mainPage->relays[0].second, c.text);
        }
        EXPECT_EQ(frame->isVisible(), c.raised) << c.type;
    }
}

TEST_F(MainFrmTest, TrayTipAndMenuFollowTheLoginState)
{
    frame->OnCreate();
    CTrayIcon* tray = frame->TrayIcon();
    emit tray->Menu()->aboutToShow();
    EXPECT_FALSE(tray->LogoutAction()->isEnabled());
    EXPECT_TRUE(tray->ExitAction()->isEnabled());

    const std::tuple<bool, bool, QString, int> states[] = {
        {true, false, "라벤토 - 로그인", 151},
        {true, true, "라벤토 - 로그인(서버접속끊김)", 151},
        {false, true, "라벤토 - 로그아웃", 152},
    };
    for (const auto& [login, disconnected, tip, icon] : states) {
        mainPage->login = login;
        mainPage->disconnected = disconnected;
        frame->UpdateTrayIcon();
        EXPECT_EQ(tray->Tip(), tip);
        EXPECT_EQ(tray->IconId(), icon);
        EXPECT_EQ(tray->AddedCount(), 1);
        emit tray->Menu()->aboutToShow();
        EXPECT_EQ(tray->LogoutAction()->isEnabled(), login);
    }
}

TEST_F(MainFrmTest, MenuQuestionsAndTheirAnswers)
{
    frame->OnCreate();
    Place();
    mainPage->login = true;

    prompt.answer = false;
    frame->OnMenuLogout();
    frame->OnMenuExit();
    Pump();
    ASSERT_EQ(prompt.questions.size(), 2u);
    EXPECT_EQ(prompt.questions[0], std::make_pair(std::wstring(L"라벤토"), std::wstring(L"로그아웃 하겠습니까?")));
    EXPECT_EQ(prompt.questions[1].second, L"'라벤토' 프로그램을 종료하겠습니까?");
    EXPECT_TRUE(record.logouts.empty());
    ASSERT_FALSE(frame.isNull());

    prompt.answer = true;
    frame->OnMenuLogout();
    EXPECT_EQ(record.logouts, std::vector<QString>{QStringLiteral("sess-1")});
    EXPECT_FALSE(frame.isNull());

    // As the menu does it: from inside event delivery.
    Deliver([this] { frame->OnMenuExit(); });
    EXPECT_TRUE(frame.isNull());
    EXPECT_EQ(record.logouts.size(), 2u);  // logged out through the page, then ended
    EXPECT_EQ(quits, 1);
}

TEST_F(MainFrmTest, DuplicateMessageRaisesVisibleFramesOnly)
{
    frame->OnCreate();
    Place();
    messenger.handler(QStringLiteral("G_VEXA_BLOCK_DUPLICATE_PROCESS_MSG"), QStringLiteral("other"));
    EXPECT_TRUE(frame->isVisible());

    mainPage->login = true;
    PressClose();  // hidden to the tray
    messenger.handler(QStringLiteral("G_VEXA_BLOCK_DUPLICATE_PROCESS_MSG"), QStringLiteral("other"));
    EXPECT_FALSE(frame->isVisible());
}

TEST(ProcessMessengerTest, FramesRoundTripAndRejectGarbage)
{
    const QByteArray frame = LocalSocketMessenger::EncodeFrame(QStringLiteral("G_VEXA_BLOCK_DUPLICATE_PROCESS_MSG"),
                                                               QStringLiteral("12:ab\tc\n"));
    EXPECT_EQ(frame, QByteArray("G_VEXA_BLOCK_DUPLICATE_PROCESS_MSG\t12:abc\n"));
    QString message, sender;
    ASSERT_TRUE(LocalSocketMessenger::DecodeFrame(frame, &message, &sender));
    EXPECT_EQ(message, QStringLiteral("G_VEXA_BLOCK_DUPLICATE_PROCESS_MSG"));
    EXPECT_EQ(sender, QStringLiteral("12:abc"));
    for (const char* bad : {"", "no newline", "\tsender\n", "two\tlines\n\n"}) {
        EXPECT_FALSE(LocalSocketMessenger::DecodeFrame(bad, &message, &sender)) << bad;
    }
}

TEST(ProcessMessengerTest, MessageReachesTheServingProcessOverTheSocket)
{
    TempDir dir;
    qputenv("TMPDIR", dir.QPath().toUtf8());
    LocalSocketMessenger server(QStringLiteral("orvanta-test-messenger"));
    QString got;
    ASSERT_TRUE(server.Serve([&got](const QString& message, const QString& sender) {
        got = message + QLatin1Char('|') + sender;
    }));
    LocalSocketMessenger client(QStringLiteral("orvanta-test-messenger"));
    std::atomic<bool> sent{false};
    std::thread sender([&] { sent = client.Send(QStringLiteral("HELLO"), QStringLiteral("x")); });
    QElapsedTimer timer;
    timer.start();
    while (got.isEmpty() && timer.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    sender.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(got, QStringLiteral("HELLO|x"));

    LocalSocketMessenger nobody(QStringLiteral("orvanta-test-nobody"));
    EXPECT_FALSE(nobody.Send(QStringLiteral("HELLO"), QStringLiteral("x")));
    qunsetenv("TMPDIR");
}

TEST(ProcessMessengerTest, NameIsTakenOnceAndLeavesNoFile)
{
    TempDir dir;
    qputenv("TMPDIR", dir.QPath().toUtf8());
    const QString name = QStringLiteral("orvanta-test-taken");
    EXPECT_FALSE(LocalSocketMessenger::IsServed(name, 200));
    LocalSocketMessenger first(name);
    ASSERT_TRUE(first.Serve([](const QString&, const QString&) {}));
    EXPECT_TRUE(LocalSocketMessenger::IsServed(name, 1000));
    // A process that finds the name taken is told so instead of silently serving nothing.
    LocalSocketMessenger second(name);
    EXPECT_FALSE(second.Serve([](const QString&, const QString&) {}));
    // No socket file anywhere a killed client could leave it or another user could take it.
    EXPECT_TRUE(QDir(dir.QPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/") + name));
    qunsetenv("TMPDIR");
}

}  // namespace
