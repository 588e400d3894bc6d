#include "diag/ElfCoreWriter.h"

#include "diag/CoreSegments.h"
#include "diag/ProcMaps.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <asm/prctl.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <unistd.h>

namespace {

constexpr size_t kExePathMax = 1024;
constexpr size_t kMapsTextMax = 16 << 20;
constexpr size_t kMaxMappings = 65536;
constexpr size_t kMaxSegments = 65000; // e_phnum is 16 bits

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

    // Memory goes straight from the address to the write system call: the kernel reports an
    // unreadable page as EFAULT instead of a fault, and that page is left as zeros. The raw
    // call, since AddressSanitizer's write() checks what it sends and takes a segment's
    // redzones for a bad read.
    void PutMemory(uintptr_t addr, uint64_t len, long pageSize)
    {
        Flush();
        const uint64_t page = static_cast<uint64_t>(pageSize);
        while (len > 0 && !failed) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(len, 1U << 20));
            const ssize_t n = ::syscall(SYS_write, fd, reinterpret_cast<const void*>(addr), chunk);
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

} // namespace

void CaptureCoreThread(CoreThread& thread, const ucontext_t* uc, pid_t tid)
{
    const greg_t* g = uc->uc_mcontext.gregs;
    auto reg = [g](int index) { return static_cast<unsigned long long>(g[index]); };
    thread.tid = tid;
    thread.regs = {};
    thread.regs.r15 = reg(REG_R15);
    thread.regs.r14 = reg(REG_R14);
    thread.regs.r13 = reg(REG_R13);
    thread.regs.r12 = reg(REG_R12);
    thread.regs.rbp = reg(REG_RBP);
    thread.regs.rbx = reg(REG_RBX);
    thread.regs.r11 = reg(REG_R11);
    thread.regs.r10 = reg(REG_R10);
    thread.regs.r9 = reg(REG_R9);
    thread.regs.r8 = reg(REG_R8);
    thread.regs.rax = reg(REG_RAX);
    thread.regs.rcx = reg(REG_RCX);
    thread.regs.rdx = reg(REG_RDX);
    thread.regs.rsi = reg(REG_RSI);
    thread.regs.rdi = reg(REG_RDI);
    thread.regs.orig_rax = ~0ULL; // not inside a system call, so the debugger restarts none
    thread.regs.rip = reg(REG_RIP);
    thread.regs.eflags = reg(REG_EFL);
    thread.regs.rsp = reg(REG_RSP);
    const unsigned long long csgsfs = reg(REG_CSGSFS);
    thread.regs.cs = csgsfs & 0xffff;
    thread.regs.gs = (csgsfs >> 16) & 0xffff;
    thread.regs.fs = (csgsfs >> 32) & 0xffff;
    constexpr unsigned long kSigcontextHasSs = 0x2;
    thread.regs.ss = (uc->uc_flags & kSigcontextHasSs) != 0 ? (csgsfs >> 48) & 0xffff : 0x2b;
    unsigned long base = 0;
    if (::syscall(SYS_arch_prctl, ARCH_GET_FS, &base) == 0) {
        thread.regs.fs_base = base;
    }
    base = 0;
    if (::syscall(SYS_arch_prctl, ARCH_GET_GS, &base) == 0) {
        thread.regs.gs_base = base;
    }
    thread.hasFp = uc->uc_mcontext.fpregs != nullptr;
    if (thread.hasFp) {
        static_assert(sizeof(thread.fp) == sizeof(*uc->uc_mcontext.fpregs));
        std::memcpy(&thread.fp, uc->uc_mcontext.fpregs, sizeof(thread.fp));
    }
    std::memcpy(&thread.sigmask, &uc->uc_sigmask, sizeof(thread.sigmask));
}

