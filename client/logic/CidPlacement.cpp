#include "logic/CidPlacement.h"

void CidResetAtCorner(CidPlacementState& state, const CidRect& rcWork, int nStartPos,
                      CidSize size)
{
    state.sizeDesktop = {rcWork.right - rcWork.left, rcWork.bottom - rcWork.top};
    switch (nStartPos) {
    case kCidPosRightBottom:
        state.ptCidStart = {rcWork.right - size.cx, rcWork.bottom - size.cy};
        break;
    case kCidPosRightTop:
        state.ptCidStart = {rcWork.right - size.cx, 0};
        break;
    case kCidPosLeftBottom:
        state.ptCidStart = {0, rcWork.bottom - size.cy};
        break;
    case kCidPosLeftTop:
        state.ptCidStart = {0, 0};
        break;
    default:
        break;
    }
    state.ptCidCurrent = state.ptCidStart;
}

void CidStackNext(CidPlacementState& state, int nStartPos, CidSize size)
{
    const int W = state.sizeDesktop.cx;
    const int H = state.sizeDesktop.cy;
    const CidPoint last = state.ptCidLast;
    const int nLastHeight = state.sizeCidLast.cy;
    CidPoint& start = state.ptCidStart;
    int x = state.ptCidCurrent.x;
    int y = state.ptCidCurrent.y;

    switch (nStartPos) {
    case kCidPosRightBottom:
        y = last.y - size.cy;
        if (y < 0) {
            start.y = H - size.cy;
            y = start.y;
            x = last.x - size.cx;
            if (x < 0) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    case kCidPosRightTop:
        y = last.y + nLastHeight;
        if (y + size.cy > H) {
            x = last.x - size.cx;
            y = start.y;
            if (x < 0) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    case kCidPosLeftBottom:
        y = last.y - size.cy;
        if (y < 0) {
            start.y = H - size.cy;
            x = last.x + size.cx;
            y = start.y;
            if (last.x + 2 * size.cx > W) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    case kCidPosLeftTop:
        y = last.y + nLastHeight;
        if (y + size.cy > H) {
            x = last.x + size.cx;
            y = start.y;
            if (last.x + 2 * size.cx > W) {
                x = start.x;
                y = start.y;
            }
        }
        break;
    default:
        break;
    }
    state.ptCidCurrent = {x, y};
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
