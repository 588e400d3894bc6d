#include "core/InstallerFile.h"

#include "platform/Thread.h"
#include "text/TextConv.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
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

// The digest's thread: blocks of the body are handed over in order, a restart mark among
// them; Wait returns once every block handed over is in the digest.
struct RunningDigest::Hasher
{
    struct Block
    {
        bool bRestart = false;
        std::vector<char> data;
    };
    // Enough to ride out a slow moment of the hashing without holding much memory.
    static constexpr size_t kBlockBytes = 1 << 20;
    static constexpr size_t kMaxQueued = 4;

    Hasher() : ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free)
    {
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
    }

    void Push(bool bRestart, const char* pData, size_t nBytes)
    {
        if (bRestart || nBytes == 0 || filling.data.size() + nBytes > kBlockBytes) {
            HandOver();
        }
        filling.bRestart = filling.bRestart || bRestart;
        filling.data.insert(filling.data.end(), pData, pData + nBytes);
    }

    void HandOver()
    {
        if (!filling.bRestart && filling.data.empty()) {
            return;
        }
        if (!thread.joinable() && !bInline) {
            try {
                thread = ::StartThread([this] { Run(); });
            } catch (const std::system_error&) {
                bInline = true;  // no thread to be had: the caller hashes
            }
        }
        if (bInline) {
            Hash(filling);
            filling.bRestart = false;
            return;
        }
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [this] { return queue.size() < kMaxQueued; });
        queue.push_back(std::move(filling));
        filling = Block{};
        if (!spare.empty()) {
            filling.data.swap(spare.back());
            spare.pop_back();
        }
        filling.data.reserve(kBlockBytes);
        lock.unlock();
        cv.notify_all();
    }

    // Every byte pushed so far is in ctx afterwards.
    void Wait()
    {
        HandOver();
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [this] { return queue.empty() && !bBusy; });
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            cv.wait(lock, [this] { return bStop || !queue.empty(); });
            if (queue.empty()) {
                return;
            }
            Block block = std::move(queue.front());
            queue.pop_front();
            bBusy = true;
            lock.unlock();
            cv.notify_all();
            Hash(block);
            lock.lock();
            if (spare.size() < kMaxQueued) {
                spare.push_back(std::move(block.data));
            }
            bBusy = false;
            cv.notify_all();
        }
    }

    void Hash(Block& block)
    {
        if (block.bRestart) {
            bOk = EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
        }
        if (bOk && !block.data.empty()) {
            bOk = EVP_DigestUpdate(ctx.get(), block.data.data(), block.data.size()) == 1;
        }
        block.data.clear();
    }

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx;
    bool bInline = false;
    bool bOk = false;  // the hashing thread's, read after Wait
    Block filling;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Block> queue;
    std::vector<std::vector<char>> spare;
    bool bBusy = false;
    bool bStop = false;
    std::thread thread;
};

RunningDigest::RunningDigest() : m_pHasher(std::make_unique<Hasher>())
{
    m_bValid = m_pHasher->bOk;
}

RunningDigest::~RunningDigest() = default;

void RunningDigest::Restart()
{
    m_llPosition = 0;
    m_bValid = true;
    m_pHasher->Push(true, nullptr, 0);
}

void RunningDigest::Add(long long llOffset, const char* pData, size_t nBytes)
{
    if (llOffset == 0) {
        Restart();
    } else if (llOffset != m_llPosition) {
        m_bValid = false;
    }
    if (!m_bValid) {
        return;
    }
    m_pHasher->Push(false, pData, nBytes);
    m_llPosition += static_cast<long long>(nBytes);
}

bool RunningDigest::Covers(long long llSize)
{
    if (!m_bValid || m_llPosition != llSize) {
        return false;
    }
    m_pHasher->Wait();
    return m_pHasher->bOk;
}

bool RunningDigest::SyncWithFile(const std::wstring& strPath, long long llSize)
{
    if (Covers(llSize)) {
        return true;
    }
    Restart();
    m_pHasher->Wait();
    m_bValid = m_pHasher->bOk && (llSize == 0 || DigestFile(m_pHasher->ctx.get(), strPath, llSize));
    m_llPosition = m_bValid ? llSize : 0;
    return m_bValid;
}

std::string RunningDigest::Hex()
{
    if (!m_bValid) {
        return {};
    }
    m_pHasher->Wait();
    return m_pHasher->bOk ? HexOf(m_pHasher->ctx.get()) : std::string();
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
