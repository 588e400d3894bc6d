#pragma once
#include <string>

enum class LockResult
{
    Acquired,       // this process now holds the name
    AlreadyExists,  // another process holds it
    OtherError,     // the name could not be taken for another reason (no permission, ...)
};

// A machine-wide named lock that the kernel releases when its holder dies.
class IInstanceLock
{
public:
    virtual ~IInstanceLock() = default;
    virtual LockResult Acquire(const std::wstring& name) = 0;
    virtual void Release() = 0;
};

// flock() on a file in the system temporary folder named after the lock's name without any
// "Global\" style prefix.
class FileInstanceLock : public IInstanceLock
{
public:
    FileInstanceLock() = default;
    ~FileInstanceLock() override;
    FileInstanceLock(const FileInstanceLock&) = delete;
    FileInstanceLock& operator=(const FileInstanceLock&) = delete;

    LockResult Acquire(const std::wstring& name) override;
    void Release() override;

    static std::string LockFilePath(const std::wstring& name);

private:
    int m_fd = -1;
};
