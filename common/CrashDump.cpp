#include "CrashDump.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <asm/prctl.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/procfs.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <ucontext.h>
#include <unistd.h>

std::string g_strDumpPrefix;

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kAltStackSize = 64 * 1024;
constexpr size_t kExePathMax = 1024;

// The crash handler may not allocate, lock or use the C library's time zone code, so
// everything it needs besides the clock and /proc/self/maps is taken at install time.
char g_szDumpFront[kExePathMax + 256];
long g_lUtcOffset = 0;
long g_lPageSize = 4096;
unsigned char g_auxv[8192];
size_t g_nAuxvLen = 0;
char g_szProgName[16];
char g_szProgArgs[ELF_PRARGSZ];

// The thread writing the dump; 0 while no thread is.
std::atomic<pid_t> g_nCrashTid{0};
static_assert(std::atomic<pid_t>::is_always_lock_free, "the handler may not take a lock");

std::string DumpFront()
{
    if (!g_strDumpPrefix.empty()) {
        return g_strDumpPrefix;
    }
    char path[kExePathMax];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path));
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(path)) {
        return {};
    }
    const std::string full(path, static_cast<size_t>(n));
    return full.substr(full.rfind('/') + 1);
}

// Appends the decimal value; returns the new end, or nullptr when it does not fit.
char* AppendNumber(char* out, char* end, long long value, int minDigits)
{
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    unsigned long long u = negative ? 0ULL - static_cast<unsigned long long>(value)
                                    : static_cast<unsigned long long>(value);
    do {
        digits[count++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0 || count < minDigits);
    if (end - out < count + (negative ? 1 : 0)) {
        return nullptr;
    }
    if (negative) {
        *out++ = '-';
    }
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

// front + "%d.%02d.%02d" + ".dmp" into buf, NUL-terminated; false when it does not fit.
bool ComposeDumpName(char* buf, size_t size, const char* front, int year, int month, int day)
{
    char* out = buf;
    char* const end = buf + size - 1;
    for (const char* s = front; *s != '\0'; ++s) {
        if (out == end) {
            return false;
        }
        *out++ = *s;
    }
    const char* const tail = ".dmp";
    out = AppendNumber(out, end, year, 1);
    if (out == nullptr || out == end) {
        return false;
    }
    *out++ = '.';
    out = AppendNumber(out, end, month, 2);
    if (out == nullptr || out == end) {
        return false;
    }
    *out++ = '.';
    out = AppendNumber(out, end, day, 2);
    if (out == nullptr || end - out < 4) {
        return false;
    }
    std::memcpy(out, tail, 4);
    out[4] = '\0';
    return true;
}

void ReadWholeFile(const char* path, unsigned char* buf, size_t cap, size_t& len)
{
    len = 0;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    while (len < cap) {
        const ssize_t n = ::read(fd, buf + len, cap - len);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        len += static_cast<size_t>(n);
    }
    ::close(fd);
}

// ---- Sequential writer of the dump file (static buffer, write() only) ----

struct DumpWriter
{
    int fd = -1;
    bool failed = false;
    uint64_t written = 0;
    size_t used = 0;
    unsigned char buf[64 * 1024];

    void RawWrite(const void* data, size_t len)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        while (len > 0 && !failed) {
            const ssize_t n = ::write(fd, p, len);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                failed = true;
                return;
            }
            p += n;
            len -= static_cast<size_t>(n);
        }
    }
    void Flush()
    {
        RawWrite(buf, used);
        used = 0;
    }
    void Put(const void* data, size_t len)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        written += len;
        while (len > 0) {
            if (used == sizeof(buf)) {
                Flush();
            }
            const size_t chunk = std::min(len, sizeof(buf) - used);
            std::memcpy(buf + used, p, chunk);
            used += chunk;
            p += chunk;
            len -= chunk;
        }
    }
    // Zeros as a hole; the final ftruncate gives a trailing hole its size.
    void Skip(uint64_t len)
    {
        if (len == 0) {
            return;
        }
        Flush();
        if (::lseek(fd, static_cast<off_t>(len), SEEK_CUR) < 0) {
            failed = true;
        }
        written += len;
    }
    void PadTo(uint64_t offset)
    {
        if (offset < written) {
            failed = true; // the layout was miscounted; a wrong core is worse than a short one
            return;
        }
        Skip(offset - written);
    }

    // Memory goes straight from the address to write(): the kernel reports an unreadable
    // page as EFAULT instead of a fault, and that page is left as zeros.
    void PutMemory(uintptr_t addr, uint64_t len, long pageSize)
    {
        Flush();
        const uint64_t page = static_cast<uint64_t>(pageSize);
        while (len > 0 && !failed) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(len, 1U << 20));
            const ssize_t n = ::write(fd, reinterpret_cast<const void*>(addr), chunk);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n > 0) {
                addr += static_cast<uintptr_t>(n);
                len -= static_cast<uint64_t>(n);
                written += static_cast<uint64_t>(n);
                continue;
            }
            if (n < 0 && errno != EFAULT) {
                failed = true;
                return;
            }
            const uint64_t gap = std::min<uint64_t>(len, page - addr % page);
            Skip(gap);
            addr += gap;
            len -= gap;
        }
    }
};

