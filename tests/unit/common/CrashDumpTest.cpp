#include "diag/CrashDump.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <elf.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// ---- File name ----

class CrashDumpName : public testing::Test
{
protected:
    void TearDown() override { g_strDumpPrefix = m_strSaved; }
    std::string m_strSaved = g_strDumpPrefix;
};

std::tm Date(int year, int month, int day)
{
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    return date;
}

TEST_F(CrashDumpName, PrefixIsTheFrontOfThePath)
{
    struct Case
    {
        const char* prefix;
        std::tm date;
        const char* expected;
    };
    const Case cases[] = {
        {"/opt/orvanta/Orvamta", Date(2024, 5, 17), "/opt/orvanta/Orvamta2024.05.17.dmp"},
        {"/opt/orvanta/Orvamta", Date(2025, 1, 2), "/opt/orvanta/Orvamta2025.01.02.dmp"},
        {"/home/user/라벤토/Orvamta", Date(2026, 12, 10), "/home/user/라벤토/Orvamta2026.12.10.dmp"},
        {"Orvamta", Date(1999, 10, 31), "Orvamta1999.10.31.dmp"},
    };
    for (const Case& c : cases) {
        g_strDumpPrefix = c.prefix;
        EXPECT_EQ(c.expected, CrashDumpFileName(c.date)) << c.prefix;
    }
}

TEST_F(CrashDumpName, WithoutPrefixTheProgramNameIsUsedWithoutFolder)
{
    g_strDumpPrefix.clear();
    EXPECT_EQ(std::string(CRASH_TEST_NAME) + "2026.12.10.dmp", CrashDumpFileName(Date(2026, 12, 10)));
    EXPECT_EQ(std::string(CRASH_TEST_NAME) + "2027.03.09.dmp", CrashDumpFileName(Date(2027, 3, 9)));
}

// ---- The handler's own date ----

TEST(CrashDumpDate, LocalDateFromUtcOffset)
{
    struct Case
    {
        std::time_t now;
        long offset;
        int year, month, day;
    };
    const Case cases[] = {
        {1709236800, 9 * 3600, 2024, 3, 1},   // 2024-02-29 20:00 UTC, UTC+9
        {1704034800, 9 * 3600, 2024, 1, 1},   // exactly local midnight of a new year
        {1704034799, 9 * 3600, 2023, 12, 31}, // one second before
        {1709262000, -5 * 3600, 2024, 2, 29}, // back into a leap day
        {4107542399, 1, 2100, 3, 1},          // 2100 is no leap year
        {1800, -3600, 1969, 12, 31},          // before the epoch
        {1796914799, 9 * 3600, 2026, 12, 10},
    };
    for (const Case& c : cases) {
        const std::tm date = CrashDumpLocalDate(c.now, c.offset);
        EXPECT_EQ(c.year, date.tm_year + 1900) << c.now;
        EXPECT_EQ(c.month, date.tm_mon + 1) << c.now;
        EXPECT_EQ(c.day, date.tm_mday) << c.now;
    }
}

TEST(CrashDumpDate, AgreesWithTheCLibraryOverThreeCenturies)
{
    constexpr std::time_t kDay = 86400;
    for (std::time_t t = -kDay * 365 * 10; t < kDay * 365 * 300; t += kDay - 1234) {
        const long offset = static_cast<long>(t % 50400) - 25200; // -7h .. +7h
        const std::time_t shifted = t + offset;
        std::tm expected{};
        ASSERT_NE(nullptr, ::gmtime_r(&shifted, &expected));
        const std::tm date = CrashDumpLocalDate(t, offset);
        ASSERT_EQ(expected.tm_year, date.tm_year) << t;
        ASSERT_EQ(expected.tm_mon, date.tm_mon) << t;
        ASSERT_EQ(expected.tm_mday, date.tm_mday) << t;
    }
}

// ---- Crashing a real process ----

struct ChildRun
{
    int status = -1;
    pid_t pid = -1;
    std::string output;
};

