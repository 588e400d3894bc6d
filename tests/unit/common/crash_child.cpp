// Installs the crash handler, then crashes the way its first argument names. Its second
// argument, when given, is the dump prefix. Before crashing it prints the crashing thread's id.
// Two idle threads and a large block of heap data stand for a program's other threads and the
// pages and keys it holds.
#include "diag/CrashDump.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

// Written at run time, so the debugger can only find these values in the dump's memory.
volatile long g_lCrashCookie = 0;
char* g_pszHeapCookie = nullptr;
char* g_pHeapBlock = nullptr;
constexpr size_t kHeapBlockSize = 64 << 20;

int* volatile g_pNull = nullptr;
volatile unsigned long g_nRecursionLimit = ~0UL;

struct OnMainThread {};
struct OnWorkerThread {};

namespace {

void AnnounceCrashingThread()
{
    std::printf("crashing thread %ld\n", static_cast<long>(::syscall(SYS_gettid)));
    std::fflush(stdout);
}

// A writable mapping whose second page lies beyond the end of its file: reading that page
// faults, so the dump writer must step over it.
void MapPageBeyondEndOfFile()
{
    const long page = ::sysconf(_SC_PAGESIZE);
    const int fd = ::memfd_create("crash-child", 0);
    if (fd < 0 || ::ftruncate(fd, page) != 0) {
        std::exit(4);
    }
    void* const map = ::mmap(nullptr, static_cast<size_t>(2 * page), PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        std::exit(4);
    }
    static_cast<char*>(map)[0] = 1;
}

} // namespace

std::atomic<int> g_nIdleThreads{0};

[[gnu::noinline]] void CrashChildIdle()
{
    ++g_nIdleThreads;
    for (;;) {
        ::pause();
    }
}

// The fault is the point: under the undefined behaviour check it must still reach the handler.
[[gnu::noinline, gnu::no_sanitize("null")]] void CrashChildNullWrite()
{
    AnnounceCrashingThread();
    *g_pNull = 42;
}

template <typename Where>
[[gnu::noinline]] unsigned long CrashChildRecurse(unsigned long depth)
{
    volatile char frame[512];
    frame[depth % sizeof(frame)] = static_cast<char>(depth);
    if (depth == g_nRecursionLimit) {
        return 0;
    }
    return CrashChildRecurse<Where>(depth + 1) + static_cast<unsigned long>(frame[0]);
}

[[gnu::noinline]] void CrashChildAbort()
{
    AnnounceCrashingThread();
    std::abort();
}

int main(int argc, char* argv[])
{
    if (argc < 2) {
        return 2;
    }
    if (argc >= 3) {
        g_strDumpPrefix = argv[2];
    }
    InstallCrashDumpFilter();

    g_lCrashCookie = ::getpid();
    g_pszHeapCookie = ::strdup(("heap cookie " + std::to_string(::getpid())).c_str());
    g_pHeapBlock = static_cast<char*>(std::malloc(kHeapBlockSize));
    if (g_pHeapBlock == nullptr) {
        return 4;
    }
    std::memset(g_pHeapBlock, 0x5a, kHeapBlockSize);
    for (int i = 0; i < 2; ++i) {
        StartThread(CrashChildIdle).detach();
    }
    while (g_nIdleThreads < 2) {
        ::usleep(1000);
    }

    const std::string mode = argv[1];
    if (mode == "null-write") {
        CrashChildNullWrite();
    } else if (mode == "main-overflow") {
        AnnounceCrashingThread();
        CrashChildRecurse<OnMainThread>(0);
    } else if (mode == "worker-overflow") {
        std::thread worker = StartThread([] {
            AnnounceCrashingThread();
            CrashChildRecurse<OnWorkerThread>(0);
        });
        worker.join();
    } else if (mode == "unreadable-page") {
        MapPageBeyondEndOfFile();
        CrashChildNullWrite();
    } else if (mode == "abort") {
        CrashChildAbort();
    }
    return 3; // unknown mode, or the crash did not happen
}
