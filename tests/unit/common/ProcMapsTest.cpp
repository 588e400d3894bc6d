#include "diag/ProcMaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <elf.h>

namespace {

// An entry in the shape of a maps line, from its parsed fields:
// start-end perms offset major:minor inode "path" (hex numbers without padding).
std::string Describe(const ProcMapping& m)
{
    char head[160];
    const char perms[] = {(m.flags & PF_R) != 0 ? 'r' : '-', (m.flags & PF_W) != 0 ? 'w' : '-',
                          (m.flags & PF_X) != 0 ? 'x' : '-', m.shared ? 's' : 'p', '\0'};
    std::snprintf(head, sizeof(head), "%" PRIxPTR "-%" PRIxPTR " %s %" PRIx64 " %" PRIx64 ":%" PRIx64 " %" PRIu64,
                  m.start, m.end, perms, m.offset, m.dev >> 32, m.dev & 0xffffffffU, m.inode);
    return std::string(head) + " \"" + m.path + "\"";
}

struct ParseCase
{
    const char* name;
    std::string text;
    std::vector<std::string> expected;
    size_t capacity = 64;
    uintptr_t skipStart = 0;
    uintptr_t skipEnd = 0;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

// Complete lines as the kernel writes them, used around the odd ones.
const std::string kExe = "55bb9eb4c000-55bb9eb4e000 r--p 00000000 fe:00 247134                     /usr/bin/cat\n";
const std::string kExeSeen = "55bb9eb4c000-55bb9eb4e000 r--p 0 fe:0 247134 \"/usr/bin/cat\"";
const std::string kAnon = "7f2d04bc3000-7f2d04c87000 rw-p 00000000 00:00 0 \n";
const std::string kAnonSeen = "7f2d04bc3000-7f2d04c87000 rw-p 0 0:0 0 \"\"";

// `count` anonymous one-page lines, 10000-11000, 12000-13000, ...
std::string Lines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        char buf[128];
        std::snprintf(buf, sizeof(buf), "%x000-%x000 rw-p 00000000 00:00 0 \n", 0x10 + 2 * i, 0x11 + 2 * i);
        text += buf;
    }
    return text;
}

std::vector<std::string> LinesSeen(int count)
{
    std::vector<std::string> seen;
    for (int i = 0; i < count; ++i) {
        char buf[128];
        std::snprintf(buf, sizeof(buf), "%x000-%x000 rw-p 0 0:0 0 \"\"", 0x10 + 2 * i, 0x11 + 2 * i);
        seen.emplace_back(buf);
    }
    return seen;
}

const std::string kLongPath = "/opt/" + std::string(5000, 'd') + "/lib long name.so";