DumpWriter g_writer;

// ---- The process's mappings, parsed from /proc/self/maps into crash-time memory ----

struct Mapping
{
    uintptr_t start;
    uintptr_t end;
    uint64_t offset;
    uint64_t dev;
    uint64_t inode;
    const char* path; // "" for anonymous memory
    uint32_t flags;   // PF_R / PF_W / PF_X
    bool shared;
    uint64_t dumpSize; // bytes from start that go into the dump
};

constexpr size_t kMapsTextMax = 16 << 20;
constexpr size_t kMaxMappings = 65536;
constexpr size_t kMaxSegments = 65000; // e_phnum is 16 bits

uint64_t ParseHex(const char*& p)
{
    uint64_t v = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            v = v * 16 + static_cast<uint64_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            v = v * 16 + static_cast<uint64_t>(c - 'a' + 10);
        } else {
            return v;
        }
    }
}

uint64_t ParseDec(const char*& p)
{
    uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + static_cast<uint64_t>(*p - '0');
    }
    return v;
}

bool StartsWith(const char* s, const char* prefix)
{
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

bool IsFileBacked(const Mapping& m) { return m.path[0] == '/'; }

uint64_t DumpSizeOf(const Mapping* maps, size_t i, size_t count, long pageSize)
{
    const Mapping& m = maps[i];
    const uint64_t size = m.end - m.start;
    if ((m.flags & PF_R) == 0) {
        return 0; // guard pages and other inaccessible reservations
    }
    if (m.path[0] == '[') {
        const bool memory = StartsWith(m.path, "[heap]") || StartsWith(m.path, "[stack")
            || StartsWith(m.path, "[anon") || StartsWith(m.path, "[vdso]");
        return memory ? size : 0; // [vvar] and friends fault or lie when read
    }
    if (m.path[0] == '\0') {
        return size;
    }
    if (!IsFileBacked(m) || (StartsWith(m.path, "/dev/") && !StartsWith(m.path, "/dev/zero"))) {
        return 0; // device memory and kernel objects
    }
    if (m.shared) {
        return 0;
    }
    if ((m.flags & PF_W) != 0) {
        return size;
    }
    // Read-only data right before the file's writable data was relocated at load (it holds
    // the dynamic section that leads the debugger to the loaded libraries), so it differs
    // from the file.
    if (i + 1 < count) {
        const Mapping& next = maps[i + 1];
        if (next.start == m.end && next.inode == m.inode && next.dev == m.dev
            && (next.flags & PF_W) != 0 && !next.shared) {
            return size;
        }
    }
    // The file's first page identifies which build of it was loaded.
    if (m.offset == 0) {
        return std::min<uint64_t>(size, static_cast<uint64_t>(pageSize));
    }
    return 0;
}

// Parses the maps text in place; the crash-time work area itself is cut out of the list.
size_t ParseMaps(char* text, size_t len, Mapping* out, uintptr_t skipStart, uintptr_t skipEnd)
{
    size_t count = 0;
    char* line = text;
    char* const textEnd = text + len;
    while (line < textEnd && count + 2 <= kMaxMappings) {
        char* nl = static_cast<char*>(std::memchr(line, '\n', static_cast<size_t>(textEnd - line)));
        if (nl == nullptr) {
            break; // cut-off last line
        }
        *nl = '\0';
        const char* p = line;
        Mapping m{};
        m.start = ParseHex(p);
        ++p;
        m.end = ParseHex(p);
        ++p;
        if (nl - p >= 4) {
            m.flags = (p[0] == 'r' ? PF_R : 0U) | (p[1] == 'w' ? PF_W : 0U) | (p[2] == 'x' ? PF_X : 0U);
            m.shared = p[3] == 's';
            p += 5;
        }
        m.offset = ParseHex(p);
        ++p;
        const uint64_t major = ParseHex(p);
        ++p;
        m.dev = (major << 32) | ParseHex(p);
        ++p;
        m.inode = ParseDec(p);
        while (*p == ' ') {
            ++p;
        }
        m.path = p;
        line = nl + 1;
        if (m.end <= m.start) {
            continue;
        }
        if (m.start < skipEnd && skipStart < m.end) {
            if (m.start < skipStart) {
                out[count] = m;
                out[count++].end = skipStart;
            }
            if (skipEnd < m.end) {
                out[count] = m;
                out[count++].start = skipEnd;
            }
            continue;
        }
        out[count++] = m;
    }
    return count;
}

// ---- Notes ----

constexpr size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }
constexpr size_t NoteSize(size_t descSize) { return sizeof(Elf64_Nhdr) + Align4(5) + Align4(descSize); }

