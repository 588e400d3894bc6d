#include "logic/MainPageRules.h"

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

LoadRetry DecideLoadRetry(bool bReadyComplete, int nRetryCount)
{
    if (!bReadyComplete) {
        return LoadRetry::Wait;
    }
    return nRetryCount < 2 ? LoadRetry::Retry : LoadRetry::GiveUp;
}
