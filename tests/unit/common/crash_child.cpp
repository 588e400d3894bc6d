// Installs the crash handler, then crashes the way its first argument names. Its second
// argument, when given, is the dump prefix. Before crashing it prints the crashing thread's id.
#include "diag/CrashDump.h"

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

[[gnu::noinline]] void CrashChildNullWrite()
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

    const std::string mode = argv[1];
    if (mode == "null-write") {
        CrashChildNullWrite();
    } else if (mode == "main-overflow") {
        AnnounceCrashingThread();
        CrashChildRecurse<OnMainThread>(0);
    } else if (mode == "worker-overflow") {
        std::thread worker([] {
            PrepareThreadForCrashDump();
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
