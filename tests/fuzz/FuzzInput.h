#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A page's text reaches the handlers as UTF-16 (a script string) made wide, lone surrogates
// included; the fuzz input spells it as UTF-8 that may also encode surrogates, so every such
// text can be written. Bytes that are no such sequence become U+FFFD, as Qt reads them.
inline std::wstring PageTextFromBytes(const uint8_t* data, size_t size)
{
    std::wstring out;
    out.reserve(size);
    size_t i = 0;
    while (i < size) {
        const uint8_t b = data[i];
        size_t extra = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            out.push_back(static_cast<wchar_t>(b));
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07, min = 0x10000;
        } else {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= extra && i + j < size && (data[i + j] & 0xC0) == 0x80; ++j) {
            cp = (cp << 6) | (data[i + j] & 0x3F);
        }
        if (j <= extra || cp < min || cp > 0x10FFFF) {
            out.push_back(L'\xFFFD');
            i += j;
            continue;
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += j;
    }
    return out;
}

inline std::string BytesOf(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}
