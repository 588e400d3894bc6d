#include "logic/FrameGeometry.h"

FrameZones ComputeFrameZones(const FrameRect& c, int B, int T, int S)
{
    const int l = c.left, t = c.top, r = c.right, b = c.bottom;
    FrameZones z;
    if (B >= 5) {
        z.left = {l, t + B, l + B, b - B};
        z.right = {r - B, t + B, r, b - B};
        z.top = {l + B, t, r - B, t + B};
        z.bottom = {l + B, b - B, r - B, b};
        z.topLeft = {l, t, l + B, t + B};
        z.topRight = {r - B, t, r, t + B};
        z.bottomLeft = {l, b - B, l + B, b};
        z.bottomRight = {r - B, b - B, r, b};
    } else {
        z.left = {l - 2, t + B, l + B + 5, b - B};
        z.right = {r - B - 5, t + B, r + 2, b - B};
        z.top = {l + B + 5, t - 2, r - B - 5, t + B + 5};
        z.bottom = {l + B + 5, b - B - 5, r - B - 5, b + 2};
        z.topLeft = {l - 2, t - 2, l + B + 5, t + B + 5};
        z.topRight = {r - B - 5, t - 2, r + 2, t + B + 5};
        z.bottomLeft = {l - 2, b - B - 5, l + B + 5, b + 2};
        z.bottomRight = {r - B - 5, b - B - 5, r + 2, b + 2};
    }
    z.title = {l + B, t + B, r - B, t + T};
    z.closeButton = {r - B - S, t + B, r - B, t + B + S};
    z.maximizeButton = {r - B - 2 * S, t + B, r - B - S, t + B + S};
    z.minimizeButton = {r - B - 3 * S, t + B, r - B - 2 * S, t + B + S};
    return z;
}

FrameZone HitFrameZone(const FrameZones& z, QPoint pt)
{
    const std::pair<const FrameRect*, FrameZone> order[] = {
        {&z.closeButton, FrameZone::CloseButton},
        {&z.maximizeButton, FrameZone::MaximizeButton},
        {&z.minimizeButton, FrameZone::MinimizeButton},
        {&z.topLeft, FrameZone::TopLeft},
        {&z.topRight, FrameZone::TopRight},
        {&z.bottomLeft, FrameZone::BottomLeft},
        {&z.bottomRight, FrameZone::BottomRight},
        {&z.left, FrameZone::Left},
        {&z.right, FrameZone::Right},
        {&z.top, FrameZone::Top},
        {&z.bottom, FrameZone::Bottom},
        {&z.title, FrameZone::Title},
    };
    for (const auto& [rect, zone] : order) {
        if (rect->Contains(pt)) {
            return zone;
        }
    }
    return FrameZone::None;
}

bool IsSizingZone(FrameZone zone)
{
    const int code = static_cast<int>(zone);
    return code >= 1 && code <= 8;
}

FrameRect MaximizedFrameRect(const QRect& screenAvailable)
{
    return FrameRect::FromQRect(screenAvailable);
}

FrameRect RestoreUnderPointer(QSize normalSize, QPoint pointer, int nBorder)
{
    const int left = pointer.x() - normalSize.width() / 2;
    const int top = pointer.y() - nBorder;
    return {left, top, left + normalSize.width(), top + normalSize.height()};
}

bool ShouldRememberNormal(bool bMaximized, const FrameRect& current, QSize minTrack)
{
    return !bMaximized && current.Width() >= minTrack.width() &&
           current.Height() >= minTrack.height();
}

QRect HostedWindowRect(QSize client, int nBorder, int nTitle)
{
    return QRect(nBorder, nTitle, client.width() - 2 * nBorder,
                 client.height() - nTitle - nBorder);
}

bool AllowShowForPlaceState(int& nPlaceState)
{
    if (nPlaceState == 0) {
        return false;
    }
    if (nPlaceState == 1) {
        nPlaceState = -1;
    }
    return true;
}
