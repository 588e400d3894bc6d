#include "platform/StateFolder.h"

#include "platform/ModulePath.h"
#include "text/TextConv.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr const wchar_t* kStateSubfolder = L"ORVANTA_VEXA/";

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

std::wstring WithSlash(std::wstring path)
{
    if (path.empty() || path.back() != L'/') {
        path += L'/';
    }
    return path;
}

bool IsSystemFolder(const std::wstring& folder)
{
    return StartsWith(folder, L"/usr/") || StartsWith(folder, L"/opt/");
}

std::wstring EnvWide(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? AnsiToWide(value) : std::wstring();
}

std::wstring HomeFolder()
{
    std::wstring home = EnvWide("HOME");
    if (StartsWith(home, L"/")) {
        return home;
    }
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return AnsiToWide(found->pw_dir);
    }
    return {};
}

// mkdir -p with private new folders; existing ones are left as they are.
bool MakePrivatePath(const std::string& path)
{
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

// Our own folder, not a link that someone could have planted in a shared place.
bool IsOwnPlainFolder(const std::string& path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}
}  // namespace

std::wstring ChooseStateFolder(const StateFolderInputs& in)
{
    if (in.programFolderWritable && !IsSystemFolder(in.programFolder)) {
        return in.programFolder;
    }
    std::wstring base;
    if (StartsWith(in.xdgStateHome, L"/")) {
        base = in.xdgStateHome;
    } else if (StartsWith(in.home, L"/")) {
        base = WithSlash(in.home) + L".local/state";
    } else {
        return in.programFolder;
    }
    return WithSlash(base) + kStateSubfolder;
}

bool MakeStateFolder(const std::wstring& folder)
{
    std::string path = WideToAnsi(folder);
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return !path.empty() && MakePrivatePath(path) && IsOwnPlainFolder(path);
}

std::wstring StateFolder()
{
    StateFolderInputs in;
    in.programFolder = GetModuleFolder();
    const std::string programFolder = WideToAnsi(in.programFolder);
    in.programFolderWritable = !programFolder.empty() && ::access(programFolder.c_str(), W_OK | X_OK) == 0;
    in.xdgStateHome = EnvWide("XDG_STATE_HOME");
    in.home = HomeFolder();

    const std::wstring folder = ChooseStateFolder(in);
    if (folder == in.programFolder) {
        return folder;
    }
    return MakeStateFolder(folder) ? folder : in.programFolder;
}