const std::vector<ParseCase> kCases = {
    // ---- Lines the kernel writes ----
    {"FileMapping", "55bb9eb4e000-55bb9eb53000 r-xp 00002000 fe:00 247134                     /usr/bin/cat\n",
     {"55bb9eb4e000-55bb9eb53000 r-xp 2000 fe:0 247134 \"/usr/bin/cat\""}},
    {"WritableFileData",
     "7f2d04eb9000-7f2d04ebb000 rw-p 001d3000 fe:00 332835 /usr/lib/x86_64-linux-gnu/libc.so.6\n",
     {"7f2d04eb9000-7f2d04ebb000 rw-p 1d3000 fe:0 332835 \"/usr/lib/x86_64-linux-gnu/libc.so.6\""}},
    {"SharedMapping", "7f2d04ecd000-7f2d04ed4000 r--s 00000000 fe:00 332280 /usr/lib/gconv/gconv-modules.cache\n",
     {"7f2d04ecd000-7f2d04ed4000 r--s 0 fe:0 332280 \"/usr/lib/gconv/gconv-modules.cache\""}},
    {"AnonymousWithTrailingBlank", kAnon, {kAnonSeen}},
    {"AnonymousWithoutTrailingBlank", "7f2d04bc3000-7f2d04c87000 rw-p 00000000 00:00 0\n", {kAnonSeen}},
    {"GuardPageWithoutAccess", "7f2d04bc2000-7f2d04bc3000 ---p 00000000 00:00 0 \n",
     {"7f2d04bc2000-7f2d04bc3000 ---p 0 0:0 0 \"\""}},
    {"Heap", "55bbcf076000-55bbcf097000 rw-p 00000000 00:00 0                          [heap]\n",
     {"55bbcf076000-55bbcf097000 rw-p 0 0:0 0 \"[heap]\""}},
    {"Stack", "7ffd1c3a1000-7ffd1c3c2000 rw-p 00000000 00:00 0                          [stack]\n",
     {"7ffd1c3a1000-7ffd1c3c2000 rw-p 0 0:0 0 \"[stack]\""}},
    {"VdsoAndVvar",
     "7f2d04ed7000-7f2d04edb000 r--p 00000000 00:00 0                          [vvar]\n"
     "7f2d04edd000-7f2d04edf000 r-xp 00000000 00:00 0                          [vdso]\n",
     {"7f2d04ed7000-7f2d04edb000 r--p 0 0:0 0 \"[vvar]\"", "7f2d04edd000-7f2d04edf000 r-xp 0 0:0 0 \"[vdso]\""}},
    {"VsyscallAtTheTopOfTheAddressSpace",
     "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0                  [vsyscall]\n",
     {"ffffffffff600000-ffffffffff601000 --xp 0 0:0 0 \"[vsyscall]\""}},
    {"NamedAnonymousMemoryWithBlanks", "7f0000000000-7f0000021000 rw-p 00000000 00:00 0 [anon:worker pool]\n",
     {"7f0000000000-7f0000021000 rw-p 0 0:0 0 \"[anon:worker pool]\""}},
    {"PathWithBlanks", "7f0000000000-7f0000001000 r--p 00000000 08:01 42 /home/user/My Documents/lib two.so\n",
     {"7f0000000000-7f0000001000 r--p 0 8:1 42 \"/home/user/My Documents/lib two.so\""}},
    {"PathWithBlanksAtItsEnd", "7f0000000000-7f0000001000 r--p 00000000 08:01 42 /tmp/trail  \n",
     {"7f0000000000-7f0000001000 r--p 0 8:1 42 \"/tmp/trail  \""}},
    {"DeletedFile", "7f0000000000-7f0000002000 rw-p 00000000 00:01 2050 /memfd:crash-child (deleted)\n",
     {"7f0000000000-7f0000002000 rw-p 0 0:1 2050 \"/memfd:crash-child (deleted)\""}},
    {"LargeDeviceNumbers", "7f0000000000-7f0000001000 r--p 7ffff000 103:1f 18446744073709551 /dev/dri/card0\n",
     {"7f0000000000-7f0000001000 r--p 7ffff000 103:1f 18446744073709551 \"/dev/dri/card0\""}},
    {"SeveralLinesInOrder", kExe + kAnon + "7ffd1c3a1000-7ffd1c3c2000 rw-p 00000000 00:00 0 [stack]\n",
     {kExeSeen, kAnonSeen, "7ffd1c3a1000-7ffd1c3c2000 rw-p 0 0:0 0 \"[stack]\""}},
    {"VeryLongPath", "7f0000000000-7f0000001000 r--p 00000000 08:01 42 " + kLongPath + " (deleted)\n" + kAnon,
     {"7f0000000000-7f0000001000 r--p 0 8:1 42 \"" + kLongPath + " (deleted)\"", kAnonSeen}},

    // ---- Text the kernel does not write: the line is dropped, its neighbours are kept ----
    {"EmptyText", "", {}},
    {"EmptyLine", kExe + "\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"Words", kExe + "hello world\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"StartOnly", kExe + "7f00-\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"RangeOnly", kExe + "7f00-8000\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"RangeAndPermsOnly", kExe + "7f00-8000 rw-p\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"NoInode", kExe + "7f00-8000 rw-p 00000000 00:00\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"NoDeviceSeparator", kExe + "7f00-8000 rw-p 00000000 0000 0 /x\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"ShortPerms", kExe + "7f00-8000 rw 00000000 00:00 0 /x\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"InodeRunsIntoText", kExe + "7f00-8000 rw-p 00000000 00:00 12ab /x\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"UpperCaseHex", kExe + "7F00-8000 rw-p 00000000 00:00 0\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"AddressOfSeventeenDigits", kExe + "10000000000000000-10000000000001000 rw-p 00000000 00:00 0\n" + kAnon,
     {kExeSeen, kAnonSeen}},
    {"EndBelowStart", kExe + "8000-7000 rw-p 00000000 00:00 0\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"EmptyRange", kExe + "8000-8000 rw-p 00000000 00:00 0\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"VeryLongGarbageLine", kExe + std::string(100000, 'a') + "\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"WindowsLineEnd", kExe + "7f00-8000 rw-p 00000000 00:00 0\r\n" + kAnon, {kExeSeen, kAnonSeen}},
    {"CutOffLastLine", kExe + "7f2d04bc3000-7f2d04c87000 rw-p 000", {kExeSeen}},
    {"CompleteLastLineWithoutNewline", kExe + "7f2d04bc3000-7f2d04c87000 rw-p 00000000 00:00 0", {kExeSeen}},

    // ---- Room: a line is taken while two entries are free ----
    {"MoreLinesThanRoom", Lines(10), LinesSeen(3), 4},
    {"ExactlyTwoFree", Lines(3), LinesSeen(1), 2},
    {"OneEntryOfRoom", Lines(3), {}, 1},
    {"NoRoom", Lines(3), {}, 0},
    {"RoomLeftOver", Lines(3), LinesSeen(3), 5},

    // ---- The skipped range ----
    {"SkipCutsTheMiddleOut", "1000-9000 rw-p 00000000 00:00 0\n",
     {"1000-3000 rw-p 0 0:0 0 \"\"", "5000-9000 rw-p 0 0:0 0 \"\""}, 64, 0x3000, 0x5000},
    {"SkipCutsTheFrontOff", "1000-9000 rw-p 00000000 00:00 0\n", {"5000-9000 rw-p 0 0:0 0 \"\""}, 64, 0x1000,
     0x5000},
    {"SkipCutsTheEndOff", "1000-9000 rw-p 00000000 00:00 0\n", {"1000-5000 rw-p 0 0:0 0 \"\""}, 64, 0x5000,
     0xa000},
    {"SkipCoversTheWhole", "3000-5000 rw-p 00000000 00:00 0\n" + kAnon, {kAnonSeen}, 64, 0x2000, 0x6000},
    {"SkipTouchesWithoutOverlap", "1000-3000 rw-p 00000000 00:00 0\n5000-7000 rw-p 00000000 00:00 0\n",
     {"1000-3000 rw-p 0 0:0 0 \"\"", "5000-7000 rw-p 0 0:0 0 \"\""}, 64, 0x3000, 0x5000},
    {"SkipSplitFillsTheLastTwoEntries", kAnon + "1000-9000 rw-p 00000000 00:00 0\n" + kAnon,
     {kAnonSeen, "1000-3000 rw-p 0 0:0 0 \"\"", "5000-9000 rw-p 0 0:0 0 \"\""}, 3, 0x3000, 0x5000},
    {"NoSplitIntoTheLastEntry", kAnon + "1000-9000 rw-p 00000000 00:00 0\n", {kAnonSeen}, 2, 0x3000, 0x5000},
};

class ProcMapsParse : public testing::TestWithParam<ParseCase>
{
};

TEST_P(ProcMapsParse, ReturnsTheEntries)
{
    const ParseCase& c = GetParam();
    constexpr char kUntouched = '#';
    std::vector<char> text(c.text.size() + 64, kUntouched);
    std::memcpy(text.data(), c.text.data(), c.text.size());
    ProcMapping sentinel{};
    sentinel.start = 0xdead;
    sentinel.path = "sentinel";
    std::vector<ProcMapping> out(c.capacity + 4, sentinel);

    const size_t count =
        ParseProcMaps(text.data(), c.text.size(), out.data(), c.capacity, c.skipStart, c.skipEnd);

    ASSERT_LE(count, c.capacity);
    std::vector<std::string> seen;
    for (size_t i = 0; i < count; ++i) {
        seen.push_back(Describe(out[i]));
        EXPECT_GE(out[i].path, text.data()) << i;
        EXPECT_LT(out[i].path, text.data() + c.text.size()) << i;
    }
    EXPECT_EQ(c.expected, seen);
    for (size_t i = c.capacity; i < out.size(); ++i) {
        EXPECT_EQ(0xdeadU, out[i].start) << "entry " << i << " beyond the room was written";
    }
    for (size_t i = c.text.size(); i < text.size(); ++i) {
        ASSERT_EQ(kUntouched, text[i]) << "byte " << i << " beyond the text was written";
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, ProcMapsParse, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ParseCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ProcMaps, ReadsOnlyTheGivenLength)
{
    // The length ends inside the second line, so the newline after it is not the line's.
    std::string text = kExe + kAnon;
    const size_t len = kExe.size() + kAnon.size() - 1;
    ProcMapping out[8];
    ASSERT_EQ(1U, ParseProcMaps(text.data(), len, out, 8));
    EXPECT_EQ(kExeSeen, Describe(out[0]));
    EXPECT_EQ('\n', text[len]);
}

TEST(ProcMaps, FileBackedMeansAPath)
{
    struct Case
    {
        const char* path;
        bool fileBacked;
    };
    const Case cases[] = {
        {"/usr/lib/libc.so.6", true}, {"/memfd:x (deleted)", true}, {"", false},
        {"[heap]", false},            {"[anon:a b]", false},          {"anon_inode:[perf_event]", false},
    };
    for (const Case& c : cases) {
        ProcMapping m{};
        m.path = c.path;
        EXPECT_EQ(c.fileBacked, IsFileBacked(m)) << c.path;
    }
}

TEST(ProcMaps, EveryLineOfThisProcessParses)
{
    std::vector<unsigned char> buf(8 << 20);
    size_t len = 0;
    ReadProcFile("/proc/self/maps", buf.data(), buf.size() - 1, len);
    ASSERT_GT(len, 0U);
    ASSERT_LT(len, buf.size() - 1) << "maps text larger than the test's buffer";
    auto* const text = reinterpret_cast<char*>(buf.data());
    const size_t lines = static_cast<size_t>(std::count(text, text + len, '\n'));
    std::vector<ProcMapping> out(lines + 2);

    const size_t count = ParseProcMaps(text, len, out.data(), out.size());

    EXPECT_EQ(lines, count);
    const auto local = reinterpret_cast<uintptr_t>(&buf);
    const auto function = reinterpret_cast<uintptr_t>(&ParseProcMaps);
    bool stack = false;
    bool code = false;
    for (size_t i = 0; i < count; ++i) {
        const ProcMapping& m = out[i];
        stack = stack || (std::strcmp(m.path, "[stack]") == 0 && m.start <= local && local < m.end);
        code = code || (IsFileBacked(m) && (m.flags & PF_X) != 0 && m.start <= function && function < m.end);
    }
    EXPECT_TRUE(stack) << "no [stack] entry holds a local variable";
    EXPECT_TRUE(code) << "no executable file mapping holds the parser's code";
}

TEST(ProcMaps, ReadProcFileOfAMissingFileReadsNothing)
{
    unsigned char buf[16];
    size_t len = 99;
    ReadProcFile("/proc/self/no-such-file", buf, sizeof(buf), len);
    EXPECT_EQ(0U, len);
}

TEST(ProcMaps, ReadProcFileStopsAtTheCapacity)
{
    unsigned char buf[16];
    std::memset(buf, 0x5a, sizeof(buf));
    size_t len = 0;
    ReadProcFile("/proc/self/maps", buf, 8, len);
    EXPECT_EQ(8U, len);
    EXPECT_EQ(0x5a, buf[8]);
}

} // namespace
