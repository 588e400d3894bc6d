#include "net/CurlTConnect.h"

#include "diag/DbgLog.h"
#include "text/TextConv.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
const char* const kFileLabel = "common\\CurlTConnect";
// Neither file://, ftp:// nor any other scheme, also not behind a redirect.
const char* const kProtocols = "http,https";
// Fewer, larger writes: the body of a large installer arrives quickly over a good line.
const long kReceiveBuffer = 512 * 1024;

std::string ToUtf8(const std::wstring& text)
{
    return WideToUtf8(text);
}

size_t AppendToBuffer(char* pData, size_t nSize, size_t nCount, void* pUser)
{
    auto* pBuffer = static_cast<std::string*>(pUser);
    pBuffer->append(pData, nSize * nCount);
    return nSize * nCount;
}

void RestrictProtocols(CURL* pCurl)
{
    curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, kProtocols);
    curl_easy_setopt(pCurl, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
}

// What the progress callback needs: when the timing line was last written, and the handle.
struct ProgressRecord
{
    curl_off_t llLastTime = 0;
    CURL* pCurl = nullptr;
    CDbgLog* pLog = nullptr;
    CCurlTConnect* pOwner = nullptr;
    const std::function<bool()>* pGate = nullptr;
    bool bStopped = false;
    // Counted only once the response is known to be the part asked for.
    const bool* pCounted = nullptr;
};

// Opens the installer file without following a link and without blocking on a planted pipe.
// At offset 0 it is created exclusively; an existing file is taken only when it is a plain
// file of ours, private, not linked elsewhere, holding exactly nOffset bytes.
int OpenPrivateFile(const std::string& strPath, long long nOffset, std::string& strWhy)
{
    const int nFlags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int fd = -1;
    if (nOffset == 0) {
        fd = ::open(strPath.c_str(), nFlags | O_CREAT | O_EXCL, 0600);
    }
    if (fd < 0 && (nOffset != 0 || errno == EEXIST)) {
        fd = ::open(strPath.c_str(), nFlags);
        if (fd >= 0) {
            struct stat info{};
            if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
                info.st_nlink != 1 || (info.st_mode & 077) != 0 || info.st_size != nOffset) {
                ::close(fd);
                strWhy = "the file at the download path is not ours to continue";
                return -1;
            }
        }
    }
    if (fd < 0) {
        strWhy = std::string("cannot open the download file: ") + std::strerror(errno);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::lseek(fd, static_cast<off_t>(nOffset), SEEK_SET) < 0) {
        ::close(fd);
        strWhy = "cannot seek in the download file";
        return -1;
    }
    return fd;
}

// "bytes FIRST-LAST/TOTAL"; TOTAL may be "*". False when the text is not of that form.
bool ParseContentRange(const char* pszValue, long long& llFirst, long long& llLast, long long& llTotal)
{
    char szTotal[32] = {0};
    long long a = -1;
    long long b = -1;
    if (std::sscanf(pszValue, " bytes %lld-%lld/%31s", &a, &b, szTotal) != 3 || a < 0 || b < a) {
        return false;
    }
    llFirst = a;
    llLast = b;
    if (std::strcmp(szTotal, "*") == 0) {
        llTotal = -1;
        return true;
    }
    char* pEnd = nullptr;
    llTotal = std::strtoll(szTotal, &pEnd, 10);
    return pEnd != szTotal && *pEnd == '\0' && llTotal > b;
}

// One download request's file and what its response is allowed to put there.
struct DownloadFile
{
    int fd = -1;
    CURL* pCurl = nullptr;
    CCurlTConnect* pOwner = nullptr;
    long long llOffset = 0;     // asked for
    long long llBase = 0;       // where this response's bytes start in the file
    long long llWritten = 0;    // bytes of this response in the file
    long long llExpected = -1;  // the version answer's size
    long long llTotal = -1;     // the whole size, once known
    bool bChecked = false;
    bool bCounted = false;  // checked and taken
    bool bRestarted = false;
    CCurlTConnect::Refusal refusal = CCurlTConnect::Refusal::None;
    std::string strWhy;
    ProgressRecord* pRecord = nullptr;
    const CCurlTConnect::BodyObserver* pObserver = nullptr;
};

