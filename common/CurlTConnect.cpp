#include "CurlTConnect.h"

#include "DbgLog.h"
#include "TextConv.h"

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <thread>
#include <unistd.h>

std::atomic<uint32_t> g_nDownNow{0};
std::atomic<uint32_t> g_nDownTotal{0};

namespace {
const char* const kFileLabel = "common\\CurlTConnect";

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

// What the progress callback needs: when the timing line was last written, and the handle.
struct ProgressRecord
{
    curl_off_t llLastTime = 0;
    CURL* pCurl = nullptr;
    CDbgLog* pLog = nullptr;
    const std::function<bool()>* pGate = nullptr;
};

struct DownloadFile
{
    FILE* fp = nullptr;
    CURL* pCurl = nullptr;
    int nResumeOffset = 0;
    bool bChecked = false;
    bool bRestarted = false;
};

size_t WriteToFile(char* pData, size_t nSize, size_t nCount, void* pUser)
{
    auto* pFile = static_cast<DownloadFile*>(pUser);
    if (!pFile->bChecked) {
        pFile->bChecked = true;
        // A server that ignores the Range line sends the whole file with 200: appending it
        // would leave the earlier bytes in front of a second full copy.
        long nStatus = 0;
        if (pFile->nResumeOffset != 0 &&
            curl_easy_getinfo(pFile->pCurl, CURLINFO_RESPONSE_CODE, &nStatus) == CURLE_OK &&
            nStatus == 200) {
            std::fflush(pFile->fp);
            if (::ftruncate(::fileno(pFile->fp), 0) == 0) {
                pFile->bRestarted = true;
            }
        }
    }
    return std::fwrite(pData, nSize, nCount, pFile->fp);
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

    CURL* pCurl = curl_easy_init();
    FILE* fp = std::fopen(WideToAnsi(strFilePath).c_str(), "ab+");
    bool bResult = false;
    if (pCurl != nullptr && fp != nullptr) {
        curl_slist* pHeaders = nullptr;
        if (nResumeOffset != 0) {
            char szRange[64];
            std::snprintf(szRange, sizeof szRange, "Range:bytes=%d-\r\n", nResumeOffset);
            pHeaders = curl_slist_append(nullptr, szRange);
            curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
        }
        DownloadFile file;
        file.fp = fp;
        file.pCurl = pCurl;
        file.nResumeOffset = nResumeOffset;
        ProgressRecord record;
        record.pCurl = pCurl;
        record.pLog = m_pLog;
        record.pGate = m_progressGate ? &m_progressGate : nullptr;

        curl_easy_setopt(pCurl, CURLOPT_URL, strUrlA.c_str());
        curl_easy_setopt(pCurl, CURLOPT_TIMEOUT, kDownloadTimeoutSec);
        curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, WriteToFile);
        curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &file);
        curl_easy_setopt(pCurl, CURLOPT_XFERINFOFUNCTION, &CCurlTConnect::xferinfo);
        curl_easy_setopt(pCurl, CURLOPT_XFERINFODATA, &record);
        curl_easy_setopt(pCurl, CURLOPT_NOPROGRESS, 0L);

        const CURLcode res = curl_easy_perform(pCurl);
        std::fclose(fp);
        fp = nullptr;
        curl_slist_free_all(pHeaders);
        m_bRestartedFromZero = file.bRestarted;

        if (res != CURLE_OK) {
            m_nCurlResult = static_cast<int>(res);
            m_strError = curl_easy_strerror(res);
            m_pLog->GD_DebugPrintNoLocA("[CurlDownload]URL: %s, res: %s[line: %d, function: %s, file: %s]",
                                        strUrlA.c_str(), m_strError.c_str(), __LINE__,
                                        "CCurlTConnect::CurlDownloadProgress", kFileLabel);
        } else {
            long nStatus = 0;
            curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
            m_nHttpCode = static_cast<int>(nStatus);
            m_pLog->GD_DebugPrintNoLocA("[CurlDownload]URL: %s, res: %d[line: %d, function: %s, file: %s]",
                                        strUrlA.c_str(), 0, __LINE__,
                                        "CCurlTConnect::CurlDownloadProgress", kFileLabel);
            m_nCurlResult = 0;
            bResult = true;
        }
    } else {
        // Nothing was transferred: a result of 0 would make the engine run a file that was
        // never written, so report the failure like any other.
        const CURLcode res = pCurl == nullptr ? CURLE_FAILED_INIT : CURLE_WRITE_ERROR;
        m_nCurlResult = static_cast<int>(res);
        m_strError = curl_easy_strerror(res);
        m_pLog->GD_DebugPrintNoLocA("[CurlDownload]URL: %s, res: %s[line: %d, function: %s, file: %s]",
                                    strUrlA.c_str(), m_strError.c_str(), __LINE__,
                                    "CCurlTConnect::CurlDownloadProgress", kFileLabel);
        if (fp != nullptr) {
            std::fclose(fp);
        }
    }
    if (pCurl != nullptr) {
        curl_easy_cleanup(pCurl);
    }
    return bResult;
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
    g_nDownNow = static_cast<uint32_t>(dlnow);
    g_nDownTotal = static_cast<uint32_t>(dltotal);
    if (pProgress->pGate != nullptr && !(*pProgress->pGate)()) {
        return 1;  // aborts the transfer
    }
    return 0;
}
