// Two local users on one machine: the lock file and the messenger of one user's programs must
// neither stop nor steer the other's. Needs root, to act as two throw-away local users.
#include "platform/InstanceLock.h"
#include "platform/ProcessMessenger.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

extern char** environ;

namespace {

const wchar_t* const kLockName = L"Global\\5C1E0A52-7D43-4B8E-9A61-0F2B3C4D5E6F";
constexpr const char* kServeName = "ORVANTA_TEST_SERVE_NAME";
constexpr const char* kServeUid = "ORVANTA_TEST_SERVE_UID";
constexpr const char* kServeGid = "ORVANTA_TEST_SERVE_GID";
constexpr const char* kServeFd = "ORVANTA_TEST_SERVE_FD";

struct LocalUser
{
    uid_t uid = 0;
    gid_t gid = 0;
};

bool BecomeUser(const LocalUser& user)
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(user.gid, user.gid, user.gid) == 0
        && ::setresuid(user.uid, user.uid, user.uid) == 0;
}

// The test program re-run as another user's client: it serves the messenger, reports 'R'
// (or 'F') on the inherited pipe, then 'M' for each message it takes, until it is killed.
// It never reaches the tests.
int ServeWhenAsked()
{
    const char* name = std::getenv(kServeName);
    if (name == nullptr) {
        return 0;
    }
    const int fd = std::atoi(std::getenv(kServeFd));
    const LocalUser user{static_cast<uid_t>(std::atoi(std::getenv(kServeUid))),
                         static_cast<gid_t>(std::atoi(std::getenv(kServeGid)))};
    if (!BecomeUser(user)) {
        (void)!::write(fd, "F", 1);
        ::_exit(1);
    }
    int argc = 1;
    char arg0[] = "serve";
    char* argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);
    LocalSocketMessenger messenger(QString::fromUtf8(name));
    const bool served = messenger.Serve([fd](const QString&, const QString&) { (void)!::write(fd, "M", 1); });
    (void)!::write(fd, served ? "R" : "F", 1);
    app.exec();
    ::_exit(0);
}
[[maybe_unused]] const int g_nServing = ServeWhenAsked();

// The next byte from fd within `ms`, or 0.
char ReadReport(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    char c = 0;
    if (::poll(&p, 1, ms) == 1 && ::read(fd, &c, 1) == 1) {
        return c;
    }
    return 0;
}

// A process of another user: it runs `body`, which reports one byte on `out`, and then
// waits to be killed when `stay` (so what it holds stays held), else ends.
struct OtherProcess
{
    pid_t pid = -1;
    int report = -1;

    OtherProcess(const LocalUser& user, const std::function<char()>& body, bool stay)
    {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            const char result = BecomeUser(user) ? body() : 'U';
            (void)!::write(fds[1], &result, 1);
            while (stay) {
                ::pause();
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        report = fds[0];
    }
    ~OtherProcess() { End(); }
    char Report() { return report >= 0 ? ReadReport(report, 10000) : 0; }
    void End()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
        if (report >= 0) {
            ::close(report);
            report = -1;
        }
    }
};

// This process acts as `user` for the scope (effective ids; root stays the saved one).
class ActAs
{
public:
    explicit ActAs(const LocalUser& user)
    {
        m_nGroups = ::getgroups(static_cast<int>(sizeof(m_groups) / sizeof(m_groups[0])), m_groups);
        m_bOk = ::setgroups(0, nullptr) == 0 && ::setresgid(user.gid, user.gid, 0) == 0
            && ::setresuid(user.uid, user.uid, 0) == 0;
    }
    ~ActAs()
    {
        (void)!::setresuid(0, 0, 0);
        (void)!::setresgid(0, 0, 0);
        (void)!::setgroups(m_nGroups > 0 ? static_cast<size_t>(m_nGroups) : 0, m_groups);
    }
    ActAs(const ActAs&) = delete;
    ActAs& operator=(const ActAs&) = delete;
    bool Ok() const { return m_bOk; }

private:
    gid_t m_groups[64] = {};
    int m_nGroups = 0;
    bool m_bOk = false;
};