// Decides, once the response's headers are in, whether its body is the part asked for.
void CheckResponse(DownloadFile& file)
{
    file.bChecked = true;
    long nStatus = 0;
    curl_easy_getinfo(file.pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
    curl_off_t llLength = -1;
    curl_easy_getinfo(file.pCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &llLength);
    long long llAnnounced = -1;
    if (nStatus == 200) {
        llAnnounced = llLength;
    } else if (nStatus == 206) {
        curl_header* pHeader = nullptr;
        long long llFirst = 0;
        long long llLast = 0;
        if (curl_easy_header(file.pCurl, "Content-Range", 0, CURLH_HEADER, -1, &pHeader) != CURLHE_OK ||
            !ParseContentRange(pHeader->value, llFirst, llLast, llAnnounced) || llFirst != file.llOffset ||
            (llLength >= 0 && llLength != llLast - llFirst + 1)) {
            file.refusal = CCurlTConnect::Refusal::Range;
            file.strWhy = "206 without a Content-Range starting at " + std::to_string(file.llOffset);
            return;
        }
    } else {
        file.refusal = CCurlTConnect::Refusal::Status;
        file.strWhy = "HTTP status " + std::to_string(nStatus);
        return;
    }
    if (file.llExpected >= 0 && llAnnounced >= 0 && llAnnounced != file.llExpected) {
        file.refusal = CCurlTConnect::Refusal::Size;
        file.strWhy = "the server's size " + std::to_string(llAnnounced) + " is not the installer's " +
                      std::to_string(file.llExpected);
        return;
    }
    if (nStatus == 200 && file.llOffset != 0) {
        // The server ignored the Range line and sends the whole file: start it again.
        if (::ftruncate(file.fd, 0) != 0 || ::lseek(file.fd, 0, SEEK_SET) != 0) {
            file.refusal = CCurlTConnect::Refusal::File;
            file.strWhy = "cannot start the download file again";
            return;
        }
        file.bRestarted = true;
        file.llBase = 0;
    }
    file.llTotal = file.llExpected >= 0 ? file.llExpected : llAnnounced;
    file.pOwner->m_nRequestBase = static_cast<uint32_t>(file.llBase);
    file.bCounted = true;
}

size_t WriteToFile(char* pData, size_t nSize, size_t nCount, void* pUser)
{
    auto* pFile = static_cast<DownloadFile*>(pUser);
    if (!pFile->bChecked) {
        CheckResponse(*pFile);
    }
    if (pFile->refusal != CCurlTConnect::Refusal::None) {
        pFile->bCounted = false;
        return 0;  // aborts: nothing of it goes into the file
    }
    // Held: not one more byte once the user is being asked.
    if (pFile->pRecord->pGate != nullptr && !(*pFile->pRecord->pGate)()) {
        pFile->pRecord->bStopped = true;
        return 0;
    }
    const size_t nBytes = nSize * nCount;
    if (pFile->llTotal >= 0 && pFile->llBase + pFile->llWritten + static_cast<long long>(nBytes) > pFile->llTotal) {
        pFile->refusal = CCurlTConnect::Refusal::TooLong;
        pFile->bCounted = false;
        pFile->strWhy = "more bytes than the installer's size " + std::to_string(pFile->llTotal);
        return 0;
    }
    size_t nDone = 0;
    while (nDone < nBytes) {
        const ssize_t n = ::write(pFile->fd, pData + nDone, nBytes - nDone);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            pFile->refusal = CCurlTConnect::Refusal::File;
            pFile->strWhy = std::string("cannot write the download file: ") + std::strerror(errno);
            return 0;
        }
        nDone += static_cast<size_t>(n);
    }
    if (pFile->pObserver != nullptr) {
        (*pFile->pObserver)(pFile->llBase + pFile->llWritten, pData, nBytes);
    }
    pFile->llWritten += static_cast<long long>(nBytes);
    return nCount;
}
}  // namespace

CCurlTConnect::CCurlTConnect(CDbgLog* pLog) : m_pLog(pLog != nullptr ? pLog : &g_DbgLog) {}

void CCurlTConnect::Sleep(unsigned int nMilliseconds) const
{
    if (m_sleep) {
        m_sleep(nMilliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMilliseconds));
    }
}

