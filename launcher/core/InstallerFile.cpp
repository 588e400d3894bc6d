#include "core/InstallerFile.h"

#include "text/TextConv.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {
bool IsNoExec(const std::string& strFolder)
{
    struct statvfs info{};
    return ::statvfs(strFolder.c_str(), &info) == 0 && (info.f_flag & ST_NOEXEC) != 0;
}

bool IsFolder(const std::string& strFolder)
{
    struct stat info{};
    return !strFolder.empty() && ::stat(strFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// strFolder made private, or a fresh private folder beside it when it cannot be.
std::string MakePrivate(const std::string& strFolder)
{
    if (::mkdir(strFolder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    if (IsPrivateFolder(strFolder)) {
        return strFolder;
    }
    struct stat info{};
    if (::lstat(strFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
        ::chmod(strFolder.c_str(), 0700) == 0 && IsPrivateFolder(strFolder)) {
        return strFolder;
    }
    // Someone else holds the name, or it is a link: do not go in.
    std::string strTemplate = strFolder + "-XXXXXX";
    if (::mkdtemp(strTemplate.data()) == nullptr) {
        return {};
    }
    return strTemplate;
}
}  // namespace

bool IsPrivateFolder(const std::string& strFolder)
{
    struct stat info{};
    return ::lstat(strFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 077) == 0;
}

std::wstring ChoosePrivateDownloadFolder(const std::string& strRuntimeDir, const std::string& strTempDir)
{
    std::vector<std::string> candidates;
    if (!strRuntimeDir.empty() && strRuntimeDir[0] == '/' && IsFolder(strRuntimeDir)) {
        candidates.push_back(strRuntimeDir + "/ORVANTA_VEXA");
    }
    if (IsFolder(strTempDir)) {
        std::string strBase = strTempDir;
        while (strBase.size() > 1 && strBase.back() == '/') {
            strBase.pop_back();
        }
        candidates.push_back(strBase + "/ORVANTA_VEXA-" + std::to_string(::geteuid()));
    }
    for (size_t i = 0; i < candidates.size(); ++i) {
        const std::string strParent = candidates[i].substr(0, candidates[i].rfind('/'));
        // A mount that forbids running programs would make every update fail at its end.
        if (i + 1 < candidates.size() && IsNoExec(strParent)) {
            continue;
        }
        const std::string strFolder = MakePrivate(candidates[i]);
        if (!strFolder.empty()) {
            return AnsiToWide(strFolder + "/");
        }
    }
    return {};
}

long long OwnFileSize(const std::wstring& strPath)
{
    struct stat info{};
    if (::lstat(WideToAnsi(strPath).c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        return -1;
    }
    return static_cast<long long>(info.st_size);
}

std::string Sha256OfFile(const std::wstring& strPath)
{
    const int fd = ::open(WideToAnsi(strPath).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool bOk = ctx != nullptr && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    std::vector<unsigned char> buffer(1 << 20);
    while (bOk) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            bOk = n == 0;
            break;
        }
        bOk = EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(n)) == 1;
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int nLength = 0;
    if (!bOk || EVP_DigestFinal_ex(ctx.get(), digest, &nLength) != 1) {
        return {};
    }
    std::string strHex;
    char szByte[3];
    for (unsigned int i = 0; i < nLength; ++i) {
        std::snprintf(szByte, sizeof szByte, "%02x", digest[i]);
        strHex += szByte;
    }
    return strHex;
}

bool VerifyInstaller(const std::wstring& strPath, long long llExpectedSize, const std::string& strExpectedSha256,
                     std::string& strWhy)
{
    const long long llSize = OwnFileSize(strPath);
    if (llSize < 0) {
        strWhy = "no installer file of ours";
        return false;
    }
    if (llExpectedSize >= 0 && llSize != llExpectedSize) {
        strWhy = "size " + std::to_string(llSize) + " instead of " + std::to_string(llExpectedSize);
        return false;
    }
    if (!strExpectedSha256.empty()) {
        const std::string strActual = Sha256OfFile(strPath);
        if (strActual != strExpectedSha256) {
            strWhy = "SHA-256 " + (strActual.empty() ? std::string("unreadable") : strActual) + " instead of " +
                     strExpectedSha256;
            return false;
        }
    }
    return true;
}

bool MakeInstallerExecutable(const std::wstring& strPath)
{
    const int fd = ::open(WideToAnsi(strPath).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool bOk = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return bOk;
}