// Runs the crash child in `cwd`; a child that hangs is killed after a minute.
ChildRun RunChild(const std::string& cwd, const std::string& mode, const std::string& prefix)
{
    ChildRun run;
    int out[2];
    if (::pipe(out) != 0) {
        return run;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        if (::chdir(cwd.c_str()) != 0) {
            ::_exit(120);
        }
        std::vector<char*> args = {const_cast<char*>(CRASH_CHILD_PATH), const_cast<char*>(mode.c_str())};
        if (!prefix.empty()) {
            args.push_back(const_cast<char*>(prefix.c_str()));
        }
        args.push_back(nullptr);
        ::execv(CRASH_CHILD_PATH, args.data());
        ::_exit(121);
    }
    ::close(out[1]);
    run.pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &run.status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &run.status, 0);
            ADD_FAILURE() << "crash child hung in mode " << mode;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof(buf))) > 0) {
        run.output.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    return run;
}

std::string CrashingThread(const ChildRun& run)
{
    const std::string tag = "crashing thread ";
    const size_t at = run.output.find(tag);
    if (at == std::string::npos) {
        return {};
    }
    const size_t end = run.output.find('\n', at);
    return run.output.substr(at + tag.size(), end - at - tag.size());
}

std::string Debug(const std::string& dump)
{
    const std::string command = std::string("'") + GDB_PATH + "' -nx -batch"
        + " -iex 'set debuginfod enabled off'"
        + " -ex 'bt 8' -ex 'info threads' -ex 'print/d g_lCrashCookie' -ex 'print g_pszHeapCookie'"
        + " -ex 'echo FAULT=' -ex 'output/x (unsigned long) $_siginfo._sifields._sigfault.si_addr'"
        + " -ex 'echo \\nSP=' -ex 'output/x $sp' -ex 'echo \\n'"
        + " -ex 'echo MAPPED FILES\\n' -ex 'info proc mappings'"
        + " -ex 'echo ALL THREADS\\n' -ex 'thread apply all bt 8' '"
        + CRASH_CHILD_PATH + "' '" + dump + "' 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0) {
        output.append(buf, n);
    }
    ::pclose(pipe);
    return output;
}

constexpr unsigned long long kNoValue = ~0ULL;

// The hexadecimal number right after `tag`, or kNoValue.
unsigned long long HexAfter(const std::string& text, const std::string& tag)
{
    const size_t at = text.find(tag);
    if (at == std::string::npos || text.compare(at + tag.size(), 2, "0x") != 0) {
        return kNoValue;
    }
    return std::stoull(text.substr(at + tag.size()), nullptr, 16);
}

// The line of `info threads` that marks the current thread.
std::string CurrentThreadLine(const std::string& gdbOutput)
{
    const size_t at = gdbOutput.find("\n* ");
    if (at == std::string::npos) {
        return {};
    }
    return gdbOutput.substr(at + 1, gdbOutput.find('\n', at + 1) - at - 1);
}

// The backtrace's frame lines must name `functions` in this order, each in a later frame.
::testing::AssertionResult FramesInOrder(const std::string& gdbOutput, const std::vector<std::string>& functions)
{
    std::vector<std::string> frames;
    size_t pos = 0;
    while (pos < gdbOutput.size()) {
        const size_t end = gdbOutput.find('\n', pos);
        const std::string line = gdbOutput.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty() && line[0] == '#') {
            frames.push_back(line);
        }
        pos = end == std::string::npos ? gdbOutput.size() : end + 1;
    }
    size_t frame = 0;
    for (const std::string& function : functions) {
        while (frame < frames.size() && frames[frame].find(" " + function + " ") == std::string::npos) {
            ++frame;
        }
        if (frame == frames.size()) {
            return ::testing::AssertionFailure() << "no frame for " << function << " in order:\n" << gdbOutput;
        }
        ++frame;
    }
    return ::testing::AssertionSuccess();
}

