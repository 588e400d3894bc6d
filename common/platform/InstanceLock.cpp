#include "platform/InstanceLock.h"

#include "text/TextConv.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

FileInstanceLock::~FileInstanceLock()
{
    Release();
}

std::string FileInstanceLock::LockFilePath(const std::wstring& name)
{
    std::wstring bare = name;
    const size_t slash = bare.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        bare = bare.substr(slash + 1);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir + WideToUtf8(bare) + ".lock";
}

namespace {
// Opens the lock file without following a link planted in its place and without changing its
// mode: read-write when we may, read-only when another user created it (flock needs neither),
// created (0644, exclusively) when it is missing. -1 when none of that works.
int OpenLockFile(const std::string& path)
{
    // Close-on-exec: a child (the page renderer, an installer) must not keep the name taken.
    constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | kFlags);
        if (fd < 0 && errno == EACCES) {
            fd = ::open(path.c_str(), O_RDONLY | kFlags);
        }
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0644);
            if (fd < 0 && errno == EEXIST) {
                continue;  // another process made it just now: open that one
            }
        }
        if (fd < 0) {
            return -1;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    return -1;
}
}  // namespace

LockResult FileInstanceLock::Acquire(const std::wstring& name)
{
    Release();
    const int fd = OpenLockFile(LockFilePath(name));
    if (fd < 0) {
        return LockResult::OtherError;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? LockResult::AlreadyExists : LockResult::OtherError;
    }
    m_fd = fd;
    return LockResult::Acquired;
}

void FileInstanceLock::Release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}
