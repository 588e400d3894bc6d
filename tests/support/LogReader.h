#pragma once
#include "text/TextConv.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Decodes a UTF-16LE debug log into its lines, checking that each line starts with its own
// FF FE mark and ends with CR LF.
inline std::vector<std::wstring> ReadLogLines(const std::string& path)
{
    const std::string bytes = ReadFileBytes(path);
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    std::vector<std::wstring> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        EXPECT_EQ(text[pos], L'\uFEFF') << "line without its own mark at " << pos;
        const size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos) {
            ADD_FAILURE() << "line without CR LF";
            break;
        }
        lines.push_back(text.substr(pos + 1, end - pos - 1));
        pos = end + 2;
    }
    return lines;
}

inline std::vector<std::wstring> ReadLogLines(const std::wstring& path)
{
    return ReadLogLines(WideToUtf8(path));
}