void PutNoteHeader(uint32_t type, size_t descSize)
{
    Elf64_Nhdr nh{};
    nh.n_namesz = 5;
    nh.n_descsz = static_cast<Elf64_Word>(descSize);
    nh.n_type = type;
    g_writer.Put(&nh, sizeof(nh));
    const char name[8] = {'C', 'O', 'R', 'E', 0, 0, 0, 0};
    g_writer.Put(name, Align4(5));
}

void PutNotePadding(size_t descSize)
{
    const char zeros[4] = {};
    g_writer.Put(zeros, Align4(descSize) - descSize);
}

void PutNote(uint32_t type, const void* desc, size_t descSize)
{
    PutNoteHeader(type, descSize);
    g_writer.Put(desc, descSize);
    PutNotePadding(descSize);
}

struct elf_prstatus g_prstatus;
struct elf_prpsinfo g_prpsinfo;
struct user_regs_struct g_regs;

void FillRegisters(const ucontext_t* uc)
{
    const greg_t* g = uc->uc_mcontext.gregs;
    auto reg = [g](int index) { return static_cast<unsigned long long>(g[index]); };
    g_regs = {};
    g_regs.r15 = reg(REG_R15);
    g_regs.r14 = reg(REG_R14);
    g_regs.r13 = reg(REG_R13);
    g_regs.r12 = reg(REG_R12);
    g_regs.rbp = reg(REG_RBP);
    g_regs.rbx = reg(REG_RBX);
    g_regs.r11 = reg(REG_R11);
    g_regs.r10 = reg(REG_R10);
    g_regs.r9 = reg(REG_R9);
    g_regs.r8 = reg(REG_R8);
    g_regs.rax = reg(REG_RAX);
    g_regs.rcx = reg(REG_RCX);
    g_regs.rdx = reg(REG_RDX);
    g_regs.rsi = reg(REG_RSI);
    g_regs.rdi = reg(REG_RDI);
    g_regs.orig_rax = ~0ULL; // not inside a system call, so the debugger restarts none
    g_regs.rip = reg(REG_RIP);
    g_regs.eflags = reg(REG_EFL);
    g_regs.rsp = reg(REG_RSP);
    const unsigned long long csgsfs = reg(REG_CSGSFS);
    g_regs.cs = csgsfs & 0xffff;
    g_regs.gs = (csgsfs >> 16) & 0xffff;
    g_regs.fs = (csgsfs >> 32) & 0xffff;
    constexpr unsigned long kSigcontextHasSs = 0x2;
    g_regs.ss = (uc->uc_flags & kSigcontextHasSs) != 0 ? (csgsfs >> 48) & 0xffff : 0x2b;
    unsigned long base = 0;
    if (::syscall(SYS_arch_prctl, ARCH_GET_FS, &base) == 0) {
        g_regs.fs_base = base;
    }
    base = 0;
    if (::syscall(SYS_arch_prctl, ARCH_GET_GS, &base) == 0) {
        g_regs.gs_base = base;
    }
}

