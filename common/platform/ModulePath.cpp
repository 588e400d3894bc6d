#include "platform/ModulePath.h"

#include "text/TextConv.h"

#include <climits>
#include <unistd.h>

std::wstring GetExecutablePath()
{
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) {
        return {};
    }
    return AnsiToWide(std::string(buf, static_cast<size_t>(n)));
}

std::wstring GetModuleFolder()
{
    const std::wstring path = GetExecutablePath();
    const size_t slash = path.find_last_of(L'/');
    if (slash == std::wstring::npos) {
        return {};
    }
    return path.substr(0, slash + 1);
}

std::wstring GetExecutableName()
{
    const std::wstring path = GetExecutablePath();
    const size_t slash = path.find_last_of(L'/');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
