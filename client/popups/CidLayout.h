#pragma once
#include "logic/CidDecision.h"
#include "logic/CidOption.h"
#include "logic/CidPlacement.h"
#include "popups/CidWindow.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

class QScreen;

// The work area and vertical resolution of the screen the popups go to (the resolution only
// feeds a log line).
struct CidScreenInfo
{
    CidRect rcWork;
    int nDpiY = 0;
};

// The popup manager's popups, oldest first.
using CidPopupList = std::list<std::unique_ptr<ICidWindow>>;

std::vector<CidPopupState> CidPopupStates(const CidPopupList& popups);

// The work area of a screen; of the primary screen for none. The shell's screen source hands
// it the main frame's screen, so popups appear where the user works.
CidScreenInfo CidScreenInfoOf(const QScreen* pScreen);

// Lays the popup manager's popups out: the stack from the start corner, popups laid on each
// other in overlap mode and the opened forms. It reads the manager's list, options and type
// sizes (a lookup of a missing type adds it) and keeps the stack's state. Its log lines name
// the manager's functions, as they always have.
class CCidLayout
{
public:
    // RepositionCidWindowAll flags: place in the option type again, restart close timers.
    static constexpr int kCidReplace = 1;
    static constexpr int kCidRetime = 2;

    CCidLayout(const CidPopupList& popups, const CidDisplayOptions& options, CidTypeSizeMap& sizes);

    // nType -1: the size of the visible window, else of that type.
    void PositionCidWindow(ICidWindow* pCidDlg, int bInitPosition, int nType);
    void RepositionCidWindowAll(int nFlags);
    // pOpened switched to its opened form: everything is placed again, and in overlap mode the
    // popup it lies on takes the pair mark. bKnown false: pOpened is gone and is not read.
    void PlaceOpened(const ICidWindow* pOpened, bool bKnown);
    // An opened-form popup closes: the popup it lay on gives up its pair mark unless another
    // opened popup still lies there.
    void ReleasePairMark(const ICidWindow& closing);

    ICidWindow* FindCidWindow(int nCidDisplayMode, const std::wstring& strCaller,
                              const std::wstring& strCallee, int nCallResult, int64_t llLogNo,
                              const ICidWindow* pStop, int nCidType, int nCallProcessType);
    // The log lines of a search: what it looks for, then each popup it looked at, the one it
    // ended on twice. Reads the popups as they are now.
    void LogSearch(const CidSearch& search, const CidSearchResult& result) const;

    void SetScreenSource(std::function<CidScreenInfo()> fn) { m_fnScreen = std::move(fn); }
    // Without a source: the primary screen.
    CidScreenInfo ReadScreen() const;
    const CidPlacementState& State() const { return m_place; }

private:
    bool PlaceOverlapped(ICidWindow* pCidDlg, int nSizeType, CidSize size);

    const CidPopupList& m_popups;
    const CidDisplayOptions& m_options;
    CidTypeSizeMap& m_sizes;
    CidPlacementState m_place;
    std::function<CidScreenInfo()> m_fnScreen;
};
