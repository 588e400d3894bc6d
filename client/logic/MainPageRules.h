#pragma once
#include <QRect>
#include <string>

// Decisions of the main page window that need no window.

// The main page address. "&autoRunOpt=1" appears once, and only when the auto-start entry
// exists; the first start asks the page to reset its local storage instead.
std::wstring BuildMainUrl(const std::wstring& strServerUrl, int nServerPort, bool bInitStarted,
                          bool bAutoRun);

// A stored frame rectangle is used only when it lies on the screen nearest to it (full bounds,
// at least 20 pixels of it inside on the right and bottom) and fits that screen.
bool IsStoredRectAcceptable(const QRect& stored, const QRect& screenBounds);

// What the page-loading worker does after a wait timed out before the page reported its border.
enum class LoadRetry
{
    Wait,    // still loading (or never started): navigate again, uncounted
    Retry,   // loaded without reporting readiness: count and navigate again
    GiveUp,  // loaded three times without readiness
};
LoadRetry DecideLoadRetry(bool bReadyComplete, int nRetryCount);

inline constexpr int kDefaultFrameWidth = 1100;
inline constexpr int kDefaultFrameHeight = 801;
