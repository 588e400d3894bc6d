#include "E2eSupport.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QString kToken = QStringLiteral("[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8]");
const QString kTitle = QStringLiteral("라벤토");

bool Xdotool(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

// Presses at `from`, drags to `to` in small steps and releases, as a hand would. The pauses
// are the hand's pace (hover before the press, motion between steps), not waits for a result:
// the callers wait for the frame's new geometry.
void Drag(QPoint from, QPoint to)
{
    Xdotool({"mousemove", QString::number(from.x()), QString::number(from.y())});
    QThread::msleep(150);
    Xdotool({"mousedown", "1"});
    for (int step = 1; step <= 5; ++step) {
        const QPoint at = from + (to - from) * step / 5;
        Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        QThread::msleep(60);
    }
    Xdotool({"mouseup", "1"});
}

// The pause is the hand's hover before the press; the callers wait for the click's effect.
void Click(QPoint at)
{
    Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
    QThread::msleep(150);
    Xdotool({"click", "1"});
}

// The visible frame's rectangle; empty when none is visible.
QRect Frame()
{
    const auto windows = VisibleWindows(kTitle);
    return windows.isEmpty() ? QRect() : windows.first().rect;
}

QRect WaitForFrame(int timeoutMs)
{
    QRect rect;
    WaitUntil([&] { return !(rect = Frame()).isEmpty(); }, timeoutMs, 200);
    return rect;
}

// The frame's rectangle once it differs from `from` and has settled (the same on two looks in
// a row); the last one seen when that does not happen within the time.
QRect WaitForFrameChange(const QRect& from, int timeoutMs)
{
    QRect previous = from;
    QRect rect;
    WaitUntil([&] {
        rect = Frame();
        const bool bSettled = !rect.isEmpty() && rect != from && rect == previous;
        previous = rect;
        return bSettled;
    }, timeoutMs, 200);
    return rect;
}

bool WaitUntilHidden(int timeoutMs)
{
    return WaitUntil([] { return VisibleWindows(kTitle).isEmpty(); }, timeoutMs, 200);
}

class ClientShell : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveDisplay()) {
            GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        }
        ASSERT_TRUE(service.Start());
    }
    void TearDown() override
    {
        for (QProcess* process : {&client, &second}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QStringList Args() const
    {
        return {kToken, QStringLiteral("[LogEnable=Y]"), QStringLiteral("[URL=http://127.0.0.1]"),
                QStringLiteral("[PORT=%1]").arg(service.Port())};
    }

    void StartClient(QProcess& process) { folder.Start(process, QStringLiteral("Orvanta_Vexa"), Args()); }

    // The frame's close button for the stand-in page's look: border 1, title 25, buttons 18.
    static QPoint CloseButton(const QRect& frame) { return {frame.right() - 1 - 9, frame.top() + 1 + 9}; }

    ProgramFolder folder;
    StandInService service;
    QProcess client;
    QProcess second;
};

TEST_F(ClientShell, FrameShownCentredMovedSizedAndRestoredAtNextStart)
{
    StartClient(client);
    const QRect first = WaitForFrame(60000);
    ASSERT_FALSE(first.isEmpty()) << "the frame never became visible";
    EXPECT_EQ(first.size(), QSize(1100, 801));
    EXPECT_NEAR(first.center().x(), 960, 2);  // first start: centred on 1920 × 1080
    EXPECT_NEAR(first.center().y(), 540, 2);
    EXPECT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "MainFrame size : (0, 0, 1100, 801)", 1000));

    // Moved by its title strip.
    Drag(first.topLeft() + QPoint(300, 12), first.topLeft() + QPoint(200, 72));
    const QRect moved = WaitForFrameChange(first, 3000);
    EXPECT_EQ(moved.topLeft(), first.topLeft() + QPoint(-100, 60));
    EXPECT_EQ(moved.size(), first.size());

    // Sized by its right edge.
    Drag(QPoint(moved.right(), moved.center().y()), QPoint(moved.right() + 40, moved.center().y()));
    const QRect sized = WaitForFrameChange(moved, 3000);
    EXPECT_EQ(sized.topLeft(), moved.topLeft());
    EXPECT_EQ(sized.size(), QSize(1140, 801));

    // Closing while logged out ends the client at once and keeps the rectangle in the page.
    Click(CloseButton(sized));
    ASSERT_TRUE(client.waitForFinished(15000)) << "close while logged out did not end the client";
    EXPECT_EQ(client.exitCode(), 0);

    StartClient(client);
    const QRect again = WaitForFrame(60000);
    EXPECT_EQ(again, sized);
    const QString line = QStringLiteral("MainFrame size : (%1, %2, 1140, 801)").arg(sized.x()).arg(sized.y());
    EXPECT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", line, 2000)) << line.toStdString();
}