// A core file whose program headers describe exactly the bytes in the file.
::testing::AssertionResult IsCompleteCore(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    Elf64_Ehdr eh{};
    if (!file.read(reinterpret_cast<char*>(&eh), sizeof(eh))) {
        return ::testing::AssertionFailure() << "no ELF header";
    }
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64
        || eh.e_type != ET_CORE || eh.e_machine != EM_X86_64) {
        return ::testing::AssertionFailure() << "not an x86_64 ELF core";
    }
    uint64_t end = 0;
    int notes = 0;
    int loads = 0;
    for (int i = 0; i < eh.e_phnum; ++i) {
        Elf64_Phdr ph{};
        file.seekg(static_cast<std::streamoff>(eh.e_phoff + static_cast<uint64_t>(i) * eh.e_phentsize));
        if (!file.read(reinterpret_cast<char*>(&ph), sizeof(ph))) {
            return ::testing::AssertionFailure() << "program header " << i << " cut off";
        }
        notes += ph.p_type == PT_NOTE ? 1 : 0;
        loads += ph.p_type == PT_LOAD ? 1 : 0;
        end = std::max<uint64_t>(end, ph.p_offset + ph.p_filesz);
    }
    const uint64_t size = fs::file_size(path);
    if (notes != 1 || loads == 0 || end != size) {
        return ::testing::AssertionFailure() << notes << " note segments, " << loads
                                             << " memory segments, data ends at " << end
                                             << " in a file of " << size << " bytes";
    }
    return ::testing::AssertionSuccess();
}

std::string FileContent(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path().string());
    }
    return files;
}

// The dump's path for the local date at either end of the run (it may cross midnight).
bool IsDatedDumpName(const std::string& path, const std::string& front, std::time_t before, std::time_t after)
{
    for (const std::time_t t : {before, after}) {
        std::tm local{};
        ::localtime_r(&t, &local);
        char date[32];
        std::snprintf(date, sizeof(date), "%d.%02d.%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        if (path == front + date + ".dmp") {
            return true;
        }
    }
    return false;
}

::testing::AssertionResult ExitedWithZero(const ChildRun& run)
{
    if (WIFSIGNALED(run.status)) {
        return ::testing::AssertionFailure() << "killed by signal " << WTERMSIG(run.status);
    }
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        return ::testing::AssertionFailure() << "exit status " << run.status;
    }
    return ::testing::AssertionSuccess();
}

class CrashFolders : public testing::Test
{
protected:
    void SetUp() override
    {
        m_strBase = m_tmp.QPath().toStdString();
        m_strCwd = m_strBase + "/cwd";
        m_strProgDir = m_strBase + "/prog";
        fs::create_directory(m_strCwd);
        fs::create_directory(m_strProgDir);
    }
    TempDir m_tmp;
    std::string m_strBase;
    std::string m_strCwd;
    std::string m_strProgDir;
};

struct CrashCase
{
    const char* name;
    const char* mode;
    bool withPrefix;
    const char* signal;
    std::vector<std::string> frames; // innermost first
    enum { kNullAddress, kNearStackPointer, kNoAddress } fault; // where the faulting access was
};

void PrintTo(const CrashCase& c, std::ostream* os) { *os << c.name; }

class CrashDumpCrash : public CrashFolders, public testing::WithParamInterface<CrashCase>
{
};

