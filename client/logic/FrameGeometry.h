#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

// A rectangle with exclusive right and bottom edges, as the frame's zone rules are written.
struct FrameRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool Contains(QPoint pt) const
    {
        return pt.x() >= left && pt.x() < right && pt.y() >= top && pt.y() < bottom;
    }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    QRect ToQRect() const { return QRect(QPoint(left, top), QSize(Width(), Height())); }
    static FrameRect FromQRect(const QRect& r)
    {
        return FrameRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    bool operator==(const FrameRect&) const = default;
};

// Where a press or the pointer is on the frame. The numbers of the sizing zones are the
// window system's edge codes.
enum class FrameZone
{
    None = 0,
    Left = 1,
    Right = 2,
    Top = 3,
    TopLeft = 4,
    TopRight = 5,
    Bottom = 6,
    BottomLeft = 7,
    BottomRight = 8,
    Title = 100,
    CloseButton,
    MaximizeButton,
    MinimizeButton,
};

struct FrameZones
{
    FrameRect left, right, top, bottom;
    FrameRect topLeft, topRight, bottomLeft, bottomRight;
    FrameRect title, closeButton, maximizeButton, minimizeButton;
};

// The twelve zones for a client rectangle in screen coordinates. Thin borders (4 or less) get
// zones widened 5 pixels inwards and 2 outwards so they can still be grabbed.
FrameZones ComputeFrameZones(const FrameRect& client, int nBorder, int nTitle, int nButton);

// Buttons first, then corners before edges, then the title strip.
FrameZone HitFrameZone(const FrameZones& zones, QPoint pt);
bool IsSizingZone(FrameZone zone);

// Maximised, the frame covers the screen's work area, so the taskbar stays uncovered.
FrameRect MaximizedFrameRect(const QRect& screenAvailable);

// Dragging a maximised frame: its normal size, centred on the pointer, top nBorder above it.
FrameRect RestoreUnderPointer(QSize normalSize, QPoint pointer, int nBorder);

// A program move that shrinks the frame below its minimum must not become its normal rect.
bool ShouldRememberNormal(bool bMaximized, const FrameRect& current, QSize minTrack);

// The hosted window's rectangle inside border and title strip, in client coordinates.
QRect HostedWindowRect(QSize client, int nBorder, int nTitle);

// Placement state: 0 not yet placed (showing suppressed), 1 placed (the next positioning
// shows), -1 shown normally. Returns whether a requested show may happen, moving the state on.
bool AllowShowForPlaceState(int& nPlaceState);