void CollectCoreProcessInfo(CoreProcessInfo& info, long pageSize)
{
    info.pageSize = pageSize;
    ReadProcFile("/proc/self/auxv", info.auxv, sizeof(info.auxv), info.auxvLen);

    char exe[kExePathMax];
    const ssize_t exeLen = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::memset(info.progName, 0, sizeof(info.progName));
    if (exeLen > 0) {
        exe[exeLen] = '\0';
        const char* slash = std::strrchr(exe, '/');
        const char* name = slash != nullptr ? slash + 1 : exe;
        std::memcpy(info.progName, name, std::min(std::strlen(name), sizeof(info.progName) - 1));
    }
    size_t argsLen = 0;
    ReadProcFile("/proc/self/cmdline", reinterpret_cast<unsigned char*>(info.progArgs),
                 sizeof(info.progArgs) - 1, argsLen);
    for (size_t i = 0; i < argsLen; ++i) {
        if (info.progArgs[i] == '\0') {
            info.progArgs[i] = ' ';
        }
    }
    while (argsLen > 0 && info.progArgs[argsLen - 1] == ' ') {
        --argsLen;
    }
    info.progArgs[argsLen] = '\0';
    info.rDebug = &_r_debug;
}

void WriteCoreImage(int fd, int sig, const siginfo_t* info, const CoreThread* threads,
                    size_t threadCount, const CoreProcessInfo& process)
{
    const long page = process.pageSize;
    if (threadCount == 0) {
        return;
    }

    // The maps text, the parsed list and the segments live in memory taken now, so an idle
    // process carries no buffers for them; that range is left out of the dump.
    const size_t workSize = kMapsTextMax + kMaxMappings * sizeof(ProcMapping)
        + (kMaxSegments + kCoreMaxExtras) * sizeof(CoreSegment);
    void* const work = ::mmap(nullptr, workSize, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (work == MAP_FAILED) {
        return;
    }
    char* const mapsText = static_cast<char*>(work);
    auto* const maps = reinterpret_cast<ProcMapping*>(mapsText + kMapsTextMax);
    auto* const segments = reinterpret_cast<CoreSegment*>(maps + kMaxMappings);
    auto* const extraItems = segments + kMaxSegments;
    size_t mapsLen = 0;
    ReadProcFile("/proc/self/maps", reinterpret_cast<unsigned char*>(mapsText), kMapsTextMax - 1,
                 mapsLen);
    const auto workStart = reinterpret_cast<uintptr_t>(work);
    const size_t mapCount =
        ParseProcMaps(mapsText, mapsLen, maps, kMaxMappings, workStart, workStart + workSize);

    const size_t segmentCount = ChooseCoreSegments(maps, mapCount, threads, threadCount,
                                                   process.rDebug, page, extraItems, segments,
                                                   kMaxSegments);

    size_t files = 0;
    size_t fileNamesSize = 0;
    for (size_t i = 0; i < mapCount; ++i) {
        if (IsFileBacked(maps[i])) {
            ++files;
            fileNamesSize += std::strlen(maps[i].path) + 1;
        }
    }

    g_prpsinfo = {};
    g_prpsinfo.pr_sname = 'R';
    g_prpsinfo.pr_uid = ::getuid();
    g_prpsinfo.pr_gid = ::getgid();
    g_prpsinfo.pr_pid = ::getpid();
    g_prpsinfo.pr_ppid = ::getppid();
    g_prpsinfo.pr_pgrp = ::getpgrp();
    g_prpsinfo.pr_sid = ::getsid(0);
    std::memcpy(g_prpsinfo.pr_fname, process.progName, sizeof(g_prpsinfo.pr_fname));
    std::memcpy(g_prpsinfo.pr_psargs, process.progArgs, sizeof(g_prpsinfo.pr_psargs));

    const size_t fpSize = sizeof(struct user_fpregs_struct);
    const size_t fileDescSize = 2 * sizeof(uint64_t) + files * 3 * sizeof(uint64_t) + fileNamesSize;
    size_t notesSize = NoteSize(sizeof(g_prpsinfo)) + NoteSize(sizeof(siginfo_t))
        + NoteSize(process.auxvLen) + NoteSize(fileDescSize);
    for (size_t t = 0; t < threadCount; ++t) {
        notesSize += NoteSize(sizeof(g_prstatus)) + (threads[t].hasFp ? NoteSize(fpSize) : 0);
    }
    const uint64_t notesOffset = sizeof(Elf64_Ehdr) + (segmentCount + 1) * sizeof(Elf64_Phdr);
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
    eh.e_phnum = static_cast<Elf64_Half>(segmentCount + 1);
    g_writer.Put(&eh, sizeof(eh));

    Elf64_Phdr ph{};
    ph.p_type = PT_NOTE;
    ph.p_offset = notesOffset;
    ph.p_filesz = notesSize;
    ph.p_align = 4;
    g_writer.Put(&ph, sizeof(ph));
    uint64_t offset = dataOffset;
    for (size_t s = 0; s < segmentCount; ++s) {
        const uint64_t size = segments[s].end - segments[s].start;
        ph = {};
        ph.p_type = PT_LOAD;
        ph.p_flags = maps[segments[s].mapping].flags;
        ph.p_offset = offset;
        ph.p_vaddr = segments[s].start;
        ph.p_filesz = size;
        ph.p_memsz = size;
        ph.p_align = 1; // the loaded-object entries are kept to the byte
        g_writer.Put(&ph, sizeof(ph));
        offset += size;
    }

    const auto PutProcessNotes = [&] {
        PutNote(NT_PRPSINFO, &g_prpsinfo, sizeof(g_prpsinfo));
        if (info != nullptr) {
            PutNote(NT_SIGINFO, info, sizeof(siginfo_t));
        } else {
            static siginfo_t s_emptyInfo;
            s_emptyInfo.si_signo = sig;
            PutNote(NT_SIGINFO, &s_emptyInfo, sizeof(siginfo_t));
        }
        PutNote(NT_AUXV, process.auxv, process.auxvLen);

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
    };
    // Each thread's registers with its floating-point state right after, as the debugger
    // pairs them by order; the faulting thread first, as the debugger's current thread, and
    // the process's notes after it, as the debugger gives the signal's details to the thread
    // whose registers precede them.
    for (size_t t = 0; t < threadCount; ++t) {
        const CoreThread& thread = threads[t];
        g_prstatus = {};
        g_prstatus.pr_info.si_signo = sig;
        g_prstatus.pr_info.si_code = info != nullptr ? info->si_code : 0;
        g_prstatus.pr_info.si_errno = info != nullptr ? info->si_errno : 0;
        g_prstatus.pr_cursig = static_cast<short>(sig);
        std::memcpy(&g_prstatus.pr_sighold, &thread.sigmask,
                    std::min(sizeof(g_prstatus.pr_sighold), sizeof(thread.sigmask)));
        g_prstatus.pr_pid = thread.tid;
        g_prstatus.pr_ppid = g_prpsinfo.pr_ppid;
        g_prstatus.pr_pgrp = g_prpsinfo.pr_pgrp;
        g_prstatus.pr_sid = g_prpsinfo.pr_sid;
        static_assert(sizeof(g_prstatus.pr_reg) == sizeof(thread.regs));
        std::memcpy(&g_prstatus.pr_reg, &thread.regs, sizeof(thread.regs));
        g_prstatus.pr_fpvalid = thread.hasFp ? 1 : 0;
        PutNote(NT_PRSTATUS, &g_prstatus, sizeof(g_prstatus));
        if (thread.hasFp) {
            PutNote(NT_FPREGSET, &thread.fp, fpSize);
        }
        if (t == 0) {
            PutProcessNotes();
        }
    }

    g_writer.PadTo(dataOffset);
    for (size_t s = 0; s < segmentCount && !g_writer.failed; ++s) {
        g_writer.PutMemory(segments[s].start, segments[s].end - segments[s].start, page);
    }
    g_writer.Flush();
    if (!g_writer.failed) {
        ::ftruncate(fd, static_cast<off_t>(g_writer.written));
    }
}
