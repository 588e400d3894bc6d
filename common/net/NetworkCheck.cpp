#include "net/NetworkCheck.h"

#include "text/TextConv.h"

#include <curl/curl.h>

namespace {
constexpr size_t kReadLimit = 5000;

size_t ReadAtMostLimit(char*, size_t size, size_t count, void* userdata)
{
    auto* total = static_cast<size_t*>(userdata);
    const size_t bytes = size * count;
    if (*total + bytes > kReadLimit) {
        const size_t take = kReadLimit - *total;
        *total = kReadLimit;
        return take;  // stops the transfer: enough read
    }
    *total += bytes;
    return bytes;
}
}  // namespace

NetworkCheckResult CheckNetworkAddress(const std::wstring& strUrl)
{
    using Outcome = NetworkCheckResult::Outcome;
    NetworkCheckResult result;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        result.outcome = Outcome::NoHandle;
        return result;
    }
    CURLU* url = curl_url();
    const std::string address = WideToUtf8(strUrl);
    struct curl_slist* headers = nullptr;
    if (url == nullptr || curl_url_set(url, CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
        result.outcome = Outcome::BadAddress;
    } else {
        // The address's own scheme: a plain-HTTP service must be reachable too.
        size_t nRead = 0;
        headers = curl_slist_append(headers, "Accept: */*");
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
        curl_easy_setopt(curl, CURLOPT_CURLU, url);
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "HTTPTEST");
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 9000L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReadAtMostLimit);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &nRead);
        const CURLcode code = curl_easy_perform(curl);
        long nStatus = 0;
        if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && nRead >= kReadLimit)) {
            result.outcome = Outcome::SendFailed;
            result.nCurlCode = static_cast<int>(code);
        } else if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &nStatus) != CURLE_OK ||
                   nStatus == 0) {
            result.outcome = Outcome::NoStatus;
        } else {
            result.outcome = Outcome::Answered;  // any status is an answer
        }
    }
    curl_slist_free_all(headers);
    curl_url_cleanup(url);
    curl_easy_cleanup(curl);
    return result;
}
