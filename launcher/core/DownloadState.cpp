#include "core/DownloadState.h"

void DownloadState::BeginDownload()
{
    bDownEnded = false;
    nResumeOffset = 0;
    bInstallerVerified = false;
    // A size the answer named is the whole size from the start: the bar never passes it.
    const long long llExpected = llExpectedSize.load();
    nTotalSize = llExpected > 0 ? static_cast<uint32_t>(llExpected) : 0;
}

void DownloadState::RaiseTotalSize(uint32_t nExpected)
{
    // The worker and the monitor both raise it; neither may lower what the other set.
    uint32_t nCurrent = nTotalSize.load();
    while (nExpected > nCurrent && !nTotalSize.compare_exchange_weak(nCurrent, nExpected)) {
    }
}