char LockCode(LockResult result)
{
    switch (result) {
    case LockResult::Acquired: return 'A';
    case LockResult::AlreadyExists: return 'E';
    case LockResult::OtherError: return 'O';
    }
    return '?';
}

class SharedMachineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root, to act as two local users; run the test as root to include it";
        }
        for (auto [name, user] : {std::pair{"orvanta-test-a", &m_userA}, std::pair{"orvanta-test-b", &m_userB}}) {
            if (!FindUser(name, *user)) {
                const std::string command = std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ")
                    + name + " >/dev/null 2>&1";
                if (std::system(command.c_str()) != 0 || !FindUser(name, *user)) {
                    GTEST_SKIP() << "cannot create the local user " << name << " with useradd";
                }
            }
        }
        // A folder like /tmp: everyone may create files in it, only owners remove them.
        char path[] = "/tmp/orvanta-shared-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(path));
        m_strDir = path;
        ASSERT_EQ(0, ::chmod(path, 01777));
        m_strSavedTmp = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", path, 1);
        m_strLock = FileInstanceLock::LockFilePath(kLockName);
    }
    void TearDown() override
    {
        if (m_strDir.empty()) {
            return;
        }
        // Nothing either user made may be changed by a third.
        for (const auto& entry : fs::directory_iterator(m_strDir)) {
            struct stat st {};
            ASSERT_EQ(0, ::lstat(entry.path().c_str(), &st));
            EXPECT_TRUE(S_ISLNK(st.st_mode) || (st.st_mode & S_IWOTH) == 0)
                << entry.path() << " is world-writable";
        }
        if (m_strSavedTmp.empty()) {
            ::unsetenv("TMPDIR");
        } else {
            ::setenv("TMPDIR", m_strSavedTmp.c_str(), 1);
        }
        fs::remove_all(m_strDir);
    }

    static bool FindUser(const char* name, LocalUser& user)
    {
        const passwd* pw = ::getpwnam(name);
        if (pw == nullptr) {
            return false;
        }
        user = LocalUser{pw->pw_uid, pw->pw_gid};
        return true;
    }

    static char TryLock()
    {
        FileInstanceLock lock;
        return LockCode(lock.Acquire(kLockName));
    }
    // In a process of its own: the lock stays taken until that process ends.
    static char HoldLock()
    {
        static FileInstanceLock s_lock;
        return LockCode(s_lock.Acquire(kLockName));
    }

    LocalUser m_userA;
    LocalUser m_userB;
    std::string m_strDir;
    std::string m_strSavedTmp;
    std::string m_strLock;
};

TEST_F(SharedMachineTest, TheUserHoldingTheLockIsTheOneInstance)
{
    OtherProcess holder(m_userB, [] { return HoldLock(); }, true);
    ASSERT_EQ('A', holder.Report());
    struct stat st {};
    ASSERT_EQ(0, ::stat(m_strLock.c_str(), &st));
    EXPECT_EQ(m_userB.uid, st.st_uid);
    EXPECT_EQ(0644U, st.st_mode & 07777);
    {
        ActAs a(m_userA);
        ASSERT_TRUE(a.Ok());
        EXPECT_EQ('E', TryLock()) << "user B's running client holds the name";
    }
    holder.End();
    {
        ActAs a(m_userA);
        ASSERT_TRUE(a.Ok());
        EXPECT_EQ('A', TryLock()) << "the holder is gone; its file stays behind";
    }
}

TEST_F(SharedMachineTest, AnotherUsersLeftoverLockFileIsUsedAsItIs)
{
    ASSERT_EQ('A', OtherProcess(m_userB, [] { return TryLock(); }, false).Report());
    struct stat before {};
    ASSERT_EQ(0, ::stat(m_strLock.c_str(), &before));

    FileInstanceLock lock;
    {
        ActAs a(m_userA);
        ASSERT_TRUE(a.Ok());
        ASSERT_EQ(LockResult::Acquired, lock.Acquire(kLockName)) << "B's file, opened read-only, still locks";
    }
    // A's client is now the one instance, for B as well.
    EXPECT_EQ('E', OtherProcess(m_userB, [] { return TryLock(); }, false).Report());
    lock.Release();

    struct stat after {};
    ASSERT_EQ(0, ::stat(m_strLock.c_str(), &after));
    EXPECT_EQ(before.st_uid, after.st_uid);
    EXPECT_EQ(before.st_mode, after.st_mode) << "never chmod'ed";
    EXPECT_EQ(0644U, after.st_mode & 07777);
}