TEST_P(CrashDumpCrash, WritesACoreTheDebuggerReadsAndExitsWithZero)
{
    const CrashCase& c = GetParam();
    const std::string prefix = c.withPrefix ? m_strProgDir + "/Orvamta" : "";
    const std::time_t before = std::time(nullptr);
    const ChildRun run = RunChild(m_strCwd, c.mode, prefix);
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(ExitedWithZero(run)) << run.output;

    const std::string dumpFolder = c.withPrefix ? m_strProgDir : m_strCwd;
    const std::string otherFolder = c.withPrefix ? m_strCwd : m_strProgDir;
    const std::string front = c.withPrefix ? prefix : m_strCwd + "/" + CRASH_CHILD_NAME;
    const std::vector<std::string> files = FilesIn(dumpFolder);
    ASSERT_EQ(1U, files.size());
    EXPECT_TRUE(IsDatedDumpName(files[0], front, before, after)) << files[0];
    EXPECT_TRUE(FilesIn(otherFolder).empty());
    EXPECT_TRUE(IsCompleteCore(files[0]));

    const std::string tid = CrashingThread(run);
    ASSERT_FALSE(tid.empty()) << run.output;
    const std::string pid = std::to_string(run.pid);
    const std::string gdb = Debug(files[0]);
    EXPECT_NE(std::string::npos, gdb.find(std::string("terminated with signal ") + c.signal)) << gdb;
    // The debugger's current thread is the one that faulted, not the one that started the process.
    EXPECT_NE(std::string::npos, CurrentThreadLine(gdb).find("(LWP " + tid + ")"))
        << "faulting thread " << tid << "\n" << gdb;
    const size_t mapped = gdb.find("MAPPED FILES");
    const size_t allThreads = gdb.find("ALL THREADS");
    ASSERT_NE(std::string::npos, mapped) << gdb;
    ASSERT_NE(std::string::npos, allThreads) << gdb;
    EXPECT_TRUE(FramesInOrder(gdb.substr(0, mapped), c.frames));
    // The faulting address, from the signal's details: an overflow faults right below the
    // stack pointer, in the stack's guard.
    const unsigned long long fault = HexAfter(gdb, "\nFAULT=");
    const unsigned long long sp = HexAfter(gdb, "\nSP=");
    ASSERT_NE(kNoValue, fault) << gdb;
    ASSERT_NE(kNoValue, sp) << gdb;
    if (c.fault == CrashCase::kNullAddress) {
        EXPECT_EQ(0U, fault) << gdb;
    } else if (c.fault == CrashCase::kNearStackPointer) {
        EXPECT_LT(fault > sp ? fault - sp : sp - fault, 64U * 1024) << gdb;
    }
    // A value the program's own data holds.
    EXPECT_NE(std::string::npos, gdb.find("= " + pid + "\n")) << gdb;
    EXPECT_NE(std::string::npos, gdb.find(CRASH_CHILD_PATH, mapped)) << gdb;
    EXPECT_NE(std::string::npos, gdb.find("libc.so", mapped)) << gdb;
    // Every other thread's backtrace: each of the child's two idle threads, unwound from its
    // own stack through the C library's wait.
    const std::string all = gdb.substr(allThreads);
    EXPECT_EQ(2U, Occurrences(all, " in CrashChildIdle ")) << all;

    // The heap stays out: neither its cookie nor the 64 MiB block the child filled. The bound
    // is one thread stack's limit (1 MiB) with room for the loaded files' data, far below that block.
    const std::string content = FileContent(files[0]);
    EXPECT_EQ(std::string::npos, content.find("heap cookie " + pid));
    EXPECT_EQ(std::string::npos, gdb.find("\"heap cookie " + pid + "\"")) << gdb;
#ifdef __SANITIZE_ADDRESS__
    // Redzones around every stack frame and AddressSanitizer's own data make the dump bigger.
    constexpr uintmax_t kDumpBound = 8 << 20;
#else
    constexpr uintmax_t kDumpBound = 4 << 20;
#endif
    EXPECT_LT(fs::file_size(files[0]), kDumpBound);
    RecordProperty("dump_bytes", std::to_string(fs::file_size(files[0])));
}

const std::vector<std::string> kMainOverflow = {"CrashChildRecurse<OnMainThread>", "CrashChildRecurse<OnMainThread>"};
const std::vector<std::string> kWorkerOverflow = {"CrashChildRecurse<OnWorkerThread>",
                                                  "CrashChildRecurse<OnWorkerThread>"};

