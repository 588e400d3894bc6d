// The maps text as the crash handler reads it, parsed into a small fixed table, with and
// without a range to leave out.
#include "diag/ProcMaps.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the input's bytes, so any read past them is caught.
    std::vector<char> text(data, data + size);
    ProcMapping out[8];
    for (const auto& skip : {std::pair<uintptr_t, uintptr_t>{0, 0},
                             std::pair<uintptr_t, uintptr_t>{0x1000, 0x7fff0000}}) {
        if (size > 0) {
            std::memcpy(text.data(), data, size);
        }
        const size_t n = ParseProcMaps(text.data(), size, out, 8, skip.first, skip.second);
        if (n > 8) {
            std::abort();
        }
        for (size_t i = 0; i < n; ++i) {
            const ProcMapping& m = out[i];
            // Each path ends at the NUL its line's newline became, inside the text.
            if (m.end <= m.start || m.path < text.data() || m.path >= text.data() + size) {
                std::abort();
            }
            if (m.start < skip.second && skip.first < m.end) {
                std::abort();
            }
            (void)std::strlen(m.path);
        }
    }
    return 0;
}
