#include "diag/CoreSegments.h"

#include <algorithm>
#include <cstring>

#include <elf.h>
#include <link.h>

namespace {


// Each data area of a loaded file is kept up to this size; the rest of a larger one is left out.
constexpr uint64_t kDataMax = 1 << 20;
constexpr size_t kMaxLoadedObjects = 4096;
constexpr uintptr_t kRedZone = 128; // below the stack pointer, still the frame's own
constexpr uint64_t kThreadDescriptorMax = 4096; // struct pthread, with room to spare


bool StartsWith(const char* s, const char* prefix)
{
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

bool IsPrivateFileData(const ProcMapping& m)
{
    return IsFileBacked(m) && !m.shared && (m.flags & PF_W) != 0;
}

// The part of mapping i kept whole: what the debugger needs to find the loaded files and
// their data, never the heap, thread stacks (kept from each stack pointer up instead) or
// other anonymous memory.
void MappingRange(const ProcMapping* maps, size_t i, size_t count, long pageSize, uint64_t& start,
                  uint64_t& end)
{
    const ProcMapping& m = maps[i];
    start = m.start;
    end = m.start;
    if ((m.flags & PF_R) == 0) {
        return; // guard pages and other inaccessible reservations
    }
    if (m.path[0] == '[') {
        if (StartsWith(m.path, "[vdso]")) {
            end = m.end; // its unwind tables, for frames inside it
        }
        return;
    }
    if (m.path[0] == '\0') {
        // The zero-filled part of a file's data (.bss) right after it; other anonymous
        // memory is the heap's or a thread's.
        if (i > 0 && maps[i - 1].end == m.start && IsPrivateFileData(maps[i - 1])
            && (m.flags & PF_W) != 0 && !m.shared) {
            end = m.start + std::min<uint64_t>(m.end - m.start, kDataMax);
        }
        return;
    }
    if (!IsFileBacked(m) || (StartsWith(m.path, "/dev/") && !StartsWith(m.path, "/dev/zero"))) {
        return; // device memory and kernel objects
    }
    if (m.shared) {
        return;
    }
    if ((m.flags & PF_W) != 0) {
        end = m.start + std::min<uint64_t>(m.end - m.start, kDataMax); // .data, .got
        return;
    }
    // Read-only data right before the file's writable data was relocated at load; its end
    // holds the dynamic section that leads the debugger to the loaded libraries.
    if (i + 1 < count) {
        const ProcMapping& next = maps[i + 1];
        if (next.start == m.end && next.inode == m.inode && next.dev == m.dev
            && (next.flags & PF_W) != 0 && !next.shared) {
            start = m.end - std::min<uint64_t>(m.end - m.start, kDataMax);
            end = m.end;
            return;
        }
    }
    // The file's first page identifies which build of it was loaded.
    if (m.offset == 0) {
        end = m.start + std::min<uint64_t>(m.end - m.start, static_cast<uint64_t>(pageSize));
    }
}

// The mapping holding addr, or count.
size_t FindMapping(const ProcMapping* maps, size_t count, uintptr_t addr)
{
    size_t lo = 0;
    size_t hi = count;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (maps[mid].end <= addr) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo < count && maps[lo].start <= addr ? lo : count;
}

// Memory the handler may read: inside one readable private mapping that is not a device's.
size_t ReadableMapping(const ProcMapping* maps, size_t count, uintptr_t addr, size_t len)
{
    const size_t i = FindMapping(maps, count, addr);
    if (i == count || (maps[i].flags & PF_R) == 0 || maps[i].shared || maps[i].end - addr < len
        || StartsWith(maps[i].path, "/dev/") || StartsWith(maps[i].path, "[vvar")
        || StartsWith(maps[i].path, "[vsyscall]")) {
        return count;
    }
    return i;
}

struct ExtraList
{
    CoreSegment* items;
    size_t count;
    const ProcMapping* maps;
    size_t mapCount;

    void Add(uintptr_t start, uintptr_t end)
    {
        const size_t i = ReadableMapping(maps, mapCount, start, end - start);
        if (i != mapCount && start < end && count < kCoreMaxExtras) {
            items[count++] = CoreSegment{start, end, i};
        }
    }
};

// Each thread's stack from its stack pointer up, bounded: enough for its backtrace.
void AddStacks(ExtraList& extras, const CoreThread* threads, size_t threadCount, long pageSize)
{
    const uintptr_t pageMask = static_cast<uintptr_t>(pageSize) - 1;
    for (size_t t = 0; t < threadCount; ++t) {
        const auto sp = static_cast<uintptr_t>(threads[t].regs.rsp);
        uintptr_t low = (sp > kRedZone ? sp - kRedZone : 0) & ~pageMask;
        // After an overflow the stack pointer lies in the guard below the stack.
        size_t i = 0;
        while (i < extras.mapCount && extras.maps[i].end <= low) {
            ++i;
        }
        while (i < extras.mapCount && (extras.maps[i].flags & PF_R) == 0
               && extras.maps[i].start <= sp + pageMask) {
            ++i;
        }
        if (i == extras.mapCount || extras.maps[i].start > sp + pageMask) {
            continue;
        }
        low = std::max<uintptr_t>(low, extras.maps[i].start);
        extras.Add(low, low + std::min<uint64_t>(extras.maps[i].end - low, kCoreStackMax));
    }
    // The thread's descriptor at its thread pointer, which gdb's thread library reads to list
    // the threads (the main thread's lies outside any stack).
    for (size_t t = 0; t < threadCount; ++t) {
        const auto tp = static_cast<uintptr_t>(threads[t].regs.fs_base);
        const size_t i = FindMapping(extras.maps, extras.mapCount, tp);
        if (i != extras.mapCount) {
            extras.Add(tp, tp + std::min<uint64_t>(extras.maps[i].end - tp, kThreadDescriptorMax));
        }
    }
}

// The dynamic linker's list of loaded objects: gdb walks it to find the libraries. Its
// entries mostly live in the heap, so each entry and its name is kept alone, to the byte.
void AddLoadedObjects(ExtraList& extras, const void* rDebug)
{
    if (rDebug == nullptr
        || ReadableMapping(extras.maps, extras.mapCount, reinterpret_cast<uintptr_t>(rDebug),
                           sizeof(r_debug)) == extras.mapCount) {
        return;
    }
    const link_map* entry = static_cast<const r_debug*>(rDebug)->r_map;
    for (size_t n = 0; entry != nullptr && n < kMaxLoadedObjects; ++n) {
        const auto at = reinterpret_cast<uintptr_t>(entry);
        if (ReadableMapping(extras.maps, extras.mapCount, at, sizeof(link_map)) == extras.mapCount) {
            return;
        }
        extras.Add(at, at + sizeof(link_map));
        const auto name = reinterpret_cast<uintptr_t>(entry->l_name);
        const size_t i = ReadableMapping(extras.maps, extras.mapCount, name, 1);
        if (i != extras.mapCount) {
            const size_t room = std::min<uint64_t>(extras.maps[i].end - name, 4096);
            const size_t len = ::strnlen(entry->l_name, room);
            if (len < room) {
                extras.Add(name, name + len + 1);
            }
        }
        entry = entry->l_next;
    }
}

// Sorts by start and joins overlapping or touching ranges of the same mapping.
size_t SortAndJoin(CoreSegment* items, size_t count)
{
    for (size_t i = 1; i < count; ++i) {
        const CoreSegment s = items[i];
        size_t j = i;
        for (; j > 0 && items[j - 1].start > s.start; --j) {
            items[j] = items[j - 1];
        }
        items[j] = s;
    }
    size_t out = 0;
    for (size_t i = 0; i < count; ++i) {
        if (out > 0 && items[out - 1].mapping == items[i].mapping && items[i].start <= items[out - 1].end) {
            items[out - 1].end = std::max(items[out - 1].end, items[i].end);
        } else {
            items[out++] = items[i];
        }
    }
    return out;
}

// The image's memory segments in address order: each mapping's kept range and the extra
// ranges inside that mapping, without overlap.
size_t BuildSegments(const ProcMapping* maps, size_t mapCount, const CoreSegment* extras,
                     size_t extraCount, long pageSize, CoreSegment* out, size_t capacity)
{
    size_t n = 0;
    size_t e = 0;
    auto put = [&](uint64_t start, uint64_t end, size_t mapping) {
        if (start < end && n < capacity) {
            out[n++] = CoreSegment{start, end, mapping};
        }
    };
    for (size_t i = 0; i < mapCount; ++i) {
        uint64_t start = 0;
        uint64_t end = 0;
        MappingRange(maps, i, mapCount, pageSize, start, end);
        const size_t first = e;
        while (e < extraCount && extras[e].mapping == i) {
            ++e;
        }
        for (size_t x = first; x < e; ++x) {
            put(extras[x].start, start < end ? std::min(extras[x].end, start) : extras[x].end, i);
        }
        put(start, end, i);
        for (size_t x = first; x < e && start < end; ++x) {
            put(std::max(extras[x].start, end), extras[x].end, i);
        }
    }
    return n;
}

}  // namespace

size_t ChooseCoreSegments(const ProcMapping* maps, size_t mapCount, const CoreThread* threads,
                          size_t threadCount, const void* rDebug, long pageSize,
                          CoreSegment* extraScratch, CoreSegment* out, size_t capacity)
{
    ExtraList extras{extraScratch, 0, maps, mapCount};
    AddStacks(extras, threads, threadCount, pageSize);
    AddLoadedObjects(extras, rDebug);
    const size_t extraCount = SortAndJoin(extras.items, extras.count);
    return BuildSegments(maps, mapCount, extras.items, extraCount, pageSize, out, capacity);
}
