#include "platform/InstanceLock.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
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

}  // namespace
