#include "core/InstallerFile.h"

#include "platform/Thread.h"
#include "text/TextConv.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
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

namespace {
// Feeds ctx with the file's bytes, all of them (llLimit < 0) or the first llLimit; false when
// it cannot read that many.
bool DigestFile(EVP_MD_CTX* ctx, const std::wstring& strPath, long long llLimit)
{
    const int fd = ::open(WideToAnsi(strPath).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool bOk = true;
    long long llLeft = llLimit;
    std::vector<unsigned char> buffer(1 << 20);
    while (bOk && llLeft != 0) {
        const size_t nWant = llLeft < 0 ? buffer.size() : static_cast<size_t>(std::min<long long>(llLeft, buffer.size()));
        const ssize_t n = ::read(fd, buffer.data(), nWant);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            bOk = n == 0 && llLeft < 0;
            break;
        }
        if (llLeft > 0) {
            llLeft -= n;
        }
        bOk = EVP_DigestUpdate(ctx, buffer.data(), static_cast<size_t>(n)) == 1;
    }
    ::close(fd);
    return bOk;
}

// Finishes a copy of ctx, so the original can go on.
std::string HexOf(const EVP_MD_CTX* ctx)
{
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> copy(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int nLength = 0;
    if (copy == nullptr || EVP_MD_CTX_copy_ex(copy.get(), ctx) != 1 ||
        EVP_DigestFinal_ex(copy.get(), digest, &nLength) != 1) {
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
}  // namespace

std::string Sha256OfFile(const std::wstring& strPath)
{
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (ctx == nullptr || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
        !DigestFile(ctx.get(), strPath, -1)) {
        return {};
    }
    return HexOf(ctx.get());
}

// The digest's thread: it reads the file from where it stands up to the end the writer
// reported; a restart reopens the file and starts over. Wait returns once it has read as far as
// reported or lost track.
struct RunningDigest::Hasher
{
    // Small enough to stay in the cache between the read and the hashing.
    static constexpr size_t kReadBytes = 256 * 1024;

    explicit Hasher(std::wstring strFilePath)
        : strPath(std::move(strFilePath)), ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free), buffer(kReadBytes)
    {
        // It starts out as the digest of nothing, which needs no file.
        bOk = ctx != nullptr && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    }
    ~Hasher()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            bStop = true;
        }
        cv.notify_all();
        if (thread.joinable()) {
            thread.join();
        }
        CloseFile();
    }

    // The writer's end moved on to llEnd; with bRestart the file is to be read again from its
    // start.
    void Report(long long llEnd, bool bRestart)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            nRestarts += bRestart ? 1 : 0;
            llAvailable = llEnd;
        }
        Kick();
    }

    // True when every reported byte is in the digest.
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (bInline) {
            lock.unlock();
            Catch();
            lock.lock();
        } else {
            cv.wait(lock, [this] { return IsCaughtUp(); });
        }
        return bOk && nRestartsDone == nRestarts && llHashed == llAvailable;
    }

    void Kick()
    {
        if (!thread.joinable() && !bInline) {
            try {
                thread = ::StartThread([this] { Run(); });
            } catch (const std::system_error&) {
                bInline = true;  // no thread to be had: Wait reads the file itself
            }
        }
        cv.notify_all();
    }

    // Under the lock.
    bool IsCaughtUp() const { return nRestartsDone == nRestarts && (!bOk || llHashed >= llAvailable); }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!bStop) {
            if (IsCaughtUp()) {
                cv.notify_all();
                cv.wait(lock, [this] { return bStop || !IsCaughtUp(); });
                continue;
            }
            Step(lock);
        }
    }

    // The caller's thread, when there is no hashing thread.
    void Catch()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!IsCaughtUp()) {
            Step(lock);
        }
    }

    // One restart or one read; the lock is let go while the file is read and hashed.
    void Step(std::unique_lock<std::mutex>& lock)
    {
        if (nRestartsDone != nRestarts) {
            nRestartsDone = nRestarts;
            llHashed = 0;
            const bool bNothingYet = llAvailable == 0;
            lock.unlock();
            CloseFile();
            // A file that is not there yet is fine while nothing of it is to be read: the bytes
            // written at offset 0 start it again.
            const bool bStarted = ctx != nullptr && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1 &&
                                  (OpenFile() || bNothingYet);
            lock.lock();
            bOk = bStarted;
            return;
        }
        const long long llFrom = llHashed;
        const size_t nWant = static_cast<size_t>(std::min<long long>(llAvailable - llFrom, kReadBytes));
        const unsigned nGeneration = nRestartsDone;
        lock.unlock();
        ssize_t n = 0;
        do {
            n = ::pread(fd, buffer.data(), nWant, static_cast<off_t>(llFrom));
        } while (n < 0 && errno == EINTR);
        // Short of what the writer reported: the file was cut back under it.
        const bool bRead = n > 0 && EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(n)) == 1;
        lock.lock();
        if (nGeneration != nRestarts) {
            return;  // a restart came meanwhile: what was read no longer counts
        }
        if (!bRead) {
            bOk = false;
            return;
        }
        llHashed += n;
    }

    // Only a plain file of ours; a link or anything else makes it lose track.
    bool OpenFile()
    {
        fd = ::open(WideToAnsi(strPath).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info{};
        if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
            CloseFile();
        }
        return fd >= 0;
    }

    void CloseFile()
    {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

    const std::wstring strPath;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx;
    std::vector<char> buffer;  // the reading thread's
    int fd = -1;               // the reading thread's
    std::mutex mutex;
    std::condition_variable cv;
    unsigned nRestarts = 0;      // asked for
    unsigned nRestartsDone = 0;  // carried out
    long long llAvailable = 0;   // the writer's end
    long long llHashed = 0;      // read into the digest
    bool bOk = false;
    bool bInline = false;
    bool bStop = false;
    std::thread thread;
};

RunningDigest::RunningDigest(std::wstring strPath) : m_pHasher(std::make_unique<Hasher>(std::move(strPath)))
{
    m_bValid = m_pHasher->bOk;
}

RunningDigest::~RunningDigest() = default;

void RunningDigest::Restart()
{
    m_llPosition = 0;
    m_bValid = true;
    m_pHasher->Report(0, true);
}

void RunningDigest::Add(long long llOffset, size_t nBytes)
{
    if (llOffset == 0) {
        Restart();
    } else if (llOffset != m_llPosition) {
        m_bValid = false;
    }
    if (!m_bValid) {
        return;
    }
    m_llPosition += static_cast<long long>(nBytes);
    m_pHasher->Report(m_llPosition, false);
}

bool RunningDigest::Covers(long long llSize)
{
    if (!m_bValid || m_llPosition != llSize) {
        return false;
    }
    return m_pHasher->Wait();
}

bool RunningDigest::SyncWithFile(long long llSize)
{
    if (Covers(llSize)) {
        return true;
    }
    m_llPosition = llSize;
    m_bValid = true;
    m_pHasher->Report(llSize, true);
    m_bValid = m_pHasher->Wait();
    if (!m_bValid) {
        m_llPosition = 0;
    }
    return m_bValid;
}

std::string RunningDigest::Hex()
{
    if (!m_bValid || !m_pHasher->Wait()) {
        return {};
    }
    return HexOf(m_pHasher->ctx.get());
}

bool VerifyInstaller(const std::wstring& strPath, long long llExpectedSize, const std::string& strExpectedSha256,
                     std::string& strWhy, RunningDigest* pDigest)
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
        const std::string strActual =
            pDigest != nullptr && pDigest->Covers(llSize) ? pDigest->Hex() : Sha256OfFile(strPath);
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
