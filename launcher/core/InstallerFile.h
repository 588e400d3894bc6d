#pragma once
#include <cstddef>
#include <memory>
#include <string>

// Where the downloaded installer lives and when it may run: a folder only the user can enter,
// a file that is ours, and a check against what the version answer promised. Plain functions
// on paths; nothing here is run.

// The private download folder, created when missing, with its trailing "/": "ORVANTA_VEXA"
// under strRuntimeDir (the user's runtime folder) when that is given and usable, else
// "ORVANTA_VEXA-<uid>" inside strTempDir. A folder is used only when it is a real folder (not
// a link) of this user that nobody else may enter; one that is not gets a fresh private
// folder beside it. Folders on a file system that forbids running programs are passed over
// while another candidate is left. Empty when no private folder can be had.
std::wstring ChoosePrivateDownloadFolder(const std::string& strRuntimeDir, const std::string& strTempDir);

// True for a real folder (no link) owned by this user with no access for anybody else.
bool IsPrivateFolder(const std::string& strFolder);

// The size of a plain file of ours at strPath (a link or anything else counts as none): -1.
long long OwnFileSize(const std::wstring& strPath);

// The file's SHA-256 as 64 lower-case hex digits; empty when it cannot be read.
std::string Sha256OfFile(const std::wstring& strPath);

// The SHA-256 of the installer file's first bytes, kept up while the download writes them, so
// the check needs no second pass over a large file. A thread of its own reads the bytes back
// from the file (from the page cache, into one small buffer) right behind the writer, so the
// transfer copies nothing for it and the digest is of what the file holds. It follows the
// file: bytes written at offset 0 start it again (the file may be a new one), bytes anywhere
// but at its end make it lose track, and SyncWithFile rebuilds it from the file after a request
// was cut back or when a leftover is resumed. One thread calls the methods.
class RunningDigest
{
public:
    explicit RunningDigest(std::wstring strPath);
    ~RunningDigest();
    RunningDigest(const RunningDigest&) = delete;
    RunningDigest& operator=(const RunningDigest&) = delete;

    // nBytes were just written to the file at llOffset.
    void Add(long long llOffset, size_t nBytes);
    // Makes it cover exactly the file's first llSize bytes, reading them only when it does not
    // already. False when the file cannot be read so far.
    bool SyncWithFile(long long llSize);
    // Whether it stands for exactly the first llSize bytes of the file.
    bool Covers(long long llSize);
    // 64 lower-case hex digits of what it covers; empty when it lost track.
    std::string Hex();

private:
    struct Hasher;
    void Restart();

    std::unique_ptr<Hasher> m_pHasher;
    long long m_llPosition = 0;
    bool m_bValid = false;
};

// Compares the finished file with the answer's size and digest (either may be absent: -1,
// empty). strWhy says what differs. pDigest: the digest fed during the download; used when it
// covers the whole file, else the file is read.
bool VerifyInstaller(const std::wstring& strPath, long long llExpectedSize, const std::string& strExpectedSha256,
                     std::string& strWhy, RunningDigest* pDigest = nullptr);

// The verified installer becomes runnable by its owner only (0700).
bool MakeInstallerExecutable(const std::wstring& strPath);