std::string CCurlTConnect::CurlPostA(const std::wstring& strBody, const std::wstring& strUrl,
                                     int nRetry, const std::wstring& strToken)
{
    std::string strResult;
    std::string strAnswer;
    const std::string strUrlA = ToUtf8(strUrl);

    curl_global_init(CURL_GLOBAL_ALL);
    CURL* pCurl = curl_easy_init();
    if (pCurl != nullptr) {
        const std::string strBodyA = ToUtf8(strBody);
        curl_slist* pHeaders = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
        if (!strToken.empty()) {
            const std::wstring strAuth = L"Authorization: Bearer " + strToken;
            pHeaders = curl_slist_append(pHeaders, ToUtf8(strAuth).c_str());
        }
        curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
        curl_easy_setopt(pCurl, CURLOPT_URL, strUrlA.c_str());
        curl_easy_setopt(pCurl, CURLOPT_POST, 1L);
        curl_easy_setopt(pCurl, CURLOPT_POSTFIELDS, strBodyA.c_str());
        curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &strAnswer);
        curl_easy_setopt(pCurl, CURLOPT_TIMEOUT, kPostTimeoutSec);
        curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, AppendToBuffer);
        RestrictProtocols(pCurl);

        for (int n = 0; n <= nRetry; ++n) {
            // Each attempt starts empty, so a retried request never returns two bodies.
            strAnswer.clear();
            const CURLcode res = curl_easy_perform(pCurl);
            if (!strAnswer.empty()) {
                strResult = strAnswer;
            }
            if (res != CURLE_OK) {
                if (res != CURLE_OPERATION_TIMEDOUT) {
                    Sleep(kPostRetryWaitMs);
                }
                strResult = curl_easy_strerror(res);
                m_nCurlResult = static_cast<int>(res);
                m_pLog->GD_DebugPrintNoLocA("[CurlPost]URL: %s, res: %d, retry: %d[line: %d, function: %s, file: %s]",
                                            strUrlA.c_str(), static_cast<int>(res), n, __LINE__,
                                            "CCurlTConnect::CurlPostA", kFileLabel);
            } else {
                long nStatus = 0;
                curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
                m_nHttpCode = static_cast<int>(nStatus);
                m_nCurlResult = 0;
                if (nStatus == 200 || nStatus == 404) {
                    break;
                }
                Sleep(kPostRetryWaitMs);
            }
        }
        curl_slist_free_all(pHeaders);
        curl_easy_cleanup(pCurl);
    }
    curl_global_cleanup();
    return strResult;
}

