#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// One update's state: what the version check hands to the download, and the download's
// progress, shared by the check's worker, the download worker, its monitor and the window.
// The engine owns it; nothing of it is process-wide.
class DownloadState
{
public:
    // Written by the check's worker before a download starts.
    // The installed version, sent as "cliVer".
    std::wstring strCliVer;
    // First the chosen temporary folder, then the installer's full path.
    std::wstring strDownFilePath;
    // The download address from the last answer ("updateReq_url").
    std::wstring strUpdateUrl;
    // The installer's size and SHA-256 from the answer: -1 and empty when it named none.
    std::atomic<long long> llExpectedSize{-1};
    std::string strExpectedSha256;

    // Set when the engine stops; a worker that finds it set does nothing more.
    std::atomic<bool> bStopDown{false};
    // 1 while no attempt runs, 0 while one runs.
    std::atomic<bool> bDownEnded{false};
    // Bytes of the installer already in the file; the next attempt resumes there.
    std::atomic<uint32_t> nResumeOffset{0};
    // The largest expected size seen: the installer's full size from the first attempt.
    std::atomic<uint32_t> nTotalSize{0};
    // Set once the finished file has been checked against the answer and made executable;
    // nothing else may be run.
    std::atomic<bool> bInstallerVerified{false};

    // A new download: no attempt has run and nothing has arrived.
    void BeginDownload();
    // Raises the total size to nExpected when that is larger; it never goes down.
    void RaiseTotalSize(uint32_t nExpected);
};
