#pragma once
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

// Compares the finished file with the answer's size and digest (either may be absent: -1,
// empty). strWhy says what differs.
bool VerifyInstaller(const std::wstring& strPath, long long llExpectedSize, const std::string& strExpectedSha256,
                     std::string& strWhy);

// The verified installer becomes runnable by its owner only (0700).
bool MakeInstallerExecutable(const std::wstring& strPath);
