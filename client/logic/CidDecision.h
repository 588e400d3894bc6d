#pragma once
#include "logic/CidOption.h"
#include "logic/CidPlacement.h"
#include "logic/CidRequest.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the decisions read of one listed popup. Lists of these run oldest first, like the
// manager's own list.
struct CidPopupState
{
    std::wstring strCaller;
    std::wstring strCallee;
    int nCallResult = -1;
    int64_t llLogNo = 0;
    int nPopupType = 0;
    int nCallProcessType = 0;
    int nCallCnt = 0;
};

// A search of the list, oldest first, that ends on the stop popup: mode 0 looks for a popup of
// the same call, mode 1 (laying popups on each other) for one in the same state.
struct CidSearch
{
    int nMode = 0;
    std::wstring strCaller;
    std::wstring strCallee;
    int nCallResult = 0;
    int64_t llLogNo = 0;
    int nCidType = 0;         // mode 1: only popups of this form, 0 any form
    int nCallProcessType = 0; // mode 1
};

struct CidSearchResult
{
    std::optional<size_t> nMatch;
    // Popups looked at, including the one it ended on (a match or the stop popup).
    size_t nExamined = 0;
    bool bEnded = false;
};

// nManagerCidType: the manager's display type; in the single-popup type a search by that type
// takes the first popup it meets.
CidSearchResult CidSearchPopups(const std::vector<CidPopupState>& popups, const CidSearch& search,
                                std::optional<size_t> nStop, int nManagerCidType);

// The newest popup showing the call or message a request is about.
std::optional<size_t> CidFindLastPopup(const std::vector<CidPopupState>& popups,
                                       const std::wstring& strCaller,
                                       const std::wstring& strCallee, int nCallResult,
                                       int64_t llLogNo);

// Schedule popups keep the state -1 and the log number 0: no call notice is about them.
inline bool IsCidSchedulePopup(const CidPopupState& p)
{
    return p.nCallResult == -1 || IsCidScheduleType(p.nPopupType);
}

// The ordinary call popup of a call log number (call end, recording result).
std::optional<size_t> CidFindCallPopup(const std::vector<CidPopupState>& popups, int64_t llLogNo);

enum class CidVerdict
{
    SendPopup, // an outgoing call starts: a popup of its own, never listed
    CallEnded, // the call's popup (if any) shows the end and goes away after a while
    Disabled,  // the options keep it from showing (the manager logs a warning)
    Drop,      // nothing to show it in
    Reuse,     // a listed popup takes it
    New,       // a new popup takes it
};

inline constexpr int kCidSendCloseDelayMs = 3000;

// At most this many call, message and schedule popups are listed (each is a web view): more
// than two screens full of the smallest stacked form. Past it the oldest closes first.
inline constexpr size_t kCidMaxOpenPopups = 64;

// The longest close delay a page or an option can ask for: a day.
inline constexpr int kCidMaxCloseDelaySeconds = 24 * 60 * 60;
// A close delay in seconds as milliseconds, computed in 64 bits and kept within 0 and
// kCidMaxCloseDelaySeconds, so a huge value never wraps into an immediate close.
int CidCloseDelayMs(long long llSeconds);
inline constexpr int kCidEndedCloseDelayMs = 10000;

struct CidDecision
{
    CidVerdict verdict = CidVerdict::Drop;
    int nCallResult = 0;        // the state the popup takes; an unknown state counts as 111
    int nCallProcessType = 0;   // 0 for a recorded ARS call, shown as an ordinary call
    std::optional<size_t> nPopup; // Reuse: that popup; CallEnded: the call's popup, if any
    bool bRemoveAll = false;    // New in the single-popup type: every listed popup goes first
    int nCloseDelayMs = 0;      // 0: no close timer
    // Reuse, New: the search for an older popup of the same call, over the list as it stands
    // with the new popup added at its end; none when the state keeps older popups.
    CidSearch sameCallSearch;
    std::optional<CidSearchResult> sameCall;
    std::optional<size_t> nRemove; // the older popup found, to be removed
    int nCallCnt = 0;              // with a same-call search: the count the popup takes
    bool bRelayout = false;        // Reuse: lay every popup out again afterwards
};

CidDecision CidDecide(const CidRequest& request, const std::vector<CidPopupState>& popups,
                      const CidDisplayOptions& options);
