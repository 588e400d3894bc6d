#pragma once
#include <map>

// Screen geometry in pixels. A rectangle's right and bottom are exclusive (left + width).
struct CidPoint
{
    int x = 0;
    int y = 0;
    bool operator==(const CidPoint&) const = default;
};

struct CidSize
{
    int cx = 0;
    int cy = 0;
    bool operator==(const CidSize&) const = default;
};

struct CidRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CidRect&) const = default;
};

// Start corners of the popup stack.
inline constexpr int kCidPosRightBottom = 1;
inline constexpr int kCidPosRightTop = 2;
inline constexpr int kCidPosLeftBottom = 3;
inline constexpr int kCidPosLeftTop = 4;

inline bool IsBottomCorner(int nStartPos)
{
    return nStartPos == kCidPosRightBottom || nStartPos == kCidPosLeftBottom;
}

// Schedule popups have two forms of their own; the large call forms (23, 24) take the large one.
inline bool IsCidScheduleType(int nType)
{
    return nType == 41 || nType == 43;
}

inline bool IsCidLargeType(int nType)
{
    return nType == 23 || nType == 24;
}

inline int CidScheduleTypeFor(int nCidType)
{
    return IsCidLargeType(nCidType) ? 43 : 41;
}

// Display type code -> popup size. A lookup of a missing code adds it as 0 x 0.
using CidTypeSizeMap = std::map<int, CidSize>;

// A side of a page window when the work area is unknown; keeps sums of sides far from overflow.
inline constexpr int kCidMaxSide = 16384;

// A size a page asked for, each side within 1 and the work area's side (kCidMaxSide when the
// work area is empty). Pages are not trusted to keep a frameless top-most window off the
// whole screen. Alert windows take their size through this as well.
CidSize CidClampSize(CidSize size, const CidRect& rcWork);

// Where the stack stands. Overlap placements leave it alone.
struct CidPlacementState
{
    CidRect rcWork;        // work area at the last reset
    CidSize sizeDesktop;   // its size
    CidPoint ptCidStart;   // top-left of the stack's first popup
    CidPoint ptCidLast;    // top-left of the popup placed last by reset or stacking
    CidSize sizeCidLast;   // its size
    CidPoint ptCidCurrent; // top-left chosen for the popup being placed
};

// Starts a new stack at the corner of the work area for a popup of the given size.
void CidResetAtCorner(CidPlacementState& state, const CidRect& rcWork, int nStartPos,
                      CidSize size);

// Puts the next popup beside the one placed last, opening a new column when the current one
// is full and going back to the start point when the work area is full. Every column starts
// at the edge of the work area the first one started at.
void CidStackNext(CidPlacementState& state, int nStartPos, CidSize size);

// Records the popup just placed at ptCidCurrent as the last one of the stack.
void CidRecordPlaced(CidPlacementState& state, CidSize size);

// A base-form popup (21 or 23) that carries the pair mark at a bottom corner has its opened
// form (one code higher, taller) lying on it, bottom edges aligned, so the opened popup
// reaches above it by the difference of the two heights. The stack's last point moves up by
// that difference so the next popup goes above the opened one.
void CidMakeRoomForOpened(CidPlacementState& state, CidTypeSizeMap& sizes, int nType);

// Laying a popup of type nType on an older popup B of the same call state: the top-left that
// keeps bottom edges aligned at bottom corners when one of the two is an opened form, and
// what that does to the stack (only when B carries no pair mark, whose placement made room
// already).
CidPoint CidOverlapOnto(CidPlacementState& state, CidTypeSizeMap& sizes,
                        const CidRect& rcBelow, int nTypeBelow, int nMarkBelow, int nType,
                        int nStartPos);

// One step of the single popup's slide to its place at y (height cy): at a bottom corner it
// rises from below the place, at a top corner it comes down from above, one pixel a step.
// dSlideY 0 means the slide has not begun. True when the popup has reached its place.
bool CidSlideStep(double& dSlideY, int nStartPos, int y, int cy);

// Whether a left click at client y starts dragging a popup of display type nPopupType: the band
// along the top edge below the first pixel row.
bool IsCidDragBand(int y, int nPopupType);
