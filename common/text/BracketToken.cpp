#include "text/BracketToken.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>

std::optional<std::wstring> FindBracketToken(const std::wstring& commandLine,
                                             const std::wstring& opening)
{
    const size_t start = commandLine.find(opening);
    if (start == std::wstring::npos) {
        return std::nullopt;
    }
    const size_t valueStart = start + opening.size();
    const size_t close = commandLine.find(L']', valueStart);
    if (close == std::wstring::npos || close == valueStart) {
        return std::nullopt;
    }
    return commandLine.substr(valueStart, close - valueStart);
}

int WideToInt(const std::wstring& text)
{
    errno = 0;
    long long value = std::wcstoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

bool HasHelpOption(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}
