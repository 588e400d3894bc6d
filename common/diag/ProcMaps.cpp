#include "diag/ProcMaps.h"

#include <cerrno>
#include <cstring>

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Reads one line's fields; never moves past the line's end.
struct LineCursor
{
    const char* p;
    const char* end;

    // Lower-case hex digits, as the kernel writes them; at most 16 of them.
    bool Hex(uint64_t& value)
    {
        value = 0;
        int digits = 0;
        while (p < end) {
            const char c = *p;
            if (c >= '0' && c <= '9') {
                value = value * 16 + static_cast<uint64_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value = value * 16 + static_cast<uint64_t>(c - 'a' + 10);
            } else {
                break;
            }
            ++p;
            ++digits;
        }
        return digits > 0 && digits <= 16;
    }

    bool Dec(uint64_t& value)
    {
        value = 0;
        int digits = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits) {
            value = value * 10 + static_cast<uint64_t>(*p - '0');
        }
        return digits > 0 && digits <= 19;
    }

    bool Take(char c)
    {
        if (p == end || *p != c) {
            return false;
        }
        ++p;
        return true;
    }
};

// One line without its newline, [line, end); *end is the NUL that ends the path.
bool ParseLine(const char* line, const char* end, ProcMapping& m)
{
    LineCursor c{line, end};
    uint64_t start = 0;
    uint64_t stop = 0;
    if (!c.Hex(start) || !c.Take('-') || !c.Hex(stop) || !c.Take(' ')) {
        return false;
    }
    if (end - c.p < 5 || c.p[4] != ' ') {
        return false;
    }
    m.flags = (c.p[0] == 'r' ? PF_R : 0U) | (c.p[1] == 'w' ? PF_W : 0U) | (c.p[2] == 'x' ? PF_X : 0U);
    m.shared = c.p[3] == 's';
    c.p += 5;
    uint64_t major = 0;
    uint64_t minor = 0;
    if (!c.Hex(m.offset) || !c.Take(' ') || !c.Hex(major) || !c.Take(':') || !c.Hex(minor)
        || !c.Take(' ') || !c.Dec(m.inode)) {
        return false;
    }
    if (c.p != end && *c.p != ' ') {
        return false;
    }
    while (c.p != end && *c.p == ' ') {
        ++c.p;
    }
    m.start = static_cast<uintptr_t>(start);
    m.end = static_cast<uintptr_t>(stop);
    m.dev = (major << 32) | minor;
    m.path = c.p;
    return true;
}

} // namespace

void ReadProcFile(const char* path, unsigned char* buf, size_t cap, size_t& len)
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

size_t ParseProcMaps(char* text, size_t len, ProcMapping* out, size_t capacity,
                     uintptr_t skipStart, uintptr_t skipEnd)
{
    size_t count = 0;
    char* line = text;
    char* const textEnd = text + len;
    while (line < textEnd && count + 2 <= capacity) {
        auto* const nl = static_cast<char*>(std::memchr(line, '\n', static_cast<size_t>(textEnd - line)));
        if (nl == nullptr) {
            break; // cut-off last line
        }
        *nl = '\0';
        ProcMapping m{};
        const bool parsed = ParseLine(line, nl, m);
        line = nl + 1;
        if (!parsed || m.end <= m.start) {
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
