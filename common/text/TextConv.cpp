#include "text/TextConv.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

void EnsureUtf8Locale()
{
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || std::strcmp(codeset, "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
}

std::wstring AnsiToWide(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    std::mbstate_t state{};
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        wchar_t wc = 0;
        size_t n = std::mbrtowc(&wc, p, left, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            out.push_back(L'\uFFFD');
            state = std::mbstate_t{};
            ++p;
            --left;
            continue;
        }
        if (n == 0) {  // embedded NUL
            out.push_back(L'\0');
            n = 1;
        } else {
            out.push_back(wc);
        }
        p += n;
        left -= n;
    }
    return out;
}

std::string WideToAnsi(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (wchar_t wc : text) {
        size_t n = std::wcrtomb(buf, wc, &state);
        if (n == static_cast<size_t>(-1)) {
            out.push_back('?');
            state = std::mbstate_t{};
            continue;
        }
        out.append(buf, n);
    }
    return out;
}

std::string WideToUtf8(const std::wstring& text)
{
    return QString::fromStdWString(text).toStdString();
}

std::wstring Utf8ToWide(const std::string& text)
{
    return QString::fromStdString(text).toStdWString();
}

std::string WideToUtf16Le(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size() * 2);
    auto put = [&out](char16_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>((unit >> 8) & 0xFF));
    };
    for (wchar_t wc : text) {
        auto cp = static_cast<char32_t>(wc);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            put(0xFFFD);
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            put(static_cast<char16_t>(0xD800 + (cp >> 10)));
            put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
    return out;
}
