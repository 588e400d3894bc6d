#include "popups/CidLayout.h"

#include "diag/DbgLog.h"
#include "text/TextConv.h"

#include <QGuiApplication>
#include <QScreen>

#include <iterator>

// The layout was split out of the popup manager: its lines keep the manager's function and file
// labels, which support staff search for.
#define LAYOUT_LOG_W(func, fmt, ...)                                                          \
    DBG_LOG_AS_W(L"CCidManagerDlg::" func, L"CidManagerDlg", fmt __VA_OPT__(, ) __VA_ARGS__)
#define LAYOUT_LOG_A(func, fmt, ...)                                                          \
    do {                                                                                      \
        if (g_DbgLog.IsConfigured())                                                          \
            g_DbgLog.GD_DebugPrintA(__LINE__, L"CCidManagerDlg::" func, L"CidManagerDlg",     \
                                    fmt __VA_OPT__(, ) __VA_ARGS__);                          \
    } while (0)

std::vector<CidPopupState> CidPopupStates(const CidPopupList& popups)
{
    std::vector<CidPopupState> states;
    states.reserve(popups.size());
    for (const auto& p : popups) {
        states.push_back(CidStateOf(*p));
    }
    return states;
}

CCidLayout::CCidLayout(const CidPopupList& popups, const CidDisplayOptions& options,
                       CidTypeSizeMap& sizes)
    : m_popups(popups), m_options(options), m_sizes(sizes)
{
}

CidScreenInfo CidScreenInfoOf(const QScreen* pScreen)
{
    if (pScreen == nullptr) {
        pScreen = QGuiApplication::primaryScreen();
    }
    CidScreenInfo info;
    if (pScreen != nullptr) {
        const QRect rc = pScreen->availableGeometry();
        info.rcWork = {rc.x(), rc.y(), rc.x() + rc.width(), rc.y() + rc.height()};
        info.nDpiY = static_cast<int>(pScreen->logicalDotsPerInchY());
    }
    return info;
}

