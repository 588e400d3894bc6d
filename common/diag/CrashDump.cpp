#include "diag/CrashDump.h"

#include "diag/CrashDumpName.h"
#include "diag/ElfCoreWriter.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kAltStackSize = 64 * 1024;
constexpr size_t kDumpFrontMax = 1024 + 256; // a prefix, or the executable's name

// The crash handler may not allocate, lock or use the C library's time zone code, so
// everything it needs besides the clock and /proc/self/maps is taken at install time.
char g_szDumpFront[kDumpFrontMax];
long g_lUtcOffset = 0;
long g_lPageSize = 4096;
CoreProcessInfo g_coreInfo;

// The thread writing the dump; 0 while no thread is.
std::atomic<pid_t> g_nCrashTid{0};
static_assert(std::atomic<pid_t>::is_always_lock_free, "the handler may not take a lock");

void CrashDumpFilter(int sig, siginfo_t* info, void* context)
{
    const auto tid = static_cast<pid_t>(::syscall(SYS_gettid));
    pid_t writer = 0;
    if (!g_nCrashTid.compare_exchange_strong(writer, tid)) {
        if (writer == tid) {
            ::_exit(0); // the writer itself faulted: end without the rest of the dump
        }
        for (;;) {
            ::pause(); // another thread is writing; its _exit ends this one too
        }
    }

    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::tm date = CrashDumpLocalDate(now.tv_sec, g_lUtcOffset);
    static char s_szName[sizeof(g_szDumpFront) + 32];
    if (g_szDumpFront[0] != '\0'
        && ComposeCrashDumpName(s_szName, sizeof(s_szName), g_szDumpFront, date.tm_year + 1900,
                                date.tm_mon + 1, date.tm_mday)) {
        // Written privately under a temporary name and renamed when complete: a fault inside
        // the writer leaves no partial dump under the final name, and a link planted at either
        // name is replaced, never followed.
        static char s_szPart[sizeof(s_szName) + 8];
        const size_t nName = ::strlen(s_szName);
        ::memcpy(s_szPart, s_szName, nName);
        ::memcpy(s_szPart + nName, ".part", 6);
        constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
        int fd = ::open(s_szPart, kFlags, 0600);
        if (fd < 0 && errno == EEXIST) {
            ::unlink(s_szPart);  // left by a writer that died: removes the name, not a target
            fd = ::open(s_szPart, kFlags, 0600);
        }
        if (fd >= 0) {
            WriteCoreImage(fd, sig, info, static_cast<const ucontext_t*>(context), tid, g_coreInfo);
            ::close(fd);
            ::rename(s_szPart, s_szName);
        }
    }
    ::_exit(0);
}

// A thread's alternate signal stack, with a guard page below it, released at thread exit.
class AltSignalStack
{
public:
    AltSignalStack()
    {
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0
            && current.ss_size >= kAltStackSize) {
            return; // the thread already has one that is large enough
        }
        const size_t guard = static_cast<size_t>(g_lPageSize);
        void* const base = ::mmap(nullptr, guard + kAltStackSize, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (base == MAP_FAILED) {
            return;
        }
        ::mprotect(base, guard, PROT_NONE);
        stack_t ss{};
        ss.ss_sp = static_cast<char*>(base) + guard;
        ss.ss_size = kAltStackSize;
        if (::sigaltstack(&ss, nullptr) != 0) {
            ::munmap(base, guard + kAltStackSize);
            return;
        }
        m_pBase = base;
        m_nSize = guard + kAltStackSize;
    }
    ~AltSignalStack()
    {
        if (m_pBase == nullptr) {
            return;
        }
        stack_t ss{};
        ss.ss_flags = SS_DISABLE;
        ::sigaltstack(&ss, nullptr);
        ::munmap(m_pBase, m_nSize);
    }
    AltSignalStack(const AltSignalStack&) = delete;
    AltSignalStack& operator=(const AltSignalStack&) = delete;

private:
    void* m_pBase = nullptr;
    size_t m_nSize = 0;
};

} // namespace

void PrepareThreadForCrashDump()
{
    thread_local AltSignalStack t_altStack;
}

void InstallCrashDumpFilter()
{
    g_lPageSize = ::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096;

    const std::string front = CrashDumpFront();
    g_szDumpFront[0] = '\0';
    if (front.size() < sizeof(g_szDumpFront)) {
        std::memcpy(g_szDumpFront, front.c_str(), front.size() + 1);
    }

    // The offset is taken once: a daylight-saving change later in the run moves the dump
    // date's midnight by that hour.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) != nullptr) {
        g_lUtcOffset = local.tm_gmtoff;
    }

    CollectCoreProcessInfo(g_coreInfo, g_lPageSize);

    PrepareThreadForCrashDump();

    struct sigaction sa {};
    sa.sa_sigaction = CrashDumpFilter;
    // SA_NODEFER lets a fault inside the writer reach the handler again, which then ends
    // the process with exit code 0 instead of the kernel killing it.
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (const int sig : kFatalSignals) {
        ::sigaction(sig, &sa, nullptr);
    }
}
