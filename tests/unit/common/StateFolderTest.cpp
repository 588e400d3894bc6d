#include "platform/StateFolder.h"
#include "TempDir.h"
#include "text/TextConv.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(StateFolderTest, ChoiceByProgramFolderAndEnvironment)
{
    struct Case
    {
        const char* name;
        StateFolderInputs in;
        std::wstring expected;
    };
    const std::wstring build = L"/work/main/build/bin/";
    const Case cases[] = {
        {"WritableFolderKeepsItsOwn", {build, true, L"/x/state", L"/home/u"}, build},
        {"WritableFolderWithoutHome", {build, true, L"", L""}, build},
        {"PerUserInstallKeepsItsOwn", {L"/home/u/.local/lib/orvanta-vexa/", true, L"", L"/home/u"},
         L"/home/u/.local/lib/orvanta-vexa/"},
        {"ReadOnlyFolderUsesXdgStateHome", {L"/usr/lib/orvanta-vexa/", false, L"/x/state", L"/home/u"},
         L"/x/state/ORVANTA_VEXA/"},
        {"XdgStateHomeWithTrailingSlash", {L"/usr/lib/orvanta-vexa/", false, L"/x/state/", L"/home/u"},
         L"/x/state/ORVANTA_VEXA/"},
        {"ReadOnlyFolderWithoutXdgUsesHome", {L"/usr/lib/orvanta-vexa/", false, L"", L"/home/u"},
         L"/home/u/.local/state/ORVANTA_VEXA/"},
        {"HomeWithTrailingSlash", {L"/usr/lib/orvanta-vexa/", false, L"", L"/home/u/"},
         L"/home/u/.local/state/ORVANTA_VEXA/"},
        {"RelativeXdgStateHomeIsIgnored", {L"/usr/lib/orvanta-vexa/", false, L"state", L"/home/u"},
         L"/home/u/.local/state/ORVANTA_VEXA/"},
        {"KoreanHome", {L"/usr/lib/orvanta-vexa/", false, L"", L"/home/사용자"},
         L"/home/사용자/.local/state/ORVANTA_VEXA/"},
        // Root can write the package's folder, which must stay as the package left it.
        {"WritableSystemFolderUsesState", {L"/usr/lib/orvanta-vexa/", true, L"", L"/root"},
         L"/root/.local/state/ORVANTA_VEXA/"},
        {"WritableLocalPrefixUsesState", {L"/usr/local/lib/orvanta-vexa/", true, L"/x/state", L"/root"},
         L"/x/state/ORVANTA_VEXA/"},
        {"WritableOptFolderUsesState", {L"/opt/orvanta-vexa/", true, L"", L"/home/u"},
         L"/home/u/.local/state/ORVANTA_VEXA/"},
        {"SystemPrefixIsAWholeFolderName", {L"/usrdata/orvanta/", true, L"", L"/home/u"}, L"/usrdata/orvanta/"},
        {"NoUsableHomeKeepsTheProgramFolder", {L"/usr/lib/orvanta-vexa/", false, L"", L""},
         L"/usr/lib/orvanta-vexa/"},
        {"RelativeHomeKeepsTheProgramFolder", {L"/usr/lib/orvanta-vexa/", false, L"", L"home/u"},
         L"/usr/lib/orvanta-vexa/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseStateFolder(c.in), c.expected) << c.name;
    }
}

class MakeStateFolderTest : public ::testing::Test
{
protected:
    std::string Path(const char* rest) const { return WideToAnsi(dir.Path()) + rest; }
    static mode_t Mode(const std::string& path)
    {
        struct stat st{};
        return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }

    TempDir dir;
};

TEST_F(MakeStateFolderTest, MakesTheMissingFoldersPrivate)
{
    ASSERT_TRUE(MakeStateFolder(AnsiToWide(Path("state/deeper/ORVANTA_VEXA/"))));
    EXPECT_EQ(Mode(Path("state")), 0700u);
    EXPECT_EQ(Mode(Path("state/deeper/ORVANTA_VEXA")), 0700u);
    // Again, now that it exists.
    EXPECT_TRUE(MakeStateFolder(AnsiToWide(Path("state/deeper/ORVANTA_VEXA/"))));
}

TEST_F(MakeStateFolderTest, LeavesAnExistingFolderAsItIs)
{
    ASSERT_EQ(::mkdir(Path("ORVANTA_VEXA").c_str(), 0755), 0);
    ::chmod(Path("ORVANTA_VEXA").c_str(), 0755);
    EXPECT_TRUE(MakeStateFolder(AnsiToWide(Path("ORVANTA_VEXA/"))));
    EXPECT_EQ(Mode(Path("ORVANTA_VEXA")), 0755u);
}

TEST_F(MakeStateFolderTest, RefusesALinkOrAFileInItsPlace)
{
    ASSERT_EQ(::mkdir(Path("elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(Path("elsewhere").c_str(), Path("linked").c_str()), 0);
    EXPECT_FALSE(MakeStateFolder(AnsiToWide(Path("linked/"))));

    const int fd = ::open(Path("file").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_FALSE(MakeStateFolder(AnsiToWide(Path("file/"))));
    EXPECT_FALSE(MakeStateFolder(AnsiToWide(Path("file/ORVANTA_VEXA/"))));
}

}  // namespace