CidScreenInfo CCidLayout::ReadScreen() const
{
    return m_fnScreen ? m_fnScreen() : CidScreenInfoOf(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Searches

ICidWindow* CCidLayout::FindCidWindow(int nCidDisplayMode, const std::wstring& strCaller,
                                      const std::wstring& strCallee, int nCallResult,
                                      int64_t llLogNo, const ICidWindow* pStop, int nCidType,
                                      int nCallProcessType)
{
    const CidSearch search{nCidDisplayMode, strCaller, strCallee, nCallResult,
                           llLogNo,         nCidType,  nCallProcessType};
    std::optional<size_t> nStop;
    size_t i = 0;
    for (const auto& p : m_popups) {
        if (p.get() == pStop) {
            nStop = i;
            break;
        }
        ++i;
    }
    const CidSearchResult result =
        CidSearchPopups(CidPopupStates(m_popups), search, nStop, m_options.nCidType);
    LogSearch(search, result);
    if (!result.nMatch) {
        return nullptr;
    }
    return std::next(m_popups.begin(), static_cast<long>(*result.nMatch))->get();
}

void CCidLayout::LogSearch(const CidSearch& search, const CidSearchResult& result) const
{
    LAYOUT_LOG_A("FindCidWindow",
                 "CCidManagerDlg::FindCidWindow() start. nCidDisplayMode=%d, nCallResult=%d, "
                 "_strCallerPhone=%s, strCallerPhone=%s, nCallProcessType=%d",
                 search.nMode, search.nCallResult, WideToAnsi(search.strCallee).c_str(),
                 WideToAnsi(search.strCaller).c_str(), search.nCallProcessType);
    const ICidWindow* pLast = nullptr;
    size_t nLogged = 0;
    for (const auto& pItem : m_popups) {
        if (nLogged == result.nExamined) {
            break;
        }
        ++nLogged;
        pLast = pItem.get();
        LAYOUT_LOG_A("FindCidWindow",
                     "CCidManagerDlg::FindCidWindow() m_nCallResult=%d, m_nCallProcessType=%d",
                     pLast->m_nCallResult, pLast->m_nCallProcessType);
    }
    if (result.bEnded && pLast != nullptr) {
        LAYOUT_LOG_A("FindCidWindow",
                     "CCidManagerDlg::FindCidWindow() m_nCallResult=%d, m_nCallProcessType=%d",
                     pLast->m_nCallResult, pLast->m_nCallProcessType);
    }
}

// ---------------------------------------------------------------------------------------------
// Placement

void CCidLayout::PositionCidWindow(ICidWindow* pCidDlg, int bInitPosition, int nType)
{
    ICidWindow& p = *pCidDlg;
    // The type whose size the popup takes; an overlap search looks for popups of that form.
    int nSizeType = m_options.nCidType;
    if (p.m_nCallProcessType == 1) {
        nSizeType = p.m_nPopupType;
    } else if (nType >= 0) {
        nSizeType = nType;
    }
    CidSize size;
    if (nType < 0 && p.IsCidWindowVisible()) {
        size = p.GetCidClientSize();
    } else {
        size = m_sizes[nSizeType];
    }
    const CidScreenInfo screen = ReadScreen();
    size = CidClampSize(size, screen.rcWork);
    if (m_popups.size() == 1) {
        bInitPosition = 1;
    }

    bool bOverlap = false;
    if (m_options.nOverlap == 1) {
        bOverlap = true;
    } else if (m_options.nCidType == 10) {
        bOverlap = bInitPosition == 0;
    }
    if (bOverlap && PlaceOverlapped(pCidDlg, nSizeType, size)) {
        return;
    }

    const int nStartPos = m_options.nCidStartPos;
    if (bInitPosition != 0) {
        const CidRect& rc = screen.rcWork;
        LAYOUT_LOG_A("PositionCidWindow",
                     "CCIDDlgManager::PositionCidWindow() bInitPosition ==> rcDesktop -> left=%d, "
                     "top=%d, right=%d, bottom=%d, width()=%d, height()=%d, nDpiY=%d",
                     rc.left, rc.top, rc.right, rc.bottom, rc.Width(), rc.Height(), screen.nDpiY);
        CidResetAtCorner(m_place, rc, nStartPos, size);
    } else {
        LAYOUT_LOG_W("PositionCidWindow",
                     L"old Position => m_ptCidLast=(%d, %d), m_ptCidCurrent=(%d, %d), "
                     L"m_sizeCidLast=(%d, %d), m_sizeDesktop=(%d, %d)",
                     m_place.ptCidLast.x, m_place.ptCidLast.y, m_place.ptCidCurrent.x,
                     m_place.ptCidCurrent.y, m_place.sizeCidLast.cx, m_place.sizeCidLast.cy,
                     m_place.sizeDesktop.cx, m_place.sizeDesktop.cy);
        CidStackNext(m_place, nStartPos, size);
    }

    LAYOUT_LOG_W("PositionCidWindow",
                 L"신규 Position => m_nCidStartPos=%d, m_ptCidStart=(%d, %d), "
                 L"m_ptCidCurrent=(%d, %d), m_sizeCid=(%d, %d)",
                 nStartPos, m_place.ptCidStart.x, m_place.ptCidStart.y, m_place.ptCidCurrent.x,
                 m_place.ptCidCurrent.y, size.cx, size.cy);
    p.SetCidWindowPos(CidZOrder::Top, m_place.ptCidCurrent.x, m_place.ptCidCurrent.y, size.cx,
                      size.cy, kCidPosShowWindow);
    CidRecordPlaced(m_place, size);
    // The opened popup that will lie on this one reaches above it by the difference of the
    // two forms' heights; moving the stack's last point up by that much keeps the next popup
    // clear of it.
    if (m_options.nOverlap == 1 && p.m_nOverlapMark != 0 && IsBottomCorner(nStartPos) &&
        (nType == 21 || nType == 23)) {
        CidMakeRoomForOpened(m_place, m_sizes, nType);
    }
}

bool CCidLayout::PlaceOverlapped(ICidWindow* pCidDlg, int nSizeType, CidSize size)
{
    ICidWindow& p = *pCidDlg;
    if (m_options.nCidType != 0) {
        // A popup of the same form: lay this one exactly on it.
        ICidWindow* pSame = FindCidWindow(1, p.m_strCallerPhone, p.m_strCalleePhone,
                                          p.m_nCallResult, p.m_llLogNo, pCidDlg, nSizeType,
                                          p.m_nCallProcessType);
        if (pSame != nullptr) {
            const CidRect rc = pSame->GetCidWindowRect();
            p.SetCidWindowPos(CidZOrder::Top, rc.left, rc.top, size.cx, size.cy,
                              kCidPosShowWindow);
            return true;
        }
    }
    ICidWindow* pBelow = FindCidWindow(1, p.m_strCallerPhone, p.m_strCalleePhone, p.m_nCallResult,
                                       p.m_llLogNo, pCidDlg, 0, p.m_nCallProcessType);
    if (pBelow == nullptr) {
        return false;
    }
    // A new popup (nType -1) is aligned as the form it takes, like the search above.
    const CidPoint pt = CidOverlapOnto(m_place, m_sizes, pBelow->GetCidWindowRect(),
                                       pBelow->m_nPopupType, pBelow->m_nOverlapMark, nSizeType,
                                       m_options.nCidStartPos);
    p.SetCidWindowPos(CidZOrder::Top, pt.x, pt.y, size.cx, size.cy, kCidPosShowWindow);
    return true;
}

void CCidLayout::RepositionCidWindowAll(int nFlags)
{
    int bInitPosition = 1;
    for (const auto& pItem : m_popups) {
        ICidWindow& p = *pItem;
        if (!p.IsCidWindowVisible()) {
            continue;
        }
        p.m_nCidOverlap = m_options.nOverlap;
        p.m_nPosCode = m_options.nCidStartPos;
        int nType = m_options.nCidType;
        if (IsCidScheduleType(p.m_nPopupType)) {
            nType = CidScheduleTypeFor(m_options.nCidType);
        }
        if ((nFlags & kCidReplace) != 0 && p.m_nCallProcessType != 1) {
            p.m_nPopupType = nType;
            PositionCidWindow(&p, bInitPosition, nType);
        } else {
            if (p.m_nCallProcessType == 1) {
                p.m_nPopupType = nType == 10 ? 10 : (IsCidLargeType(nType) ? 33 : 31);
            }
            PositionCidWindow(&p, bInitPosition, p.m_nPopupType);
        }
        p.SendSizeChange(nType);
        p.InvalidateCidWindow();

        if ((nFlags & kCidRetime) != 0) {
            const int nAutoCloseType = m_options.nAutoCloseType;
            int nDelaySec = nAutoCloseType == 2 ? m_options.nAutoCloseTime : 0;
            if (p.m_nCallResult != 1 && (p.m_nCallResult == 200 || p.m_nCallResult == 291)) {
                nDelaySec = 0;
            }
            // Only popups that had no delay of their own get the new one; running timers stay.
            if (p.m_nCloseType == 1 && nDelaySec > 0 && nAutoCloseType == 2) {
                p.KillCidTimer(kCidCloseTimerId);
                p.m_nCloseTimer = 0;
                LAYOUT_LOG_W("RepositionCidWindowAll", L"change close time : %d", nDelaySec);
                p.m_nCloseTimer = p.SetCidTimer(kCidCloseTimerId, CidCloseDelayMs(nDelaySec));
            }
            p.m_nCloseType = nAutoCloseType;
        }
        bInitPosition = 0;
    }
}

void CCidLayout::PlaceOpened(const ICidWindow* pOpened, bool bKnown)
{
    int bInitPosition = 1;
    int bPaired = 0;
    const int nCidType = m_options.nCidType;
    for (const auto& pItem : m_popups) {
        ICidWindow& p = *pItem;
        if (&p == pOpened) {
            const int nOpenedType = nCidType == 21 ? 22 : (nCidType == 23 ? 24 : 0);
            if (nOpenedType != 0) {
                p.m_nPopupType = nOpenedType;
                if (bPaired == 0 && m_options.nOverlap == 1) {
                    p.m_nOverlapMark = 1;
                    bPaired = 1;
                }
                PositionCidWindow(&p, bInitPosition, nOpenedType);
            }
        } else {
            if (bKnown && bPaired == 0 && m_options.nOverlap == 1 &&
                FindCidWindow(1, pOpened->m_strCallerPhone, pOpened->m_strCalleePhone,
                              pOpened->m_nCallResult, pOpened->m_llLogNo, pOpened, 0, 0) == &p) {
                p.m_nOverlapMark = 1;
                bPaired = 1;
            }
            PositionCidWindow(&p, bInitPosition, p.m_nPopupType);
        }
        bInitPosition = 0;
    }
}

void CCidLayout::ReleasePairMark(const ICidWindow& closing)
{
    if (m_options.nOverlap != 1 || (closing.m_nPopupType != 22 && closing.m_nPopupType != 24)) {
        return;
    }
    ICidWindow* pBelow = FindCidWindow(1, closing.m_strCallerPhone, closing.m_strCalleePhone,
                                       closing.m_nCallResult, closing.m_llLogNo, &closing,
                                       closing.m_nPopupType, 0);
    if (pBelow == nullptr) {
        pBelow = FindCidWindow(1, closing.m_strCallerPhone, closing.m_strCalleePhone,
                               closing.m_nCallResult, closing.m_llLogNo, &closing, 0, 0);
        if (pBelow != nullptr) {
            pBelow->m_nOverlapMark = 0;
        }
    }
}
