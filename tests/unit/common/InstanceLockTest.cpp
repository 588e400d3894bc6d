#include "platform/InstanceLock.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const wchar_t* const kName = L"Global\\74744AA9-DECA-4877-AC53-1703C170986A";

class InstanceLockTest : public ::testing::Test
{
protected:
    void SetUp() override { setenv("TMPDIR", dir.QPath().toUtf8().constData(), 1); }
    void TearDown() override { unsetenv("TMPDIR"); }

    // A second process that takes the lock, tells us, and waits to be killed.
    pid_t StartHolder()
    {
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            close(ready[0]);
            FileInstanceLock lock;
            const char result = lock.Acquire(kName) == LockResult::Acquired ? 'A' : 'F';
            (void)!write(ready[1], &result, 1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char result = 0;
        EXPECT_EQ(read(ready[0], &result, 1), 1);
        close(ready[0]);
        EXPECT_EQ(result, 'A');
        return pid;
    }

    TempDir dir;
};

TEST_F(InstanceLockTest, LockFileNamedAfterTheGuidInTheTemporaryFolder)
{
    EXPECT_EQ(FileInstanceLock::LockFilePath(kName),
              dir.QPath().toStdString() + "/74744AA9-DECA-4877-AC53-1703C170986A.lock");
}

TEST_F(InstanceLockTest, HeldBySecondProcessUntilItDies)
{
    const pid_t holder = StartHolder();
    FileInstanceLock lock;
    EXPECT_EQ(lock.Acquire(kName), LockResult::AlreadyExists);

    kill(holder, SIGKILL);
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_EQ(lock.Acquire(kName), LockResult::Acquired);
}

TEST_F(InstanceLockTest, ReleaseLetsTheNextOwnerIn)
{
    FileInstanceLock first;
    ASSERT_EQ(first.Acquire(kName), LockResult::Acquired);
    first.Release();
    FileInstanceLock second;
    EXPECT_EQ(second.Acquire(kName), LockResult::Acquired);
}

TEST_F(InstanceLockTest, UnusableFolderIsAnotherError)
{
    setenv("TMPDIR", "/proc/1/no-such-folder", 1);
    FileInstanceLock lock;
    EXPECT_EQ(lock.Acquire(kName), LockResult::OtherError);
}

// What another local user may leave where the lock file goes. The lock never follows a link,
// never changes a mode, and holds a file it may only read.
struct PlantedCase
{
    const char* name;
    std::function<void(const std::string& lockPath, const std::string& target)> plant;
    LockResult expected;
    mode_t targetMode;  // the mode the link target (if any) keeps
};

void PrintTo(const PlantedCase& c, std::ostream* os) { *os << c.name; }

class InstanceLockPlantedTest : public InstanceLockTest,
                                public ::testing::WithParamInterface<PlantedCase>
{
};

TEST_P(InstanceLockPlantedTest, NeitherFollowsNorChangesWhatItFinds)
{
    const std::string lockPath = FileInstanceLock::LockFilePath(kName);
    const std::string target = dir.QPath().toStdString() + "/target";
    const int fd = ::open(target.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::chmod(target.c_str(), 0600);
    GetParam().plant(lockPath, target);

    FileInstanceLock lock;
    EXPECT_EQ(lock.Acquire(kName), GetParam().expected);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, GetParam().targetMode);
    struct stat lockStat {};
    if (::lstat(lockPath.c_str(), &lockStat) == 0 && S_ISREG(lockStat.st_mode)) {
        EXPECT_EQ(lockStat.st_mode & 0002, 0u) << "the lock file became world-writable";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Planted, InstanceLockPlantedTest,
    ::testing::Values(
        PlantedCase{"NothingThere", [](const std::string&, const std::string&) {},
                    LockResult::Acquired, 0600},
        PlantedCase{"LinkToAnotherFile",
                    [](const std::string& lock, const std::string& target) {
                        ASSERT_EQ(::symlink(target.c_str(), lock.c_str()), 0);
                    },
                    LockResult::OtherError, 0600},
        PlantedCase{"DanglingLink",
                    [](const std::string& lock, const std::string& target) {
                        ASSERT_EQ(::symlink((target + "-missing").c_str(), lock.c_str()), 0);
                    },
                    LockResult::OtherError, 0600},
        PlantedCase{"ReadOnlyFileLeftBehind",
                    [](const std::string& lock, const std::string&) {
                        const int fd = ::open(lock.c_str(), O_CREAT | O_WRONLY, 0444);
                        ASSERT_GE(fd, 0);
                        ::close(fd);
                        ::chmod(lock.c_str(), 0444);
                    },
                    LockResult::Acquired, 0600},
        PlantedCase{"FolderInItsPlace",
                    [](const std::string& lock, const std::string&) {
                        ASSERT_EQ(::mkdir(lock.c_str(), 0755), 0);
                    },
                    LockResult::OtherError, 0600},
        PlantedCase{"PipeInItsPlace",
                    [](const std::string& lock, const std::string&) {
                        ASSERT_EQ(::mkfifo(lock.c_str(), 0666), 0);
                    },
                    LockResult::OtherError, 0600}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstanceLockTest, LeftoverFileKeepsItsMode)
{
    const std::string lockPath = FileInstanceLock::LockFilePath(kName);
    const int fd = ::open(lockPath.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::chmod(lockPath.c_str(), 0600);
    FileInstanceLock lock;
    ASSERT_EQ(lock.Acquire(kName), LockResult::Acquired);
    struct stat st {};
    ASSERT_EQ(::stat(lockPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

}  // namespace