INSTANTIATE_TEST_SUITE_P(
    Modes, CrashDumpCrash,
    testing::Values(CrashCase{"NullWrite", "null-write", false, "SIGSEGV", {"CrashChildNullWrite", "main"}, CrashCase::kNullAddress},
                    CrashCase{"MainThreadOverflow", "main-overflow", false, "SIGSEGV", kMainOverflow, CrashCase::kNearStackPointer},
                    CrashCase{"WorkerThreadOverflow", "worker-overflow", false, "SIGSEGV", kWorkerOverflow, CrashCase::kNearStackPointer},
                    CrashCase{"Abort", "abort", false, "SIGABRT", {"CrashChildAbort", "main"}, CrashCase::kNoAddress},
                    CrashCase{"UnreadablePage", "unreadable-page", false, "SIGSEGV", {"CrashChildNullWrite", "main"}, CrashCase::kNullAddress},
                    CrashCase{"NullWriteWithPrefix", "null-write", true, "SIGSEGV", {"CrashChildNullWrite", "main"}, CrashCase::kNullAddress},
                    CrashCase{"WorkerThreadOverflowWithPrefix", "worker-overflow", true, "SIGSEGV", kWorkerOverflow, CrashCase::kNearStackPointer}),
    [](const testing::TestParamInfo<CrashCase>& info) { return std::string(info.param.name); });

using CrashDumpReplace = CrashFolders;

TEST_F(CrashDumpReplace, SecondCrashOfTheDayReplacesTheFirstDump)
{
    // The first dump is the larger one (it holds a MiB of a worker's stack), so a file that is
    // not cut back on reuse keeps bytes beyond the second core's last segment.
    ASSERT_TRUE(ExitedWithZero(RunChild(m_strCwd, "worker-overflow", "")));
    const ChildRun second = RunChild(m_strCwd, "null-write", "");
    ASSERT_TRUE(ExitedWithZero(second));

    const std::vector<std::string> files = FilesIn(m_strCwd);
    ASSERT_EQ(1U, files.size());
    EXPECT_TRUE(IsCompleteCore(files[0]));
    const std::string gdb = Debug(files[0]);
    EXPECT_TRUE(FramesInOrder(gdb, {"CrashChildNullWrite", "main"}));
    EXPECT_NE(std::string::npos, gdb.find("= " + std::to_string(second.pid) + "\n")) << gdb;
}

using CrashDumpPrivate = CrashFolders;

// Another user may plant a link where the dump goes (the launcher writes into its current
// folder, which may be shared): the dump replaces the link, never writes through it, and only
// its owner can read it.
TEST_F(CrashDumpPrivate, DumpIsOwnerOnlyAndReplacesAPlantedLink)
{
    const std::string target = m_strBase + "/victim";
    { std::ofstream(target) << "untouched"; }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[32];
    std::snprintf(date, sizeof(date), "%d.%02d.%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const std::string dump = m_strCwd + "/" + CRASH_CHILD_NAME + date + ".dmp";
    fs::create_symlink(target, dump);
    fs::create_symlink(target, dump + ".part");

    ASSERT_TRUE(ExitedWithZero(RunChild(m_strCwd, "null-write", "")));
    std::ifstream in(target);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "untouched");
    const std::vector<std::string> files = FilesIn(m_strCwd);
    ASSERT_EQ(1U, files.size()) << "no temporary name is left";
    EXPECT_EQ(files[0], dump);
    const fs::file_status status = fs::symlink_status(dump);
    EXPECT_EQ(status.type(), fs::file_type::regular);
    EXPECT_EQ(status.permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(IsCompleteCore(dump));
}

using CrashDumpNoFile = CrashFolders;

TEST_F(CrashDumpNoFile, UncreatableDumpStillExitsWithZero)
{
    const ChildRun run = RunChild(m_strCwd, "null-write", m_strBase + "/missing/Orvamta");
    EXPECT_TRUE(ExitedWithZero(run)) << run.output;
    EXPECT_FALSE(CrashingThread(run).empty()) << "the child did not reach its crash";
    EXPECT_TRUE(FilesIn(m_strCwd).empty());
    EXPECT_TRUE(FilesIn(m_strProgDir).empty());
    EXPECT_FALSE(fs::exists(m_strBase + "/missing"));
}

} // namespace
