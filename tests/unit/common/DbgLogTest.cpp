#include "diag/DbgLog.h"
#include "FakeClock.h"
#include "LogReader.h"
#include "MemorySettingsStore.h"
#include "platform/ModulePath.h"
#include "TempDir.h"
#include "text/TextConv.h"

#include <gtest/gtest.h>

#include <QFile>
#include <regex>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadBytes(const std::wstring& path)
{
    return ReadFileBytes(WideToUtf8(path));
}

bool FileExists(const std::wstring& path)
{
    return QFile::exists(QString::fromStdWString(path));
}

std::vector<std::wstring> ReadLines(const std::wstring& path)
{
    return ReadLogLines(path);
}

std::wstring Module()
{
    return GetExecutableName();
}

std::wstring Head(const std::wstring& time)
{
    wchar_t buf[256];
    std::swprintf(buf, 256, L"[%ls][%ls][PID:%04d][TID:%05d]\t", time.c_str(), Module().c_str(),
                  static_cast<int>(getpid()), static_cast<int>(syscall(SYS_gettid)));
    return buf;
}

class DbgLogTest : public ::testing::Test
{
protected:
    void SetUp() override { CDbgLog::ResetReloadTick(); }

    // A log set up the way the client's start-up does it, with the switch at `regValue`.
    std::unique_ptr<CDbgLog> MakeClientLog(std::optional<uint32_t> regValue,
                                           const std::wstring& name = L"Orvanta.txt")
    {
        if (regValue) {
            store.WriteDword(L"LogOption", name, *regValue);
        }
        auto log = std::make_unique<CDbgLog>(&store, &clock);
        log->SetDebugOutput([this](const std::wstring& text) { debugOut.push_back(text); });
        log->SetLogDir(dir.Path() + L"Log");
        log->SetLogFileName(name);
        log->InitLog();
        return log;
    }

    std::wstring LogFile(const std::wstring& name) { return dir.Path() + L"Log/" + name; }

    TempDir dir;
    MemorySettingsStore store;
    FakeClock clock{2024, 5, 17, 9, 15, 2};
    std::vector<std::wstring> debugOut;
};

TEST_F(DbgLogTest, WritesUtf16LinesWithMarksLocationAndTag)
{
    auto log = MakeClientLog(1);
    log->GD_DebugPrintW(114, L"COrvantaApp::InitInstance", L"C:\\src\\Orvanta",
                        L"strCmdLine=%ls", L"[LogEnable=Y] 한글");

    const std::wstring path = LogFile(L"Orvanta_2024-05-17.txt");
    const std::string bytes = ReadBytes(path);
    const std::wstring expected2 = Head(L"2024-05-17 09:15:02") +
                                   L"strCmdLine=[LogEnable=Y] 한글[@114/COrvantaApp::InitInstance/Orvanta]\r\n";
    const std::string tail = std::string("\xFF\xFE", 2) + WideToUtf16Le(expected2);
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    ASSERT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));

    const auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u);
    const std::wstring tagged = Head(L"2024-05-17 09:15:02") + L"[" + Module() +
                                L"-Orvanta_2024-05-17.txt]Orvanta_2024-05-17.txt=1, regval=1[@";
    EXPECT_EQ(lines[0].substr(0, tagged.size()), tagged);
    EXPECT_TRUE(std::regex_match(WideToUtf8(lines[0].substr(tagged.size())),
                                 std::regex(R"(\d+/CDbgLog::InitLog/DbgLog\])")));
}

struct MessageCase
{
    const char* name;
    std::function<void(CDbgLog&)> print;
    std::wstring expectedMessage;  // between the tab and the location
    bool hasLocation;
};

void PrintTo(const MessageCase& c, std::ostream* os)
{
    *os << c.name;
}

class DbgLogMessageTest : public DbgLogTest, public ::testing::WithParamInterface<MessageCase>
{
};

