#include "logic/MainPageRules.h"
#include "MemorySettingsStore.h"
#include "mainpage/StartupEntries.h"
#include "TempDir.h"
#include "platform/WaitableEvents.h"
#include "text/TextConv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <thread>

namespace {

TEST(MainUrlTest, AddressByPortAndStartState)
{
    struct Case
    {
        int port;
        bool initStarted;
        bool autoRun;
        std::wstring expected;
    };
    const Case cases[] = {
        {-1, true, false, L"https://svc.example/?clientType=WI&displayMode=MB"},
        {0, true, true, L"https://svc.example/?clientType=WI&displayMode=MB&autoRunOpt=1"},
        {8080, true, false, L"https://svc.example:8080/service?clientType=WI"},
        {8080, true, true, L"https://svc.example:8080/service?clientType=WI&autoRunOpt=1"},
        {8080, false, true, L"https://svc.example:8080/service?clientType=WI&resetLS=1"},
        {-1, false, false, L"https://svc.example/?clientType=WI&displayMode=MB&resetLS=1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildMainUrl(L"https://svc.example", c.port, c.initStarted, c.autoRun), c.expected);
    }
}

TEST(StoredRectTest, AcceptedOnlyOnItsScreen)
{
    const QRect screen(0, 0, 1920, 1080);
    struct Case
    {
        QRect rect;
        bool accepted;
    };
    const Case cases[] = {
        {{100, 100, 1100, 801}, true},
        {{1900, 100, 1100, 801}, true},    // 20 pixels inside the right edge
        {{1901, 100, 1100, 801}, false},   // 19 pixels inside
        {{100, 1060, 1100, 801}, true},
        {{100, 1061, 1100, 801}, false},
        {{-1, 100, 1100, 801}, false},
        {{0, -1, 1100, 801}, false},
        {{0, 0, 1920, 1080}, true},        // exactly the screen
        {{0, 0, 1921, 801}, false},
        {{0, 0, 1100, 1081}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsStoredRectAcceptable(c.rect, screen), c.accepted)
            << c.rect.x() << "," << c.rect.y() << " " << c.rect.width() << "x" << c.rect.height();
    }
    // A second screen to the left of the primary one.
    EXPECT_TRUE(IsStoredRectAcceptable(QRect(-1800, 50, 1100, 801), QRect(-1920, 0, 1920, 1080)));
}

TEST(LoadRetryTest, ThreeTriesThenGiveUp)
{
    EXPECT_EQ(DecideLoadRetry(0), LoadRetry::Retry);
    EXPECT_EQ(DecideLoadRetry(1), LoadRetry::Retry);
    EXPECT_EQ(DecideLoadRetry(2), LoadRetry::GiveUp);
    EXPECT_EQ(DecideLoadRetry(3), LoadRetry::GiveUp);
}

TEST(StoredRectTest, PageNumbersOutOfRangeAreRejectedBeforeTheScreenCheck)
{
    struct Case
    {
        int x, y, w, h;
        bool bInRange;
    };
    const Case cases[] = {
        {100, 100, 1100, 801, true},
        {-1800, 50, 1100, 801, true},
        {0, 0, 0, 801, false},
        {0, 0, 1100, -1, false},
        {2147483647, 0, 1100, 801, false},
        {0, -2147483647 - 1, 1100, 801, false},
        {0, 0, 2147483647, 2147483647, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsStoredRectInRange(c.x, c.y, c.w, c.h), c.bInRange) << c.x << "," << c.y << "," << c.w << "," << c.h;
    }
}

TEST(FrameLookTest, BorderAndMinimumSizeAreBounded)
{
    EXPECT_EQ(ClampBorderSize(4), 4);
    EXPECT_EQ(ClampBorderSize(-3), 0);
    EXPECT_EQ(ClampBorderSize(2147483647), kMaxBorderSize);
    // The documented case: border 4, minimum 300 by 200 under a 25-pixel title.
    EXPECT_EQ(MinTrackSize(300, 200, 4, 25), QSize(308, 229));
    EXPECT_EQ(MinTrackSize(2147483647, 2147483647, kMaxBorderSize, 25), QSize(kMaxMinTrackSide, kMaxMinTrackSide));
    EXPECT_EQ(MinTrackSize(-2147483647 - 1, -5, 0, 0), QSize(0, 0));
    EXPECT_EQ(ClampAlertSize(400, 300, QSize(1920, 1080)), QSize(400, 300));
    EXPECT_EQ(ClampAlertSize(2147483647, -20, QSize(1920, 1080)), QSize(1920, 1));
    EXPECT_EQ(ClampAlertSize(0, 0, QSize()), QSize(1, 1));
}

TEST(ServiceAddressTest, CommandLinePortReplacesTheAddressPort)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"http://127.0.0.1:8470", L"http://127.0.0.1"},
        {L"https://svc.example", L"https://svc.example"},
        {L"https://svc.example:443/", L"https://svc.example/"},
        {L"http://[::1]:8470", L"http://[::1]"},
        {L"http://[::1]", L"http://[::1]"},
        {L"http://host:abc", L"http://host:abc"},
        {L"svc.example:8080", L"svc.example"},
        {L"", L""},
    };
    for (const auto& [url, expected] : cases) {
        EXPECT_EQ(AddressWithoutPort(url), expected) << WideToUtf8(url);
    }
    // The main page address from the default address and a port of the command line.
    EXPECT_EQ(BuildMainUrl(AddressWithoutPort(L"http://127.0.0.1:8470"), 9000, true, false),
              L"http://127.0.0.1:9000/service?clientType=WI");
}

