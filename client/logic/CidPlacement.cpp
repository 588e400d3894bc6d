#include "logic/CidPlacement.h"

#include <algorithm>
#include <limits>

namespace {

int ClampSide(int n, long long llLimit)
{
    const long long llMax = llLimit > 0 ? std::min<long long>(llLimit, kCidMaxSide) : kCidMaxSide;
    return static_cast<int>(std::clamp<long long>(n, 1, llMax));
}

// Sums of coordinates in 64 bits: the points come from sizes a page chose.
long long Sum(long long a, long long b, long long c = 0)
{
    return a + b + c;
}

int ToInt(long long ll)
{
    return static_cast<int>(std::clamp<long long>(ll, std::numeric_limits<int>::min(),
                                                 std::numeric_limits<int>::max()));
}

} // namespace

CidSize CidClampSize(CidSize size, const CidRect& rcWork)
{
    const long long llWidth = static_cast<long long>(rcWork.right) - rcWork.left;
    const long long llHeight = static_cast<long long>(rcWork.bottom) - rcWork.top;
    return {ClampSide(size.cx, llWidth), ClampSide(size.cy, llHeight)};
}

void CidResetAtCorner(CidPlacementState& state, const CidRect& rcWork, int nStartPos,
                      CidSize size)
{
    state.rcWork = rcWork;
    state.sizeDesktop = {rcWork.right - rcWork.left, rcWork.bottom - rcWork.top};
    const int nRight = ToInt(Sum(rcWork.right, -static_cast<long long>(size.cx)));
    const int nBottom = ToInt(Sum(rcWork.bottom, -static_cast<long long>(size.cy)));
    switch (nStartPos) {
    case kCidPosRightBottom:
        state.ptCidStart = {nRight, nBottom};
        break;
    case kCidPosRightTop:
        state.ptCidStart = {nRight, rcWork.top};
        break;
    case kCidPosLeftBottom:
        state.ptCidStart = {rcWork.left, nBottom};
        break;
    case kCidPosLeftTop:
        state.ptCidStart = {rcWork.left, rcWork.top};
        break;
    default:
        break;
    }
    state.ptCidCurrent = state.ptCidStart;
}

void CidStackNext(CidPlacementState& state, int nStartPos, CidSize size)
{
    const CidRect& rc = state.rcWork;
    const CidPoint last = state.ptCidLast;
    const long long llLastHeight = state.sizeCidLast.cy;
    const long long cx = size.cx;
    const long long cy = size.cy;
    CidPoint& start = state.ptCidStart;
    long long x = state.ptCidCurrent.x;
    long long y = state.ptCidCurrent.y;

    switch (nStartPos) {
    case kCidPosRightBottom:
        y = Sum(last.y, -cy);
        if (y < rc.top) {
            start.y = ToInt(Sum(rc.bottom, -cy));
            y = start.y;
            x = Sum(last.x, -cx);
            if (x < rc.left) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    case kCidPosRightTop:
        y = Sum(last.y, llLastHeight);
        if (Sum(y, cy) > rc.bottom) {
            x = Sum(last.x, -cx);
            y = start.y;
            if (x < rc.left) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    case kCidPosLeftBottom:
        y = Sum(last.y, -cy);
        if (y < rc.top) {
            start.y = ToInt(Sum(rc.bottom, -cy));
            x = Sum(last.x, cx);
            y = start.y;
            if (Sum(last.x, cx, cx) > rc.right) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    case kCidPosLeftTop:
        y = Sum(last.y, llLastHeight);
        if (Sum(y, cy) > rc.bottom) {
            x = Sum(last.x, cx);
            y = start.y;
            if (Sum(last.x, cx, cx) > rc.right) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    default:
        break;
    }
    state.ptCidCurrent = {ToInt(x), ToInt(y)};
}

void CidRecordPlaced(CidPlacementState& state, CidSize size)
{
    state.ptCidLast = state.ptCidCurrent;
    state.sizeCidLast = size;
}

void CidMakeRoomForOpened(CidPlacementState& state, CidTypeSizeMap& sizes, int nType)
{
    state.ptCidLast.y -= sizes[nType + 1].cy - sizes[nType].cy;
}

CidPoint CidOverlapOnto(CidPlacementState& state, CidTypeSizeMap& sizes,
                        const CidRect& rcBelow, int nTypeBelow, int nMarkBelow, int nType,
                        int nStartPos)
{
    int nTop = rcBelow.top;
    const bool bBottom = IsBottomCorner(nStartPos);
    if (nType == 22 || nType == 24) {
        if (bBottom) {
            const int nDelta = sizes[nType - 1].cy - sizes[nType].cy;
            nTop += nDelta;
            if (nMarkBelow == 0) {
                state.ptCidLast.y += nDelta;
            }
        } else if (nMarkBelow == 0) {
            state.sizeCidLast = sizes[nType];
        }
    }
    if (((nType == 21 && nTypeBelow == 22) || (nType == 23 && nTypeBelow == 24)) && bBottom) {
        nTop += sizes[nType + 1].cy - sizes[nType].cy;
    }
    return {rcBelow.left, nTop};
}

bool IsCidDragBand(int y, int nPopupType)
{
    return y >= 1 && y < (nPopupType == 10 ? 10 : 25);
}

bool CidSlideStep(double& dSlideY, int nStartPos, int y, int cy)
{
    switch (nStartPos) {
    case kCidPosRightBottom:
    case kCidPosLeftBottom:
        if (dSlideY == 0.0) {
            dSlideY = y + cy;
        }
        dSlideY -= 1.0;
        return y >= dSlideY;
    case kCidPosRightTop:
    case kCidPosLeftTop:
        if (dSlideY == 0.0) {
            dSlideY = y - cy;
        }
        dSlideY += 1.0;
        return y <= dSlideY;
    default:
        return false;
    }
}