TEST_F(ClientShell, LoggedInCloseHidesToTrayAndSecondClientEnds)
{
    StartClient(client);
    const QRect frame = WaitForFrame(60000);
    ASSERT_FALSE(frame.isEmpty());

    ASSERT_TRUE(service.Push("FE_MAIN_Login", R"({"loginSession":"sess-e2e","autoRunOpt":true})"));
    ASSERT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "login msg recved.", 10000));
    QFile autostart(folder.ConfigHome() + "/autostart/OrvantaStart_Vexa.desktop");
    ASSERT_TRUE(autostart.open(QIODevice::ReadOnly));
    EXPECT_TRUE(autostart.readAll().contains(("Exec=\"" + folder.Path() + "OrvantaStart_Vexa\"").toUtf8()));

    Click(CloseButton(frame));
    EXPECT_TRUE(WaitUntilHidden(5000)) << "close while logged in must hide the frame";
    EXPECT_EQ(client.state(), QProcess::Running);

    // A second client gives way at once; the hidden frame stays hidden.
    QElapsedTimer timer;
    timer.start();
    StartClient(second);
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    RecordProperty("second_client_ms", static_cast<int>(timer.elapsed()));
    EXPECT_TRUE(VisibleWindows(kTitle).isEmpty());
    EXPECT_EQ(client.state(), QProcess::Running);

    // The page brings it back.
    ASSERT_TRUE(service.Push("FE_MAIN_Foreground", R"({"setForeground":true})"));
    const QRect shown = WaitForFrame(10000);
    EXPECT_EQ(shown, frame);
    EXPECT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "return 1", 5000));

    // Logged out, the close button ends it.
    ASSERT_TRUE(service.Push("FE_MAIN_Logout", R"({"resultCode":0})"));
    ASSERT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "logout msg recved. 1", 10000));
    Click(CloseButton(shown));
    ASSERT_TRUE(client.waitForFinished(15000));
    EXPECT_EQ(client.exitCode(), 0);
}

}  // namespace

namespace {

int CountWindowsOfSize(QSize size)
{
    int count = 0;
    for (const WindowGeometry& window : VisibleWindows(kTitle)) {
        count += window.rect.size() == size ? 1 : 0;
    }
    return count;
}

bool WaitForWindowsOfSize(QSize size, int count, int timeoutMs)
{
    return WaitUntil([&] { return CountWindowsOfSize(size) == count; }, timeoutMs, 200);
}

TEST_F(ClientShell, SessionChangesTrayTipAndAlertsCloseAtLogout)
{
    StartClient(client);
    ASSERT_FALSE(WaitForFrame(60000).isEmpty());

    struct Step
    {
        const char* method;
        QByteArray arg;
        QString expectedLine;
    };
    const Step steps[] = {
        {"FE_MAIN_Login", R"({"loginSession":"s-1"})", "tray icon 151, tip 라벤토 - 로그인"},
        {"FE_MAIN_LoginSession_ConnectState", R"({"loginSession":"s-1","connectState":0})",
         "tray icon 151, tip 라벤토 - 로그인(서버접속끊김)"},
        {"FE_MAIN_LoginSession_ConnectState", R"({"connectState":1})", "tray icon 151, tip 라벤토 - 로그인"},
    };
    int seen = 0;
    for (const Step& step : steps) {
        ASSERT_TRUE(service.Push(step.method, step.arg));
        // Each step adds one tray line; wait for the next one in order.
        int count = 0;
        WaitUntil([&] {
            count = ReadProgramLog(folder.Path(), "Orvanta").filter("tray icon ").size();
            return count > seen;
        }, 10000, 200);
        ASSERT_GT(count, seen) << step.method;
        seen = count;
        EXPECT_TRUE(ReadProgramLog(folder.Path(), "Orvanta").filter("tray icon ").last().contains(step.expectedLine))
            << step.method;
    }

    // The same address twice: two alert windows at the asked outer size.
    const QByteArray alert = "{\"alertUrl\":\"" + service.BaseUrl().toUtf8() +
                             "/alert.html?msg=1\",\"size\":{\"width\":420,\"height\":260}}";
    ASSERT_TRUE(service.Push("FE_MAIN_UserAlert", alert));
    ASSERT_TRUE(service.Push("FE_MAIN_UserAlert", alert));
    EXPECT_TRUE(WaitForWindowsOfSize(QSize(420, 260), 2, 30000)) << "two alerts expected";

    ASSERT_TRUE(service.Push("FE_MAIN_Logout", R"({"resultCode":0})"));
    EXPECT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "tray icon 152, tip 라벤토 - 로그아웃", 10000));
    EXPECT_TRUE(WaitForWindowsOfSize(QSize(420, 260), 0, 10000)) << "logout must close every alert";
    EXPECT_EQ(CountWindowsOfSize(QSize(1100, 801)), 1);
}

