#pragma once
#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class CDbgLog;

// The launcher's only network code: a form-style POST that returns the answer as text, and a
// download that writes the installer into a private file, resumes at a byte offset and reports
// progress. Only http and https are spoken, for every redirect too. A download keeps only what
// is the installer: a response that is not the part asked for is cut back out of the file.
class CCurlTConnect
{
public:
    using SleepFunction = std::function<void(unsigned int nMilliseconds)>;
    // Told of every run of bytes a download has just written, at its offset in the file.
    using BodyObserver = std::function<void(long long llFileOffset, const char* pData, size_t nBytes)>;

    // Why a download's response was not taken as the installer.
    enum class Refusal
    {
        None,
        Status,      // neither 200 nor 206
        Range,       // 206 whose Content-Range does not start at the offset
        Size,        // the server's whole size differs from the expected one
        TooLong,     // more bytes than the whole size
        File,        // the file could not be opened privately
    };

    // nullptr: the program's log.
    explicit CCurlTConnect(CDbgLog* pLog = nullptr);

    // Attempts are 1 + nRetry (none for a negative count). Returns the answer after a 200 or
    // 404, the received text after other statuses, the library's error text after a failure.
    std::string CurlPostA(const std::wstring& strBody, const std::wstring& strUrl, int nRetry,
                          const std::wstring& strToken);

    // Writes what arrives into strFilePath at nResumeOffset: the file is created exclusively
    // (0600, no links) at offset 0; at any other offset it must be a file of ours holding
    // exactly nResumeOffset bytes. True only when the response was 200, or 206 starting at the
    // offset, and the file then holds the whole installer (or, when no size is known, all the
    // server sent). A refused response leaves the file as it was before the request.
    bool CurlDownload(const std::wstring& strUrl, const std::wstring& strFilePath, int nResumeOffset);

    static int xferinfo(void* pRecord, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                        curl_off_t ulnow);

    // The waits between POST attempts go through here, so tests need not really wait.
    void SetSleep(SleepFunction sleep) { m_sleep = std::move(sleep); }

    // Asked from the progress callback while a download runs: false stops the transfer at
    // once (the user is being asked whether to stop, or the engine stops).
    void SetProgressGate(std::function<bool()> gate) { m_progressGate = std::move(gate); }

    // Lets a caller digest the body while it arrives instead of reading the file again. A
    // refused response's file is cut back afterwards: the caller compares with the file's size.
    void SetBodyObserver(BodyObserver observer) { m_bodyObserver = std::move(observer); }

    // The whole installer's size when the version answer named it, -1 when not known.
    void SetExpectedSize(long long llSize) { m_llExpectedSize = llSize; }

    std::string m_strError;
    int m_nCurlResult = 0;
    // Status of the last response, also of one that failed or was refused; 0 when none came.
    int m_nHttpCode = 0;
    Refusal m_refusal = Refusal::None;
    // The progress gate stopped the last download.
    bool m_bStoppedByGate = false;
    // Set by the last CurlDownload when a resumed request was answered with the whole file
    // (status 200): the file was started again from zero.
    bool m_bRestartedFromZero = false;
    // The installer's whole size as the last download knew it, -1 when unknown.
    long long m_llTotalSize = -1;

    // Progress of the current download request, written only by the progress callback and by
    // a download's start. Bytes of this request so far, and what it expects.
    std::atomic<uint32_t> m_nDownNow{0};
    std::atomic<uint32_t> m_nDownTotal{0};
    // Where this request's bytes start in the file: the offset, or 0 after a restart.
    std::atomic<uint32_t> m_nRequestBase{0};

    static constexpr long kPostTimeoutSec = 2;
    static constexpr long kDownloadTimeoutSec = 10;
    static constexpr long kMaxRedirects = 10;
    static constexpr unsigned int kPostRetryWaitMs = 2000;

private:
    void Sleep(unsigned int nMilliseconds) const;

    CDbgLog* m_pLog;
    SleepFunction m_sleep;
    std::function<bool()> m_progressGate;
    BodyObserver m_bodyObserver;
    long long m_llExpectedSize = -1;
};
