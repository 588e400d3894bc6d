#include "logic/CidDecision.h"

#include <algorithm>
#include <cwctype>

namespace {

bool EqualsNoCase(const std::wstring& a, const wchar_t* b)
{
    const std::wstring other = b;
    if (a.size() != other.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(a[i]) != std::towupper(other[i])) {
            return false;
        }
    }
    return true;
}

bool IsKnownCallResult(int nCallResult)
{
    switch (nCallResult) {
    case 1:
    case 101:
    case 102:
    case 109:
    case 200:
    case 201:
    case 202:
    case 203:
    case 204:
    case 404:
    case 405:
    case 407:
        return true;
    default:
        return false;
    }
}

// Whether a popup in state nPopupState shows the same call as a request in nRequestState.
bool StatesFit(int nPopupState, int nRequestState)
{
    return nPopupState == nRequestState || nPopupState == 201 ||
           (nPopupState == 200 && nRequestState == 291) ||
           (nPopupState == 407 && nRequestState == 202) ||
           (nPopupState == 202 && nRequestState == 407);
}

bool SameNumbers(const CidPopupState& p, const std::wstring& strCaller,
                 const std::wstring& strCallee)
{
    return p.strCaller == strCaller && p.strCallee == strCallee;
}

// States an ARS notification may open a popup with when none shows its call yet.
bool ArsMayOpen(int nCallResult)
{
    return nCallResult == 101 || nCallResult == 102 || nCallResult == 109 || nCallResult == 111 ||
           nCallResult == 407;
}

int CloseDelaySeconds(int nCallResult, int nRecFlag, int nCallProcessType,
                      const CidDisplayOptions& options)
{
    if (options.nAutoCloseType == 2) {
        return options.nAutoCloseTime;
    }
    if (nCallResult == 1) {
        return 0;
    }
    // These close by themselves in every mode.
    if ((nCallResult == 200 && nRecFlag <= 0) || nCallResult == 201 || nCallProcessType == 1) {
        return options.nAutoCloseTime;
    }
    return 0;
}

} // namespace

int CidCloseDelayMs(long long llSeconds)
{
    return static_cast<int>(std::clamp<long long>(llSeconds, 0, kCidMaxCloseDelaySeconds) * 1000);
}

CidSearchResult CidSearchPopups(const std::vector<CidPopupState>& popups, const CidSearch& search,
                                std::optional<size_t> nStop, int nManagerCidType)
{
    CidSearchResult result;
    for (size_t i = 0; i < popups.size(); ++i) {
        const CidPopupState& p = popups[i];
        ++result.nExamined;
        bool bStop = false;
        bool bMatch = false;
        if (nStop && i == *nStop) {
            bStop = true;
        } else if (search.nCidType == 10 && nManagerCidType == 10) {
            bMatch = true;
        } else if (search.nMode == 0) {
            if (search.nCallResult == 1) {
                bMatch = p.nCallResult == 1 && SameNumbers(p, search.strCaller, search.strCallee);
            } else if (p.nCallProcessType == 1) {
                bMatch = p.llLogNo == search.llLogNo;
            } else {
                bMatch = SameNumbers(p, search.strCaller, search.strCallee) &&
                         StatesFit(p.nCallResult, search.nCallResult);
            }
        } else if (search.nMode == 1) {
            bool bCandidate = false;
            if (search.nCallResult == 1) {
                bCandidate = p.nCallResult == 1;
            } else {
                bCandidate = (p.nCallResult == search.nCallResult && p.nCallProcessType != 1 &&
                              search.nCallProcessType != 1) ||
                             (p.nCallProcessType == 1 && search.nCallProcessType == 1);
            }
            // Compared with the candidate's own type, so a search by type finds popups of that
            // form and the search with type 0 finds any form.
            bMatch = bCandidate && (search.nCidType == 0 || search.nCidType == p.nPopupType);
        }
        if (bStop || bMatch) {
            result.bEnded = true;
            if (bMatch) {
                result.nMatch = i;
            }
            return result;
        }
    }
    return result;
}

