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

LockResult FileInstanceLock::Acquire(const std::wstring& name)
{
    Release();
    const std::string path = LockFilePath(name);
    // Close-on-exec: a child (the page renderer, an installer) must not keep the name taken.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return LockResult::OtherError;
    }
    // Anyone may take the name after us, whatever our umask.
    ::fchmod(fd, 0666);
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