TEST_F(ClientShell, PageThatNeverReportsReadyIsLoadedThreeTimesThenTheClientGivesUp)
{
    // A main page without the bridge calls: it loads completely but never reports ready.
    QTemporaryDir pages;
    QFile silent(pages.path() + "/index.html");
    ASSERT_TRUE(silent.open(QIODevice::WriteOnly));
    silent.write("<!DOCTYPE html><html><body>점검 중</body></html>");
    silent.close();
    StandInService quiet;
    ASSERT_TRUE(quiet.Start({"--pages", pages.path()}));

    folder.Start(client, "Orvanta_Vexa",
                 {kToken, "[LogEnable=Y]", "[URL=http://127.0.0.1]", QStringLiteral("[PORT=%1]").arg(quiet.Port())});
    const QString box = WaitForWindowByTitle(kTitle, 60000);
    ASSERT_FALSE(box.isEmpty()) << "no connection message";
    const QStringList log = ReadProgramLog(folder.Path(), "Orvanta");
    EXPECT_EQ(log.filter("need retry ").size(), 2);
    const QByteArray requests = quiet.Get("/demo/requests?path=/service");
    // Each pass checks the server (agent "HTTPTEST") and then navigates.
    EXPECT_EQ(requests.count("\"/service\""), 6) << requests.constData();
    EXPECT_EQ(requests.count("\"HTTPTEST\""), 3) << requests.constData();
    EXPECT_EQ(client.state(), QProcess::Running);  // the message waits for the user
    SendKey(box, "Return");
    ASSERT_TRUE(client.waitForFinished(15000));
    EXPECT_EQ(client.exitCode(), 0);
}

}  // namespace