class StartupEntriesTest : public ::testing::Test
{
protected:
    QString Autostart() const { return dir.QPath() + QStringLiteral("/autostart/OrvantaStart_Vexa.desktop"); }
    QByteArray ReadAutostart() const
    {
        QFile file(Autostart());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempDir dir;
    MemorySettingsStore store;
};

TEST_F(StartupEntriesTest, FirstStartMarkReadsOneOnly)
{
    CStartupEntries entries(store, Autostart(), L"/opt/app/OrvantaStart_Vexa");
    EXPECT_FALSE(entries.IsInitStart());
    store.WriteDword(L"Install", L"InitStart", 2);
    EXPECT_FALSE(entries.IsInitStart());
    ASSERT_TRUE(entries.SetInitStart());
    EXPECT_TRUE(entries.IsInitStart());
    EXPECT_EQ(store.ReadString(L"Install", L"InitStart"), L"1");
    store.writable = false;
    EXPECT_FALSE(CStartupEntries(store, Autostart(), L"x").SetInitStart());
}

TEST_F(StartupEntriesTest, AutoRunEntryNamesTheLauncherWhole)
{
    const std::wstring longPath =
        L"/home/user/" + std::wstring(140, L'a') + L"/프로그램 폴더/OrvantaStart_Vexa";
    CStartupEntries entries(store, Autostart(), longPath);
    EXPECT_FALSE(entries.IsAutoRun());
    ASSERT_TRUE(entries.SetAutoRun(true));
    EXPECT_TRUE(entries.IsAutoRun());
    const QByteArray text = ReadAutostart();
    EXPECT_TRUE(text.contains(("Exec=\"" + QString::fromStdWString(longPath) + "\"\n").toUtf8()))
        << text.constData();
    ASSERT_TRUE(entries.SetAutoRun(false));
    EXPECT_FALSE(entries.IsAutoRun());
    EXPECT_FALSE(QFile::exists(Autostart()));
    EXPECT_TRUE(entries.SetAutoRun(false));  // removing what is not there is fine
}

TEST_F(StartupEntriesTest, EntryWithEmptyExecDoesNotCount)
{
    QDir().mkpath(dir.QPath() + QStringLiteral("/autostart"));
    QFile file(Autostart());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nExec=\n");
    file.close();
    EXPECT_FALSE(CStartupEntries(store, Autostart(), L"x").IsAutoRun());
}

TEST(DesktopEntryExecTest, QuotedAndEscapedAsADesktopEntryReadsIt)
{
    struct Case
    {
        const char* name;
        QString path;
        QString expected;  // as it stands in the file after "Exec="
    };
    const Case cases[] = {
        {"Plain", QStringLiteral("/usr/lib/orvanta-vexa/OrvantaStart_Vexa"),
         QStringLiteral(R"("/usr/lib/orvanta-vexa/OrvantaStart_Vexa")")},
        {"BlanksAndKorean", QStringLiteral("/home/u/프로그램 폴더/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/프로그램 폴더/OrvantaStart_Vexa")")},
        {"Dollar", QStringLiteral("/home/u/$HOME/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/\\$HOME/OrvantaStart_Vexa")")},
        {"DoubleQuote", QStringLiteral("/home/u/\"q\"/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/\\"q\\"/OrvantaStart_Vexa")")},
        {"Backtick", QStringLiteral("/home/u/`id`/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/\\`id\\`/OrvantaStart_Vexa")")},
        {"Backslash", QStringLiteral("/home/u/a\\b/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/a\\\\b/OrvantaStart_Vexa")")},
        {"Percent", QStringLiteral("/home/u/100%u/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/100%%u/OrvantaStart_Vexa")")},
        {"LineBreakStaysInTheValue", QStringLiteral("/home/u/a\nExec=/bin/false\n/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/a\nExec=/bin/false\n/OrvantaStart_Vexa")")},
        {"TabAndReturn", QStringLiteral("/home/u/a\tb\rc/OrvantaStart_Vexa"),
         QStringLiteral(R"("/home/u/a\tb\rc/OrvantaStart_Vexa")")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DesktopEntryExec(c.path), c.expected) << c.name;
    }
}

TEST_F(StartupEntriesTest, HostilePathMakesOneExecLine)
{
    CStartupEntries entries(store, Autostart(), L"/home/u/x\nExec=/bin/false\nHidden=true/OrvantaStart_Vexa");
    ASSERT_TRUE(entries.SetAutoRun(true));
    const QList<QByteArray> lines = ReadAutostart().split('\n');
    int execLines = 0;
    for (const QByteArray& line : lines) {
        execLines += line.startsWith("Exec=") ? 1 : 0;
        EXPECT_FALSE(line.startsWith("Hidden=")) << line.constData();
    }
    EXPECT_EQ(execLines, 1);
}

TEST_F(StartupEntriesTest, OffRemovesAnEntryWhicheverLauncherWroteIt)
{
    ASSERT_TRUE(CStartupEntries(store, Autostart(), L"/work/build/bin/OrvantaStart_Vexa").SetAutoRun(true));
    CStartupEntries installed(store, Autostart(), L"/usr/lib/orvanta-vexa/OrvantaStart_Vexa");
    EXPECT_TRUE(installed.IsAutoRun());
    ASSERT_TRUE(installed.SetAutoRun(false));
    EXPECT_FALSE(QFile::exists(Autostart()));

    // On again, it names the launcher of the client that writes it.
    ASSERT_TRUE(CStartupEntries(store, Autostart(), L"/work/build/bin/OrvantaStart_Vexa").SetAutoRun(true));
    ASSERT_TRUE(installed.SetAutoRun(true));
    const QByteArray text = ReadAutostart();
    EXPECT_TRUE(text.contains("\nExec=\"/usr/lib/orvanta-vexa/OrvantaStart_Vexa\"\n")) << text.constData();
    EXPECT_FALSE(text.contains("/work/build")) << text.constData();
}

TEST(WaitableEventsTest, LowerIndexFirstThenTimeoutAndStop)
{
    CWaitableEvents events(2);
    events.Set(1);
    events.Set(0);
    EXPECT_EQ(events.WaitAny(std::chrono::milliseconds(10)), 0);
    EXPECT_EQ(events.WaitAny(std::chrono::milliseconds(10)), 1);
    EXPECT_EQ(events.WaitAny(std::chrono::milliseconds(10)), CWaitableEvents::kTimedOut);

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        events.Set(1);
    });
    EXPECT_EQ(events.WaitAny(std::chrono::seconds(10)), 1);
    setter.join();

    std::thread stopper([&] { events.Stop(); });
    EXPECT_EQ(events.WaitAny(std::chrono::seconds(10)), CWaitableEvents::kStopped);
    stopper.join();
}

}  // namespace