TEST_F(SharedMachineTest, APlantedLinkChangesNothing)
{
    const std::string victim = m_strDir + "/a-settings";
    const std::string missing = m_strDir + "/created-through-the-link";
    {
        ActAs a(m_userA);
        ASSERT_TRUE(a.Ok());
        std::ofstream(victim) << "untouched";
        ASSERT_EQ(0, ::chmod(victim.c_str(), 0600));
    }
    for (const std::string& target : {victim, missing}) {
        SCOPED_TRACE(target);
        const std::string lockPath = m_strLock;
        ASSERT_EQ('L', OtherProcess(m_userB, [&] { return ::symlink(target.c_str(), lockPath.c_str()) == 0 ? 'L' : 'X'; },
                                    false)
                           .Report());
        {
            ActAs a(m_userA);
            ASSERT_TRUE(a.Ok());
            EXPECT_EQ('O', TryLock()) << "the link is not followed";
        }
        struct stat st {};
        ASSERT_EQ(0, ::lstat(m_strLock.c_str(), &st));
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        std::ifstream in(victim);
        std::string content;
        std::getline(in, content);
        EXPECT_EQ("untouched", content);
        ASSERT_EQ(0, ::stat(victim.c_str(), &st));
        EXPECT_EQ(0600U, st.st_mode & 07777);
        EXPECT_EQ(m_userA.uid, st.st_uid);
        EXPECT_FALSE(fs::exists(fs::symlink_status(missing)));
        ASSERT_EQ(0, ::unlink(m_strLock.c_str()));
    }
}

struct ServerCase
{
    const char* name;
    bool sameUser;  // the server runs as user A, the one asking
};

class SharedMachineMessenger : public SharedMachineTest, public ::testing::WithParamInterface<ServerCase>
{
};

// The test program, re-run as `user`, serving `name`; its pipe reports as ServeWhenAsked says.
pid_t StartServer(const LocalUser& user, const std::string& name, int& report)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.push_back(std::string(kServeName) + "=" + name);
    env.push_back(std::string(kServeUid) + "=" + std::to_string(user.uid));
    env.push_back(std::string(kServeGid) + "=" + std::to_string(user.gid));
    env.push_back(std::string(kServeFd) + "=" + std::to_string(fds[1]));
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    char exe[] = "/proc/self/exe";
    char* argv[] = {exe, nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::execve(exe, argv, envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    report = fds[0];
    return pid;
}

TEST_P(SharedMachineMessenger, OnlyOurOwnClientIsTakenForOurs)
{
    const ServerCase& c = GetParam();
    const std::string name = "orvanta-shared-" + std::to_string(::getpid());
    int report = -1;
    const pid_t server = StartServer(c.sameUser ? m_userA : m_userB, name, report);
    ASSERT_GT(server, 0);
    const char ready = ReadReport(report, 10000);
    bool served = false;
    bool sent = false;
    if (ready == 'R') {
        ActAs a(m_userA);
        EXPECT_TRUE(a.Ok());
        served = LocalSocketMessenger::IsServed(QString::fromStdString(name), 1000);
        sent = LocalSocketMessenger(QString::fromStdString(name)).Send(QStringLiteral("HELLO"), QStringLiteral("a"));
    }
    const char taken = ready == 'R' ? ReadReport(report, c.sameUser ? 5000 : 500) : 0;
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    ::close(report);

    ASSERT_EQ('R', ready) << "the other process did not serve";
    EXPECT_EQ(c.sameUser, served);
    EXPECT_EQ(c.sameUser, sent);
    EXPECT_EQ(c.sameUser ? 'M' : '\0', taken) << "whether the server took the message";
}

INSTANTIATE_TEST_SUITE_P(Servers, SharedMachineMessenger,
                         ::testing::Values(ServerCase{"AnotherUser", false}, ServerCase{"SameUser", true}),
                         [](const ::testing::TestParamInfo<ServerCase>& info) { return std::string(info.param.name); });

}  // namespace