namespace {

QSize WindowSize(const QString& id)
{
    QProcess geometry;
    geometry.start("xdotool", {"getwindowgeometry", "--shell", id});
    geometry.waitForFinished(5000);
    const QString text = QString::fromUtf8(geometry.readAllStandardOutput());
    return {text.section("WIDTH=", 1).section('\n', 0, 0).toInt(), text.section("HEIGHT=", 1).section('\n', 0, 0).toInt()};
}

// The visible windows of the program (frame, icon, menus), by id.
QStringList ProgramWindows()
{
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--class", "Orvanta_Vexa"});
    search.waitForFinished(5000);
    return QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// The client's icon inside the tray host's panel: a small visible window of the program.
QString FindTrayIcon(int timeoutMs)
{
    QString icon;
    WaitUntil([&] {
        for (const QString& id : ProgramWindows()) {
            const QSize size = WindowSize(id);
            if (size.width() >= 8 && size.width() <= 64 && size.height() >= 8 && size.height() <= 64) {
                icon = id;
                return true;
            }
        }
        return false;
    }, timeoutMs, 300);
    return icon;
}

// The pause is the hand's hover before the press; the callers wait for the click's effect.
void ClickWindow(const QString& id, const QString& button, int repeat = 1)
{
    Xdotool({"mousemove", "--window", id, "8", "8"});
    QThread::msleep(200);
    Xdotool({"click", "--repeat", QString::number(repeat), "--delay", "80", button});
}

TEST_F(ClientShell, TrayIconShowsFrameAndItsMenuExitsWhileLoggedOut)
{
    QProcess tray;
    tray.start("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
                          "--heighttype", "pixel", "--height", "32"});
    ASSERT_TRUE(tray.waitForStarted(5000));
    // The tray host is up before the client starts, as on a desktop.
    WaitUntil([] {
        QProcess search;
        search.start("xdotool", {"search", "--onlyvisible", "--class", "trayer"});
        search.waitForFinished(5000);
        return !search.readAllStandardOutput().trimmed().isEmpty();
    }, 10000, 100);

    StartClient(client);
    const QRect frame = WaitForFrame(60000);
    ASSERT_FALSE(frame.isEmpty());
    ASSERT_FALSE(FindTrayIcon(20000).isEmpty()) << "no tray icon in the tray host";

    // Logged in, the close button hides to the tray and the icon brings the frame back.
    ASSERT_TRUE(service.Push("FE_MAIN_Login", R"({"loginSession":"t-1"})"));
    ASSERT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "tip 라벤토 - 로그인", 10000));
    Click(CloseButton(frame));
    ASSERT_TRUE(WaitUntilHidden(5000));
    // Each state change adds the icon anew, so look it up before every click.
    ClickWindow(FindTrayIcon(5000), "1", 2);
    EXPECT_EQ(WaitForFrame(5000), frame) << "a double click on the icon shows the frame where it was";

    // Logged out, the menu's first item is greyed: Down lands on "종료", whose question ends it.
    ASSERT_TRUE(service.Push("FE_MAIN_Logout", R"({})"));
    ASSERT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "tip 라벤토 - 로그아웃", 10000));
    const QString icon = FindTrayIcon(5000);
    const QStringList before = ProgramWindows();
    ClickWindow(icon, "3");
    // Its menu: a new window of the program, larger than an icon or a tip.
    WaitUntil([&] {
        for (const QString& id : ProgramWindows()) {
            const QSize size = WindowSize(id);
            if (!before.contains(id) && size.width() > 64 && size.height() > 32) {
                return true;
            }
        }
        return false;
    }, 5000, 100);
    Xdotool({"key", "Down"});
    QThread::msleep(200);  // the hand's pace between two keys in the menu
    Xdotool({"key", "Return"});
    const QString question = WaitForWindowByTitle(kTitle + QString(), 10000);
    ASSERT_FALSE(question.isEmpty());
    WaitForFocus(question, 2000);
    Xdotool({"key", "Return"});  // Yes
    ASSERT_TRUE(client.waitForFinished(15000)) << "exit from the tray menu did not end the client";
    EXPECT_EQ(client.exitCode(), 0);

    tray.kill();
    tray.waitForFinished(3000);
}

}  // namespace

namespace {

TEST_F(ClientShell, IncomingCallFromThePageBecomesAPlacedPopup)
{
    StartClient(client);
    ASSERT_FALSE(WaitForFrame(60000).isEmpty());
    ASSERT_TRUE(service.Push("FE_MAIN_Login", R"({"loginSession":"call-1","cidOpt":{"enable":true}})"));
    ASSERT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "login msg recved.", 10000));

    ASSERT_TRUE(service.Push("FE_MAIN_Call_Recv_Noti",
                             R"({"callLogNo":9001,"userPhone":"07012345678","peerPhone":"01099998888",)"
                             R"("peerName":"홍길동","callResult":102,"callTime":"2026-12-10 10:00:00",)"
                             R"("cidTypeInfo":{"cidType":21,"width":382,"height":202}})"));
    // Right bottom corner of the 1920 × 1080 screen (no taskbar on the virtual display).
    EXPECT_TRUE(WaitForLogLine(folder.Path(), "Orvanta", "SetCidWindowPos => (1538, 878, 382, 202)", 20000));
    // Shown only once its page, loaded by the POST, reported ready.
    EXPECT_TRUE(WaitForWindowsOfSize(QSize(382, 202), 1, 20000)) << "the popup never showed";
    const QByteArray posted = service.Get("/demo/requests?path=/cid");
    EXPECT_TRUE(posted.contains("\\\"peerPhone\\\" : \\\"01099998888\\\"")) << posted.constData();
    EXPECT_TRUE(posted.contains("\\\"loginSession\\\" : \\\"call-1\\\"")) << posted.constData();
}

}  // namespace