std::optional<size_t> CidFindLastPopup(const std::vector<CidPopupState>& popups,
                                       const std::wstring& strCaller,
                                       const std::wstring& strCallee, int nCallResult,
                                       int64_t llLogNo)
{
    for (size_t i = popups.size(); i-- > 0;) {
        const CidPopupState& p = popups[i];
        if (IsCidSchedulePopup(p)) {
            continue;
        }
        if (nCallResult == 1) {
            if (p.nCallResult == 1 && SameNumbers(p, strCaller, strCallee)) {
                return i;
            }
        } else if (p.nCallProcessType == 1) {
            if (p.llLogNo == llLogNo) {
                return i;
            }
        } else if (SameNumbers(p, strCaller, strCallee) && StatesFit(p.nCallResult, nCallResult)) {
            return i;
        } else if (p.llLogNo == llLogNo && p.nCallResult != 201 && nCallResult == 201) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<size_t> CidFindCallPopup(const std::vector<CidPopupState>& popups, int64_t llLogNo)
{
    for (size_t i = 0; i < popups.size(); ++i) {
        const CidPopupState& p = popups[i];
        if (p.nCallProcessType == 0 && p.nCallResult != 1 && !IsCidSchedulePopup(p) &&
            p.llLogNo == llLogNo) {
            return i;
        }
    }
    return std::nullopt;
}

CidDecision CidDecide(const CidRequest& request, const std::vector<CidPopupState>& popups,
                      const CidDisplayOptions& options)
{
    CidDecision d;
    if (EqualsNoCase(request.szNotiFlag, L"START")) {
        d.verdict = CidVerdict::SendPopup;
        d.nCloseDelayMs = kCidSendCloseDelayMs;
        return d;
    }
    int nCallResult = request.nCallResult;
    int nCallProcessType = request.nCallProcessType;
    if (nCallResult == 291) {
        d.verdict = CidVerdict::CallEnded;
        d.nCallResult = nCallResult;
        d.nCallProcessType = nCallProcessType;
        d.nPopup = CidFindCallPopup(popups, request.llLogNo);
        // An ended call always goes away after a while, whatever the options say.
        d.nCloseDelayMs = kCidEndedCloseDelayMs;
        return d;
    }
    if (!IsKnownCallResult(nCallResult)) {
        nCallResult = 111;
    }
    d.nCallResult = nCallResult;
    d.nCallProcessType = nCallProcessType;

    const bool bShown = (options.nEnable == 1 && nCallProcessType != 1) ||
                        (nCallProcessType == 1 && (nCallResult == 1 || options.nEnableArsNoti == 1));
    if (!bShown) {
        d.verdict = CidVerdict::Disabled;
        return d;
    }

    const std::wstring strCaller = request.szCallerPhone;
    const std::wstring strCallee = request.szCalleePhone;
    std::optional<size_t> nFound;
    if (nCallProcessType != 0 && request.nRecFlag > 0) {
        // A recorded ARS call is shown as an ordinary call of its own.
        nCallProcessType = 0;
    } else {
        nFound = CidFindLastPopup(popups, strCaller, strCallee, nCallResult, request.llLogNo);
    }
    d.nCallProcessType = nCallProcessType;

    if (nFound && popups[*nFound].llLogNo == request.llLogNo &&
        ((nCallResult == 101 && popups[*nFound].nCallResult != 101) ||
         (nCallResult == 201 && popups[*nFound].nCallResult != 201))) {
        d.verdict = CidVerdict::Drop;
        return d;
    }
    if (!nFound && nCallProcessType > 0 && !ArsMayOpen(nCallResult)) {
        d.verdict = CidVerdict::Drop;
        return d;
    }

    d.verdict = nFound ? CidVerdict::Reuse : CidVerdict::New;
    d.nPopup = nFound;
    d.bRemoveAll = !nFound && options.nCidType == 10;
    d.nCloseDelayMs =
        CidCloseDelayMs(CloseDelaySeconds(nCallResult, request.nRecFlag, nCallProcessType, options));

    // Connected and answered popups keep the older popups of their call.
    if (nCallProcessType == 1 || nCallResult == 200 || nCallResult == 201) {
        return d;
    }
    std::vector<CidPopupState> withNew;
    const std::vector<CidPopupState>* pList = &popups;
    size_t nStop = nFound.value_or(0);
    if (!nFound) {
        if (!d.bRemoveAll) {
            withNew = popups;
        }
        withNew.emplace_back();
        pList = &withNew;
        nStop = withNew.size() - 1;
    }
    d.sameCallSearch = {0, strCaller, strCallee, nCallResult, request.llLogNo, 0, 0};
    d.sameCall = CidSearchPopups(*pList, d.sameCallSearch, nStop, options.nCidType);
    if (d.sameCall->nMatch && options.nCidType != 10) {
        d.nRemove = d.sameCall->nMatch;
        d.nCallCnt = (*pList)[*d.nRemove].nCallCnt + 1;
    } else {
        d.nCallCnt = 1;
    }
    d.bRelayout = nFound.has_value();
    return d;
}