bool CCurlTConnect::CurlDownload(const std::wstring& strUrl, const std::wstring& strFilePath,
                                 int nResumeOffset)
{
    if (strFilePath.size() < 3) {
        return false;
    }
    const std::string strUrlA = ToUtf8(strUrl);
    m_bRestartedFromZero = false;
    m_bStoppedByGate = false;
    m_refusal = Refusal::None;
    m_nHttpCode = 0;
    m_llTotalSize = m_llExpectedSize;
    m_nDownNow = 0;
    m_nDownTotal = 0;
    const long long llOffset = nResumeOffset < 0 ? 0 : nResumeOffset;
    m_nRequestBase = static_cast<uint32_t>(llOffset);

    const auto fail = [this, &strUrlA](CURLcode res, const std::string& strWhy) {
        m_nCurlResult = static_cast<int>(res);
        m_strError = strWhy.empty() ? std::string(curl_easy_strerror(res)) : strWhy;
        m_pLog->GD_DebugPrintNoLocA("[CurlDownload]URL: %s, res: %s[line: %d, function: %s, file: %s]",
                                    strUrlA.c_str(), m_strError.c_str(), __LINE__,
                                    "CCurlTConnect::CurlDownloadProgress", kFileLabel);
        return false;
    };

    std::string strWhy;
    const int fd = OpenPrivateFile(WideToAnsi(strFilePath), llOffset, strWhy);
    if (fd < 0) {
        m_refusal = Refusal::File;
        return fail(CURLE_WRITE_ERROR, strWhy);
    }
    CURL* pCurl = curl_easy_init();
    if (pCurl == nullptr) {
        ::close(fd);
        return fail(CURLE_FAILED_INIT, {});
    }

    curl_slist* pHeaders = nullptr;
    if (llOffset != 0) {
        char szRange[64];
        std::snprintf(szRange, sizeof szRange, "Range:bytes=%d-\r\n", nResumeOffset);
        pHeaders = curl_slist_append(nullptr, szRange);
        curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
    }
    DownloadFile file;
    file.fd = fd;
    file.pCurl = pCurl;
    file.pOwner = this;
    file.llOffset = llOffset;
    file.llBase = llOffset;
    file.llExpected = m_llExpectedSize;
    file.pObserver = m_bodyObserver ? &m_bodyObserver : nullptr;
    ProgressRecord record;
    record.pCurl = pCurl;
    record.pLog = m_pLog;
    record.pOwner = this;
    record.pGate = m_progressGate ? &m_progressGate : nullptr;
    record.pCounted = &file.bCounted;
    file.pRecord = &record;

    curl_easy_setopt(pCurl, CURLOPT_URL, strUrlA.c_str());
    curl_easy_setopt(pCurl, CURLOPT_TIMEOUT, kDownloadTimeoutSec);
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(pCurl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &file);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFOFUNCTION, &CCurlTConnect::xferinfo);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFODATA, &record);
    curl_easy_setopt(pCurl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(pCurl, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    RestrictProtocols(pCurl);

    CURLcode res = curl_easy_perform(pCurl);
    long nStatus = 0;
    curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
    m_nHttpCode = static_cast<int>(nStatus);
    // A response without a body (an empty 404, a 416) is judged all the same.
    if (!file.bChecked && nStatus != 0 && res == CURLE_OK) {
        CheckResponse(file);
    }
    m_bRestartedFromZero = file.bRestarted;
    m_bStoppedByGate = record.bStopped;
    if (file.llTotal >= 0) {
        m_llTotalSize = file.llTotal;
    }
    if (file.refusal != Refusal::None) {
        // Whatever this response wrote goes: an error page never stays in the installer.
        if (::ftruncate(fd, static_cast<off_t>(file.llBase)) != 0) {
            file.strWhy += "; cannot cut the file back";
        }
    }
    ::close(fd);
    curl_slist_free_all(pHeaders);
    curl_easy_cleanup(pCurl);

    m_refusal = file.refusal;
    switch (file.refusal) {
    case Refusal::None:
        break;
    case Refusal::Status:
        return fail(CURLE_HTTP_RETURNED_ERROR, file.strWhy);
    case Refusal::Range:
        return fail(CURLE_RANGE_ERROR, file.strWhy);
    default:
        return fail(CURLE_WRITE_ERROR, file.strWhy);
    }
    if (res != CURLE_OK) {
        return fail(res, {});
    }
    // A connection without a length that closes early looks complete to the library.
    if (file.llTotal >= 0 && file.llBase + file.llWritten != file.llTotal) {
        return fail(CURLE_PARTIAL_FILE, "the body ended at " + std::to_string(file.llBase + file.llWritten) +
                                            " of " + std::to_string(file.llTotal) + " bytes");
    }
    m_pLog->GD_DebugPrintNoLocA("[CurlDownload]URL: %s, res: %d[line: %d, function: %s, file: %s]", strUrlA.c_str(),
                                0, __LINE__, "CCurlTConnect::CurlDownloadProgress", kFileLabel);
    m_nCurlResult = 0;
    m_strError.clear();
    return true;
}

int CCurlTConnect::xferinfo(void* pRecord, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                            curl_off_t ulnow)
{
    (void)ultotal;
    (void)ulnow;
    auto* pProgress = static_cast<ProgressRecord*>(pRecord);
    curl_off_t llTotalTime = 0;
    curl_easy_getinfo(pProgress->pCurl, CURLINFO_TOTAL_TIME_T, &llTotalTime);
    if (llTotalTime - pProgress->llLastTime >= 3000000) {
        pProgress->llLastTime = llTotalTime;
        pProgress->pLog->GD_DebugPrintNoLocA("[CurlDownload]TOTAL TIME: %f[line: %d, function: %s, file: %s]",
                                             static_cast<double>(llTotalTime), __LINE__,
                                             "CCurlTConnect::xferinfo", kFileLabel);
    }
    if (pProgress->pCounted == nullptr || *pProgress->pCounted) {
        pProgress->pOwner->m_nDownNow = static_cast<uint32_t>(dlnow);
        pProgress->pOwner->m_nDownTotal = static_cast<uint32_t>(dltotal);
    }
    if (pProgress->pGate != nullptr && !(*pProgress->pGate)()) {
        pProgress->bStopped = true;
        return 1;  // aborts the transfer
    }
    return 0;
}
