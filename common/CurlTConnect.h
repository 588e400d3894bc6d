#pragma once
#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class CDbgLog;

// Progress of the current download request, written only by the progress callback and read
// by the download engine's threads. Never reset here: they keep the last reported values.
extern std::atomic<uint32_t> g_nDownNow;
extern std::atomic<uint32_t> g_nDownTotal;

// The launcher's only network code: a form-style POST that returns the answer as text, and a
// download that appends to a file, resumes at a byte offset and reports progress. It does not
// interpret what it transfers; it records the result code and HTTP status of the last transfer.
class CCurlTConnect
{
public:
    using SleepFunction = std::function<void(unsigned int nMilliseconds)>;

    // nullptr: the program's log.
    explicit CCurlTConnect(CDbgLog* pLog = nullptr);

    // Attempts are 1 + nRetry (none for a negative count). Returns the answer after a 200 or
    // 404, the received text after other statuses, the library's error text after a failure.
    std::string CurlPostA(const std::wstring& strBody, const std::wstring& strUrl, int nRetry,
                          const std::wstring& strToken);

    // Appends what arrives to strFilePath; a non-zero nResumeOffset asks for the bytes from
    // there on. True when the library completed the request, whatever its HTTP status.
    bool CurlDownload(const std::wstring& strUrl, const std::wstring& strFilePath, int nResumeOffset);

    static int xferinfo(void* pRecord, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                        curl_off_t ulnow);

    // The waits between POST attempts go through here, so tests need not really wait.
    void SetSleep(SleepFunction sleep) { m_sleep = std::move(sleep); }

    // Asked from the progress callback while a download runs: it may wait (the user is being
    // asked whether to stop) and returns false to abort the transfer.
    void SetProgressGate(std::function<bool()> gate) { m_progressGate = std::move(gate); }

    std::string m_strError;
    int m_nCurlResult = 0;
    int m_nHttpCode = 0;
    // Set by the last CurlDownload when a resumed request was answered with the whole file
    // (status 200): the file was started again from zero, so the bytes of this request are the
    // whole file rather than an addition to the resume offset.
    bool m_bRestartedFromZero = false;

    static constexpr long kPostTimeoutSec = 2;
    static constexpr long kDownloadTimeoutSec = 10;
    static constexpr unsigned int kPostRetryWaitMs = 2000;

private:
    void Sleep(unsigned int nMilliseconds) const;

    CDbgLog* m_pLog;
    SleepFunction m_sleep;
    std::function<bool()> m_progressGate;
};