void WriteCoreDump(int fd, int sig, const siginfo_t* info, const ucontext_t* uc, pid_t tid)
{
    const long page = g_lPageSize;

    // The maps text and the parsed list live in memory taken now, so an idle process carries
    // no buffers for them; that range is left out of the dump.
    const size_t workSize = kMapsTextMax + kMaxMappings * sizeof(Mapping);
    void* const work = ::mmap(nullptr, workSize, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (work == MAP_FAILED) {
        return;
    }
    char* const mapsText = static_cast<char*>(work);
    auto* const maps = reinterpret_cast<Mapping*>(mapsText + kMapsTextMax);
    size_t mapsLen = 0;
    ReadWholeFile("/proc/self/maps", reinterpret_cast<unsigned char*>(mapsText), kMapsTextMax - 1,
                  mapsLen);
    const auto workStart = reinterpret_cast<uintptr_t>(work);
    const size_t mapCount = ParseMaps(mapsText, mapsLen, maps, workStart, workStart + workSize);

    size_t segments = 0;
    size_t files = 0;
    size_t fileNamesSize = 0;
    for (size_t i = 0; i < mapCount; ++i) {
        maps[i].dumpSize = segments < kMaxSegments ? DumpSizeOf(maps, i, mapCount, page) : 0;
        segments += maps[i].dumpSize != 0 ? 1 : 0;
        if (IsFileBacked(maps[i])) {
            ++files;
            fileNamesSize += std::strlen(maps[i].path) + 1;
        }
    }

    FillRegisters(uc);
    g_prstatus = {};
    g_prstatus.pr_info.si_signo = sig;
    g_prstatus.pr_info.si_code = info != nullptr ? info->si_code : 0;
    g_prstatus.pr_info.si_errno = info != nullptr ? info->si_errno : 0;
    g_prstatus.pr_cursig = static_cast<short>(sig);
    std::memcpy(&g_prstatus.pr_sighold, &uc->uc_sigmask,
                std::min(sizeof(g_prstatus.pr_sighold), sizeof(uc->uc_sigmask)));
    g_prstatus.pr_pid = tid;
    g_prstatus.pr_ppid = ::getppid();
    g_prstatus.pr_pgrp = ::getpgrp();
    g_prstatus.pr_sid = ::getsid(0);
    static_assert(sizeof(g_prstatus.pr_reg) == sizeof(g_regs));
    std::memcpy(&g_prstatus.pr_reg, &g_regs, sizeof(g_regs));
    const bool hasFp = uc->uc_mcontext.fpregs != nullptr;
    g_prstatus.pr_fpvalid = hasFp ? 1 : 0;

    g_prpsinfo = {};
    g_prpsinfo.pr_sname = 'R';
    g_prpsinfo.pr_uid = ::getuid();
    g_prpsinfo.pr_gid = ::getgid();
    g_prpsinfo.pr_pid = ::getpid();
    g_prpsinfo.pr_ppid = g_prstatus.pr_ppid;
    g_prpsinfo.pr_pgrp = g_prstatus.pr_pgrp;
    g_prpsinfo.pr_sid = g_prstatus.pr_sid;
    std::memcpy(g_prpsinfo.pr_fname, g_szProgName, sizeof(g_prpsinfo.pr_fname));
    std::memcpy(g_prpsinfo.pr_psargs, g_szProgArgs, sizeof(g_prpsinfo.pr_psargs));

    const size_t fpSize = sizeof(struct user_fpregs_struct);
    const size_t fileDescSize = 2 * sizeof(uint64_t) + files * 3 * sizeof(uint64_t) + fileNamesSize;
    const size_t notesSize = NoteSize(sizeof(g_prstatus)) + (hasFp ? NoteSize(fpSize) : 0)
        + NoteSize(sizeof(g_prpsinfo)) + NoteSize(sizeof(siginfo_t)) + NoteSize(g_nAuxvLen)
        + NoteSize(fileDescSize);
    const uint64_t notesOffset = sizeof(Elf64_Ehdr) + (segments + 1) * sizeof(Elf64_Phdr);
    const uint64_t pageMask = static_cast<uint64_t>(page) - 1;
    const uint64_t dataOffset = (notesOffset + notesSize + pageMask) & ~pageMask;

    g_writer.fd = fd;
    Elf64_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS64;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_ident[EI_OSABI] = ELFOSABI_NONE;
    eh.e_type = ET_CORE;
    eh.e_machine = EM_X86_64;
    eh.e_version = EV_CURRENT;
    eh.e_phoff = sizeof(Elf64_Ehdr);
    eh.e_ehsize = sizeof(Elf64_Ehdr);
    eh.e_phentsize = sizeof(Elf64_Phdr);
    eh.e_phnum = static_cast<Elf64_Half>(segments + 1);
    g_writer.Put(&eh, sizeof(eh));

    Elf64_Phdr ph{};
    ph.p_type = PT_NOTE;
    ph.p_offset = notesOffset;
    ph.p_filesz = notesSize;
    ph.p_align = 4;
    g_writer.Put(&ph, sizeof(ph));
    uint64_t offset = dataOffset;
    for (size_t i = 0; i < mapCount; ++i) {
        if (maps[i].dumpSize == 0) {
            continue;
        }
        ph = {};
        ph.p_type = PT_LOAD;
        ph.p_flags = maps[i].flags;
        ph.p_offset = offset;
        ph.p_vaddr = maps[i].start;
        ph.p_filesz = maps[i].dumpSize;
        ph.p_memsz = maps[i].dumpSize;
        ph.p_align = static_cast<uint64_t>(page);
        g_writer.Put(&ph, sizeof(ph));
        offset += maps[i].dumpSize;
    }

    // The faulting thread's registers first, its floating-point state right after, as the
    // debugger pairs them by order.
    PutNote(NT_PRSTATUS, &g_prstatus, sizeof(g_prstatus));
    if (hasFp) {
        PutNote(NT_FPREGSET, uc->uc_mcontext.fpregs, fpSize);
    }
    PutNote(NT_PRPSINFO, &g_prpsinfo, sizeof(g_prpsinfo));
    if (info != nullptr) {
        PutNote(NT_SIGINFO, info, sizeof(siginfo_t));
    } else {
        static siginfo_t s_emptyInfo;
        s_emptyInfo.si_signo = sig;
        PutNote(NT_SIGINFO, &s_emptyInfo, sizeof(siginfo_t));
    }
    PutNote(NT_AUXV, g_auxv, g_nAuxvLen);

    PutNoteHeader(NT_FILE, fileDescSize);
    const uint64_t fileHead[2] = {files, static_cast<uint64_t>(page)};
    g_writer.Put(fileHead, sizeof(fileHead));
    for (size_t i = 0; i < mapCount; ++i) {
        if (IsFileBacked(maps[i])) {
            const uint64_t entry[3] = {maps[i].start, maps[i].end,
                                       maps[i].offset / static_cast<uint64_t>(page)};
            g_writer.Put(entry, sizeof(entry));
        }
    }
    for (size_t i = 0; i < mapCount; ++i) {
        if (IsFileBacked(maps[i])) {
            g_writer.Put(maps[i].path, std::strlen(maps[i].path) + 1);
        }
    }
    PutNotePadding(fileDescSize);

    g_writer.PadTo(dataOffset);
    for (size_t i = 0; i < mapCount && !g_writer.failed; ++i) {
        if (maps[i].dumpSize != 0) {
            g_writer.PutMemory(maps[i].start, maps[i].dumpSize, page);
        }
    }
    g_writer.Flush();
    if (!g_writer.failed) {
        ::ftruncate(fd, static_cast<off_t>(g_writer.written));
    }
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
        && ComposeDumpName(s_szName, sizeof(s_szName), g_szDumpFront, date.tm_year + 1900,
                           date.tm_mon + 1, date.tm_mday)) {
        const int fd = ::open(s_szName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            WriteCoreDump(fd, sig, info, static_cast<const ucontext_t*>(context), tid);
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

    const std::string front = DumpFront();
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

    ReadWholeFile("/proc/self/auxv", g_auxv, sizeof(g_auxv), g_nAuxvLen);

    char exe[kExePathMax];
    const ssize_t exeLen = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::memset(g_szProgName, 0, sizeof(g_szProgName));
    if (exeLen > 0) {
        exe[exeLen] = '\0';
        const char* slash = std::strrchr(exe, '/');
        const char* name = slash != nullptr ? slash + 1 : exe;
        std::memcpy(g_szProgName, name, std::min(std::strlen(name), sizeof(g_szProgName) - 1));
    }
    size_t argsLen = 0;
    ReadWholeFile("/proc/self/cmdline", reinterpret_cast<unsigned char*>(g_szProgArgs),
                  sizeof(g_szProgArgs) - 1, argsLen);
    for (size_t i = 0; i < argsLen; ++i) {
        if (g_szProgArgs[i] == '\0') {
            g_szProgArgs[i] = ' ';
        }
    }
    while (argsLen > 0 && g_szProgArgs[argsLen - 1] == ' ') {
        --argsLen;
    }
    g_szProgArgs[argsLen] = '\0';

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

std::string CrashDumpFileName(const std::tm& localDate)
{
    const std::string front = DumpFront();
    if (front.empty()) {
        return {};
    }
    std::string name(front.size() + 32, '\0');
    if (!ComposeDumpName(name.data(), name.size(), front.c_str(), localDate.tm_year + 1900,
                         localDate.tm_mon + 1, localDate.tm_mday)) {
        return {};
    }
    name.resize(std::strlen(name.c_str()));
    return name;
}

std::tm CrashDumpLocalDate(std::time_t now, long utcOffsetSeconds)
{
    const long long local = static_cast<long long>(now) + utcOffsetSeconds;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    std::tm date{};
    date.tm_hour = static_cast<int>(secs / 3600);
    date.tm_min = static_cast<int>(secs / 60 % 60);
    date.tm_sec = static_cast<int>(secs % 60);
    // Days since 1970-01-01 to a proleptic Gregorian date, by 400-year eras from 0000-03-01.
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = static_cast<long long>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
    date.tm_year = static_cast<int>(year - 1900);
    date.tm_mon = static_cast<int>(month) - 1;
    date.tm_mday = static_cast<int>(day);
    return date;
}
