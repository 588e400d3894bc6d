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

// The other threads' registers: the writer sends each thread listed in /proc/self/task a
// real-time signal whose handler saves its context into the thread's slot and then parks
// until the writer's _exit ends it, so its stack stays as it was while it is written out.
// This needs no helper process and no ptrace permission, and a thread that has the signal
// blocked only costs a bounded wait and its place in the dump.
constexpr size_t kMaxThreads = 4096;
constexpr long kThreadReplyWaitMs = 500;
enum : int { kSlotAsked = 0, kSlotSaved = 1, kSlotGone = 2 };

struct ThreadSlot
{
    std::atomic<pid_t> tid;
    std::atomic<int> state;
};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may not take a lock");

int g_nThreadSignal = 0;
std::atomic<ThreadSlot*> g_pSlots{nullptr};
std::atomic<CoreThread*> g_pThreads{nullptr};
std::atomic<size_t> g_nSlots{0};

void ThreadStateFilter(int, siginfo_t* info, void* context)
{
    ThreadSlot* const slots = g_pSlots.load(std::memory_order_acquire);
    if (slots == nullptr || info == nullptr || info->si_code != SI_TKILL || info->si_pid != ::getpid()) {
        return;
    }
    const auto tid = static_cast<pid_t>(::syscall(SYS_gettid));
    const size_t count = g_nSlots.load(std::memory_order_acquire);
    for (size_t i = 1; i < count; ++i) {
        if (slots[i].tid.load(std::memory_order_relaxed) == tid) {
            CaptureCoreThread(g_pThreads.load(std::memory_order_relaxed)[i],
                              static_cast<const ucontext_t*>(context), tid);
            slots[i].state.store(kSlotSaved, std::memory_order_release);
            for (;;) {
                ::pause();
            }
        }
    }
}

long MonotonicMs()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// Lists the process's threads after `self` in slots, asks each for its registers and waits a
// bounded time. Returns the number of threads that answered copied to `out`, `self` (already
// in threads[0]) first.
size_t CollectThreads(ThreadSlot* slots, CoreThread* threads, CoreThread* out, pid_t self)
{
    size_t count = 1;
    const int dir = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        alignas(8) static char s_entries[8192];
        for (;;) {
            const long n = ::syscall(SYS_getdents64, dir, s_entries, sizeof(s_entries));
            if (n <= 0) {
                break;
            }
            for (long at = 0; at < n;) {
                // struct linux_dirent64: inode, offset, record length, type, name
                unsigned short recLen = 0;
                std::memcpy(&recLen, s_entries + at + 16, sizeof(recLen));
                const char* name = s_entries + at + 19;
                pid_t tid = 0;
                for (; *name >= '0' && *name <= '9'; ++name) {
                    tid = tid * 10 + (*name - '0');
                }
                if (*name == '\0' && tid > 0 && tid != self && count < kMaxThreads) {
                    slots[count].tid.store(tid, std::memory_order_relaxed);
                    slots[count].state.store(kSlotAsked, std::memory_order_relaxed);
                    ++count;
                }
                at += recLen > 0 ? recLen : n;
            }
        }
        ::close(dir);
    }
    g_pThreads.store(threads, std::memory_order_relaxed);
    g_nSlots.store(count, std::memory_order_release);
    g_pSlots.store(slots, std::memory_order_release);

    const pid_t pid = ::getpid();
    for (size_t i = 1; i < count; ++i) {
        if (::syscall(SYS_tgkill, pid, slots[i].tid.load(std::memory_order_relaxed), g_nThreadSignal) != 0) {
            slots[i].state.store(kSlotGone, std::memory_order_relaxed); // it has ended since
        }
    }
    const long deadline = MonotonicMs() + kThreadReplyWaitMs;
    for (size_t i = 1; i < count; ++i) {
        while (slots[i].state.load(std::memory_order_acquire) == kSlotAsked && MonotonicMs() < deadline) {
            const struct timespec pause {0, 1000000};
            ::nanosleep(&pause, nullptr);
        }
    }

    // Into a list of its own: a thread that answers late still writes into its slot.
    size_t saved = 1;
    out[0] = threads[0];
    for (size_t i = 1; i < count; ++i) {
        if (slots[i].state.load(std::memory_order_acquire) == kSlotSaved) {
            out[saved++] = threads[i];
        }
    }
    return saved;
}

void WriteDump(int fd, int sig, siginfo_t* info, const ucontext_t* context, pid_t tid)
{
    // Taken only now, so an idle process carries no room for them.
    const size_t size = kMaxThreads * (sizeof(ThreadSlot) + 2 * sizeof(CoreThread));
    void* const room = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED) {
        static CoreThread s_self;
        CaptureCoreThread(s_self, context, tid);
        WriteCoreImage(fd, sig, info, &s_self, 1, g_coreInfo);
        return;
    }
    auto* const threads = static_cast<CoreThread*>(room);
    auto* const answered = threads + kMaxThreads;
    auto* const slots = reinterpret_cast<ThreadSlot*>(answered + kMaxThreads);
    CaptureCoreThread(threads[0], context, tid);
    const size_t count = CollectThreads(slots, threads, answered, tid);
    WriteCoreImage(fd, sig, info, answered, count, g_coreInfo);
}

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
            WriteDump(fd, sig, info, static_cast<const ucontext_t*>(context), tid);
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

    // One of the real-time signals seldom taken by libraries; fatal signals stay deliverable
    // to a parked thread.
    g_nThreadSignal = SIGRTMAX - 2;
    struct sigaction ts {};
    ts.sa_sigaction = ThreadStateFilter;
    ts.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigfillset(&ts.sa_mask);
    for (const int sig : kFatalSignals) {
        sigdelset(&ts.sa_mask, sig);
    }
    ::sigaction(g_nThreadSignal, &ts, nullptr);
}
