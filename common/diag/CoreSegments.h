#pragma once
#include "diag/CoreThread.h"
#include "diag/ProcMaps.h"

#include <cstddef>
#include <cstdint>

// Which memory a dump keeps: each thread's stack from its stack pointer up (bounded), what gdb
// needs to name the threads and walk the loaded-library list, and the loaded files' small data
// areas; never the heap or other anonymous memory. No allocation, no locks.

struct CoreSegment
{
    uint64_t start;
    uint64_t end;
    size_t mapping;  // index into the maps list
};

// Each thread's stack is kept from its stack pointer up, at most this many bytes.
inline constexpr uint64_t kCoreStackMax = 1 << 20;

// Room the caller provides for the extra ranges (stacks, thread descriptors, library list).
inline constexpr size_t kCoreMaxExtras = 16384;

// Fills out (at most capacity) with the kept segments in address order, without overlap;
// extraScratch holds kCoreMaxExtras entries. Returns how many.
size_t ChooseCoreSegments(const ProcMapping* maps, size_t mapCount, const CoreThread* threads,
                          size_t threadCount, const void* rDebug, long pageSize,
                          CoreSegment* extraScratch, CoreSegment* out, size_t capacity);