TEST_P(DbgLogMessageTest, WritesMessageAsFormatted)
{
    auto log = MakeClientLog(1);
    GetParam().print(*log);
    const auto lines = ReadLines(LogFile(L"Orvanta_2024-05-17.txt"));
    ASSERT_EQ(lines.size(), 2u);
    std::wstring expected = Head(L"2024-05-17 09:15:02") + GetParam().expectedMessage;
    if (GetParam().hasLocation) {
        expected += L"[@7/CCidDlg::FE_CID_Open/CidDlg]";
    }
    EXPECT_EQ(lines[1], expected);
}

std::wstring Prefix8()
{
    return L"[" + Module() + L"]";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DbgLogMessageTest,
    ::testing::Values(
        MessageCase{"PercentSignsStayLiteral",
                    [](CDbgLog& l) { l.GD_DebugPrintW(7, L"CCidDlg::FE_CID_Open", L"CidDlg", L"%ls", L"100%s %d %%"); },
                    L"100%s %d %%", true},
        MessageCase{"NarrowKoreanConverted",
                    [](CDbgLog& l) { l.GD_DebugPrintA(7, L"CCidDlg::FE_CID_Open", L"CidDlg", "json=%s n=%d", "{\"이름\":\"홍길동\"}", 3); },
                    Prefix8() + L"json={\"이름\":\"홍길동\"} n=3", true},
        MessageCase{"NarrowWithoutLocation",
                    [](CDbgLog& l) { l.GD_DebugPrintNoLocA("no location %d", 5); },
                    Prefix8() + L"no location 5", false},
        // One bounded try: the line keeps what was formatted before the bad argument.
        MessageCase{"UnconvertibleArgumentKeepsWhatCameBefore",
                    [](CDbgLog& l) { l.GD_DebugPrintW(7, L"CCidDlg::FE_CID_Open", L"CidDlg", L"n=%d s=%s", 4, "\xff\xfe"); },
                    L"n=4 s=", true},
        MessageCase{"TaggedWide",
                    [](CDbgLog& l) { l.GD_DebugPrintTagW(7, L"CCidDlg::FE_CID_Open", L"CidDlg", L"v=%d", 9); },
                    L"[" + Module() + L"-Orvanta_2024-05-17.txt]v=9", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DbgLogTest, CutsLongMessagesAt40959Characters)
{
    auto log = MakeClientLog(1);
    const std::wstring wide(50000, L'가');
    log->GD_DebugPrintW(1, L"A::B", L"C", L"%ls", wide.c_str());
    const std::string narrow(50000, 'x');
    log->GD_DebugPrintNoLocA("%s", narrow.c_str());

    const auto lines = ReadLines(LogFile(L"Orvanta_2024-05-17.txt"));
    ASSERT_EQ(lines.size(), 3u);
    const size_t head = Head(L"2024-05-17 09:15:02").size();
    EXPECT_EQ(lines[1].size() - head - std::wstring(L"[@1/A::B/C]").size(), 40959u);
    EXPECT_EQ(lines[1].substr(head, 40959), wide.substr(0, 40959));
    EXPECT_EQ(lines[2].size() - head, 40959u);  // prefix included in the cut
}

TEST_F(DbgLogTest, ModeZeroDoesNothingAndReadsNoSettings)
{
    CDbgLog log(&store, &clock);
    log.SetLogDir(dir.Path() + L"Log");
    log.SetLogFileName(L"Orvanta.txt");
    const int readsBefore = store.reads;
    clock.AdvanceTick(60000);
    log.GD_DebugPrintW(1, L"A::B", L"C", L"hello");
    clock.AdvanceTick(60000);
    log.GD_DebugPrintW(1, L"A::B", L"C", L"hello");
    EXPECT_EQ(log.Mode(), 0);
    EXPECT_EQ(store.reads, readsBefore);
    EXPECT_FALSE(FileExists(LogFile(L"Orvanta_2024-05-17.txt")));
}

TEST_F(DbgLogTest, SwitchTurnedOnIsReadAtTheFirstPrintThirtySecondsLater)
{
    auto log = MakeClientLog(0);
    EXPECT_EQ(log->Mode(), 2);
    EXPECT_FALSE(log->Enabled());
    log->GD_DebugPrintW(1, L"A::B", L"C", L"first");  // takes the reload tick

    store.WriteDword(L"LogOption", L"Orvanta.txt", 1);
    clock.AdvanceTick(29999);
    log->GD_DebugPrintW(1, L"A::B", L"C", L"too early");
    EXPECT_FALSE(FileExists(LogFile(L"Orvanta_2024-05-17.txt")));

    clock.AdvanceTick(1);
    log->GD_DebugPrintW(1, L"A::B", L"C", L"written");
    const auto lines = ReadLines(LogFile(L"Orvanta_2024-05-17.txt"));
    ASSERT_EQ(lines.size(), 2u);  // the re-read's own line, then the print that caused it
    EXPECT_NE(lines[0].find(L"Orvanta_2024-05-17.txt=1, regval=1"), std::wstring::npos);
    EXPECT_NE(lines[1].find(L"\twritten[@1/A::B/C]"), std::wstring::npos);
}

TEST_F(DbgLogTest, ForceEnableIgnoresSwitchSetToZero)
{
    auto log = MakeClientLog(0);
    log->ForceEnable();
    log->GD_DebugPrintW(1, L"A::B", L"C", L"one");
    clock.AdvanceTick(31000);
    log->GD_DebugPrintW(1, L"A::B", L"C", L"two");
    log->InitLog();
    log->GD_DebugPrintW(1, L"A::B", L"C", L"three");
    const auto lines = ReadLines(LogFile(L"Orvanta_2024-05-17.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[2].find(L"\tthree["), std::wstring::npos);
}

TEST_F(DbgLogTest, NewDayStartsNewFile)
{
    auto log = MakeClientLog(1);
    clock.Set(2024, 5, 17, 23, 59, 59);
    log->GD_DebugPrintW(1, L"A::B", L"C", L"late");
    clock.Set(2024, 5, 18, 0, 0, 0);
    log->GD_DebugPrintW(1, L"A::B", L"C", L"early");

    const auto first = ReadLines(LogFile(L"Orvanta_2024-05-17.txt"));
    const auto second = ReadLines(LogFile(L"Orvanta_2024-05-18.txt"));
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].substr(0, 21), L"[2024-05-18 00:00:00]");
    EXPECT_NE(second[0].find(L"\tearly["), std::wstring::npos);
}

TEST_F(DbgLogTest, NameWithoutTxtGetsNoDate)
{
    auto log = MakeClientLog(1, L"trace.log");
    log->GD_DebugPrintW(1, L"A::B", L"C", L"x");
    EXPECT_EQ(log->FileName(), L"trace.log");
    EXPECT_EQ(ReadLines(LogFile(L"trace.log")).size(), 2u);
}

TEST_F(DbgLogTest, DebuggerModeSendsOnlyTheMessage)
{
    auto log = MakeClientLog(2);
    debugOut.clear();
    log->GD_DebugPrintW(1, L"A::B", L"C", L"wide %d", 1);
    log->GD_DebugPrintNoLocA("narrow %d", 2);
    EXPECT_EQ(debugOut, (std::vector<std::wstring>{L"wide 1", Prefix8() + L"narrow 2"}));
    EXPECT_FALSE(FileExists(LogFile(L"Orvanta_2024-05-17.txt")));
}

TEST_F(DbgLogTest, SetRegPathCreatesMissingSwitchButKeepsExistingOne)
{
    MakeClientLog(std::nullopt);
    EXPECT_EQ(store.ReadDword(L"LogOption", L"Orvanta.txt"), 0u);
    store.WriteDword(L"LogOption", L"Orvanta.txt", 2);
    MakeClientLog(std::nullopt);
    EXPECT_EQ(store.ReadDword(L"LogOption", L"Orvanta.txt"), 2u);
}

TEST_F(DbgLogTest, UnopenableStoreKeepsCurrentSettings)
{
    store.writable = false;
    auto log = MakeClientLog(std::nullopt);
    EXPECT_EQ(log->Mode(), 0);
}

TEST_F(DbgLogTest, UnopenableFileReportsAndDropsTheLine)
{
    auto log = MakeClientLog(1);
    log->SetLogDir(dir.Path() + L"missing/deeper");
    debugOut.clear();
    log->GD_DebugPrintW(1, L"A::B", L"C", L"lost");
    ASSERT_EQ(debugOut.size(), 2u);
    EXPECT_EQ(debugOut[0], L"[CDbgLog]  Open Fail");
    EXPECT_EQ(debugOut[1], dir.Path() + L"missing/deeper/Orvanta_2024-05-17.txt");
}

TEST_F(DbgLogTest, LauncherWritesShortLinesAndDatesItsFileOnce)
{
    store.WriteDword(L"LogOption", L"OrvantaStart.txt", 1);
    CDbgLog log(&store, &clock);
    log.SetLauncherForm(true);
    log.SetLogDir(dir.Path() + L"Log");
    log.SetLogFileName(L"OrvantaStart.txt");
    log.InitLog();
    clock.Set(2024, 5, 18, 0, 0, 1);
    log.GD_DebugPrintTagW(L"COrvantaStartApp::SetInitialInfo strCmdLine=%ls", L"[AutoRun=Y]");

    const auto lines = ReadLines(LogFile(L"OrvantaStart_2024-05-17.txt"));
    ASSERT_EQ(lines.size(), 2u);
    const std::wstring tag = L"[" + Module() + L"-OrvantaStart_2024-05-17.txt]";
    EXPECT_EQ(lines[0], Head(L"2024-05-17 09:15:02") + tag + L"OrvantaStart_2024-05-17.txt=1, regval=1");
    EXPECT_EQ(lines[1], Head(L"2024-05-18 00:00:01") + tag +
                            L"COrvantaStartApp::SetInitialInfo strCmdLine=[AutoRun=Y]");
}

class ThrowingStore : public MemorySettingsStore
{
public:
    bool CreateKey(const std::wstring&) override { throw std::runtime_error("store broken"); }
};

TEST_F(DbgLogTest, LauncherSurvivesFailingStoreInSetRegPath)
{
    ThrowingStore broken;
    CDbgLog log(&broken, &clock);
    log.SetLauncherForm(true);
    log.SetDebugOutput([this](const std::wstring& text) { debugOut.push_back(text); });
    log.SetRegPath();
    EXPECT_EQ(debugOut, (std::vector<std::wstring>{L"SetRegPath() start", L"SetRegPath() exception",
                                                   L"SetRegPath() End"}));
}

TEST_F(DbgLogTest, LinesFromManyThreadsStayWhole)
{
    auto log = MakeClientLog(1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 200; ++i) {
                log->GD_DebugPrintW(1, L"A::B", L"C", L"thread %d line %d %ls", t, i,
                                    std::wstring(300, L'x').c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto lines = ReadLines(LogFile(L"Orvanta_2024-05-17.txt"));
    ASSERT_EQ(lines.size(), 801u);
    const std::wregex shape(LR"(\[.*\]\[PID:\d{4,}\]\[TID:\d{5,}\]\tthread \d line \d+ x{300}\[@1/A::B/C\])");
    for (size_t i = 1; i < lines.size(); ++i) {
        ASSERT_TRUE(std::regex_search(lines[i], shape)) << i;
    }
}

TEST(DbgLogLabels, FunctionAndFileLabelsFromCompilerNames)
{
    EXPECT_EQ(DbgFunctionLabel("void COrvantaApp::InitInstance()"), L"COrvantaApp::InitInstance");
    EXPECT_EQ(DbgFunctionLabel("std::map<int, int> CCidManagerDlg::Find(int, std::map<int, int>)"),
              L"CCidManagerDlg::Find");
    EXPECT_EQ(DbgFunctionLabel("CDbgLog::CDbgLog()"), L"CDbgLog::CDbgLog");
    EXPECT_EQ(DbgFunctionLabel("COrvantaMainDlg::OnInitDialog()::<lambda()>"), L"COrvantaMainDlg::OnInitDialog");
    EXPECT_EQ(DbgFileLabel("/work/main/client/CidDlg.cpp"), L"CidDlg");
    EXPECT_EQ(DbgFileLabel("C:\\src\\Orvanta.cpp"), L"Orvanta");
}

}  // namespace
