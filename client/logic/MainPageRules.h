#pragma once
#include <QRect>
#include <QSize>
#include <string>

// Decisions of the main page window that need no window.

// The main page address. "&autoRunOpt=1" appears once, and only when the auto-start entry
// exists; the first start asks the page to reset its local storage instead.
std::wstring BuildMainUrl(const std::wstring& strServerUrl, int nServerPort, bool bInitStarted,
                          bool bAutoRun);

// A stored frame rectangle is used only when it lies on the screen nearest to it (full bounds,
// at least 20 pixels of it inside on the right and bottom) and fits that screen.
bool IsStoredRectAcceptable(const QRect& stored, const QRect& screenBounds);

// The stored values are page text: anything that is not a plausible rectangle (empty, or so
// far out that its edges would overflow) is rejected before the screen check.
bool IsStoredRectInRange(int x, int y, int nWidth, int nHeight);

// What the page-loading worker does after a wait timed out before the page reported its border.
// Every such pass is a try, whatever its cause (no network, still loading, loaded without
// readiness), so the worker always ends.
enum class LoadRetry
{
    Retry,   // count and navigate again
    GiveUp,  // the third try failed
};
LoadRetry DecideLoadRetry(int nRetryCount);
inline constexpr int kMaxLoadRetries = 2;

// The frame look the page reports, bounded: a border of 0 to kMaxBorderSize pixels and a
// minimum size that cannot overflow (each side 0 to kMaxMinTrackSide).
inline constexpr int kMaxBorderSize = 20;
inline constexpr int kMaxMinTrackSide = 8192;
int ClampBorderSize(int nSize);
QSize MinTrackSize(int nWidth, int nHeight, int nBorderSize, int nTitleHeight);

// An alert's outer size as the page asks for it, kept between 1 pixel and the screen's size.
QSize ClampAlertSize(int nWidth, int nHeight, QSize screen);

// The service address with the port of its authority removed ("http://h:8470" -> "http://h"),
// for a command line that gives a port of its own.
std::wstring AddressWithoutPort(const std::wstring& strUrl);

inline constexpr int kDefaultFrameWidth = 1100;
inline constexpr int kDefaultFrameHeight = 801;
