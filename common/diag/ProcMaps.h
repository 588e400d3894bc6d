#pragma once
#include <cstddef>
#include <cstdint>

// The process's memory map as the kernel lists it in /proc/self/maps, read and parsed without
// allocation, locks or stdio, so the crash handler can use it inside the signal handler.

// One line of the maps text.
struct ProcMapping
{
    uintptr_t start;
    uintptr_t end;    // one past the last byte
    uint64_t offset;  // into the mapped file
    uint64_t dev;     // major << 32 | minor
    uint64_t inode;
    const char* path; // the rest of the line, blanks included; "" for anonymous memory
    uint32_t flags;   // PF_R / PF_W / PF_X from <elf.h>
    bool shared;      // 's' in the permissions, else private
};

// A mapping of a file by its path (not "[heap]", "[vdso]" or anonymous memory).
inline bool IsFileBacked(const ProcMapping& m) { return m.path[0] == '/'; }

// Reads up to `cap` bytes of the file at `path` into buf; len is what was read, 0 when the
// file cannot be opened.
void ReadProcFile(const char* path, unsigned char* buf, size_t cap, size_t& len);

// Parses the first `len` bytes of maps text in place: the newline of each line read becomes
// the NUL that ends its path, and each path points into `text`. Only complete lines of the form
//   start-end perms offset major:minor inode [path]
// (lower-case hex of up to 16 digits, decimal inode, perms four characters) are taken; any
// other line, a line whose end is not above its start, and a last line without its newline
// (cut off) are dropped.
// A mapping overlapping [skipStart, skipEnd) keeps only its parts outside that range (none,
// one or two entries). Since a line may become two entries, parsing stops once fewer than two
// of the `capacity` entries of `out` are free. Never reads or writes outside text[0, len) and
// out[0, capacity). Returns the number of entries written.
size_t ParseProcMaps(char* text, size_t len, ProcMapping* out, size_t capacity,
                     uintptr_t skipStart = 0, uintptr_t skipEnd = 0);
