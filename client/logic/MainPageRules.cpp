#include "logic/MainPageRules.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

std::wstring BuildMainUrl(const std::wstring& strServerUrl, int nServerPort, bool bInitStarted,
                          bool bAutoRun)
{
    wchar_t buf[2048];
    std::wstring url;
    if (nServerPort >= 1) {
        std::swprintf(buf, 2048, L"%ls:%d/%ls", strServerUrl.c_str(), nServerPort,
                      L"service?clientType=WI");
        url = buf;
    } else {
        url = strServerUrl + L"/?clientType=WI&displayMode=MB";
    }
    if (!bInitStarted) {
        url += L"&resetLS=1";
    } else if (bAutoRun) {
        url += L"&autoRunOpt=1";
    }
    return url;
}

bool IsStoredRectAcceptable(const QRect& stored, const QRect& screenBounds)
{
    // Window-system bounds: right and bottom are exclusive.
    const int left = screenBounds.left();
    const int top = screenBounds.top();
    const int right = screenBounds.left() + screenBounds.width();
    const int bottom = screenBounds.top() + screenBounds.height();
    return !(stored.x() < left || stored.x() > right - 20 || stored.y() < top ||
             stored.y() > bottom - 20 || stored.width() > right - left ||
             stored.height() > bottom - top);
}

bool IsStoredRectInRange(int x, int y, int nWidth, int nHeight)
{
    constexpr int kLimit = 1 << 20;
    return nWidth >= 1 && nHeight >= 1 && nWidth <= kLimit && nHeight <= kLimit && x >= -kLimit &&
           x <= kLimit && y >= -kLimit && y <= kLimit;
}

LoadRetry DecideLoadRetry(int nRetryCount)
{
    return nRetryCount < kMaxLoadRetries ? LoadRetry::Retry : LoadRetry::GiveUp;
}

int ClampBorderSize(int nSize)
{
    return std::clamp(nSize, 0, kMaxBorderSize);
}

QSize MinTrackSize(int nWidth, int nHeight, int nBorderSize, int nTitleHeight)
{
    const int64_t w = int64_t{std::clamp(nWidth, 0, kMaxMinTrackSide)} + 2 * int64_t{nBorderSize};
    const int64_t h = int64_t{std::clamp(nHeight, 0, kMaxMinTrackSide)} + nTitleHeight + nBorderSize;
    return QSize(static_cast<int>(std::clamp<int64_t>(w, 0, kMaxMinTrackSide)),
                 static_cast<int>(std::clamp<int64_t>(h, 0, kMaxMinTrackSide)));
}

QSize ClampAlertSize(int nWidth, int nHeight, QSize screen)
{
    return QSize(std::clamp(nWidth, 1, std::max(1, screen.width())),
                 std::clamp(nHeight, 1, std::max(1, screen.height())));
}

std::wstring AddressWithoutPort(const std::wstring& strUrl)
{
    const size_t scheme = strUrl.find(L"://");
    const size_t hostStart = scheme == std::wstring::npos ? 0 : scheme + 3;
    const size_t authorityEnd = strUrl.find_first_of(L"/?#", hostStart);
    const size_t end = authorityEnd == std::wstring::npos ? strUrl.size() : authorityEnd;
    // The last colon of the authority, unless it belongs to a bracketed IPv6 literal.
    const size_t colon = strUrl.rfind(L':', end == 0 ? 0 : end - 1);
    if (colon == std::wstring::npos || colon < hostStart) {
        return strUrl;
    }
    const size_t bracket = strUrl.find(L']', hostStart);
    if (bracket != std::wstring::npos && bracket < end && colon < bracket) {
        return strUrl;
    }
    for (size_t i = colon + 1; i < end; ++i) {
        if (strUrl[i] < L'0' || strUrl[i] > L'9') {
            return strUrl;
        }
    }
    return strUrl.substr(0, colon) + strUrl.substr(end);
}
