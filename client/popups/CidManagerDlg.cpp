#include "popups/CidManagerDlg.h"

#include "popups/CidEvents.h"
#include "logic/CidNotify.h"
#include "diag/DbgLog.h"
#include "logic/JsonText.h"
#include "text/TextConv.h"

#include <json/value.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>
#include <optional>

namespace {

unsigned long AddressOf(const void* p)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

} // namespace

uint32_t CidProcessWorkingSet()
{
    FILE* pFile = std::fopen("/proc/self/statm", "r");
    if (pFile == nullptr) {
        return 0;
    }
    unsigned long ulSize = 0;
    unsigned long ulResident = 0;
    const int nRead = std::fscanf(pFile, "%lu %lu", &ulSize, &ulResident);
    std::fclose(pFile);
    const long lPage = ::sysconf(_SC_PAGESIZE);
    if (nRead != 2 || lPage <= 0) {
        return 0;
    }
    const unsigned long long ullBytes =
        static_cast<unsigned long long>(ulResident) * static_cast<unsigned long long>(lPage);
    return static_cast<uint32_t>(
        std::min<unsigned long long>(ullBytes, std::numeric_limits<uint32_t>::max()));
}

CCidManagerDlg::CCidManagerDlg(ICidWindowFactory& factory, ClientConfig config, QObject* pParent)
    : QObject(pParent), m_factory(factory), m_config(std::move(config))
{
}

void CCidManagerDlg::SetLinePermissions(const std::wstring& strPhone, bool bCtc, bool bMsgSend)
{
    m_permissions.ctc[strPhone] = bCtc ? 1 : 0;
    m_permissions.msgSend[strPhone] = bMsgSend ? 1 : 0;
}

CidSize CCidManagerDlg::ClampToWork(CidSize size) const
{
    return CidClampSize(size, m_layout.ReadScreen().rcWork);
}

void CCidManagerDlg::SetCidTypeSize(int nCidType, CidSize size)
{
    m_mapCidTypeSize[nCidType] = ClampToWork(size);
}

std::unique_ptr<ICidWindow> CCidManagerDlg::NewPopup(QWidget* pOwner)
{
    std::unique_ptr<ICidWindow> p = m_factory.NewCidWindow(pOwner, this);
    p->m_nSerial = ++m_nLastSerial;
    return p;
}

void CCidManagerDlg::MakeRoomForOne(ICidWindow*& pKept)
{
    while (!m_listCidDlg.empty() && m_listCidDlg.size() >= kCidMaxOpenPopups) {
        ICidWindow& oldest = *m_listCidDlg.front();
        DBG_LOG_W(L"popup limit %d reached: the oldest popup closes, llLogNo: %lld",
                  static_cast<int>(kCidMaxOpenPopups), static_cast<long long>(oldest.m_llLogNo));
        m_layout.ReleasePairMark(oldest);
        if (&oldest == pKept) {
            pKept = nullptr;
        }
        std::unique_ptr<ICidWindow> pOwned = std::move(m_listCidDlg.front());
        m_listCidDlg.pop_front();
        DeleteCidWindow(std::move(pOwned), 1);
    }
}

CCidManagerDlg::~CCidManagerDlg()
{
    m_pSendCidDlg.reset();
    RemoveAllCidWindow();
}

bool CCidManagerDlg::Create()
{
    OnInitDialog();
    return true;
}

void CCidManagerDlg::OnInitDialog()
{
    m_mapCidTypeSize[10] = {282, 47};
    m_mapCidTypeSize[21] = {382, 202};
    m_mapCidTypeSize[22] = {382, 358};
    m_mapCidTypeSize[23] = {452, 232};
    m_mapCidTypeSize[24] = {452, 412};
    m_mapCidTypeSize[31] = {382, 122};
    m_mapCidTypeSize[33] = {452, 122};
    m_mapCidTypeSize[41] = {382, 244};
    m_mapCidTypeSize[43] = {452, 244};
}

bool CCidManagerDlg::event(QEvent* pEvent)
{
    // A notice carries a page's text: nothing it holds may end the client from the event loop.
    try {
        return Dispatch(pEvent);
    } catch (const std::exception& e) {
        DBG_LOG_A("notice %d dropped: %s", static_cast<int>(pEvent->type()), e.what());
        return true;
    }
}

bool CCidManagerDlg::Dispatch(QEvent* pEvent)
{
    switch (static_cast<int>(pEvent->type())) {
    case kCidOpenEvent:
        OnCidOpen(static_cast<CidWindowEvent*>(pEvent)->Serial());
        return true;
    case kCidCloseEvent:
        OnCidClose(static_cast<CidWindowEvent*>(pEvent)->Serial());
        return true;
    case kCidTypeChangeEvent: {
        const auto* pChange = static_cast<CidTypeChangeEvent*>(pEvent);
        OnCidTypeChange(pChange->Serial(), pChange->Change());
        return true;
    }
    case kCidRequestEvent:
        OnRecvCid(static_cast<CidRequestEvent*>(pEvent)->TakeRequest());
        return true;
    case kCidRecordEvent:
        OnRecvRecord(static_cast<CidTextEvent*>(pEvent)->Text());
        return true;
    case kCidScheduleEvent:
        OnRecvSch(static_cast<CidTextEvent*>(pEvent)->Text());
        return true;
    default:
        return QObject::event(pEvent);
    }
}

// ---------------------------------------------------------------------------------------------
// Options

void CCidManagerDlg::SetCidOption(const CidOption& option)
{
    const CidDisplayOptions old = m_options;
    m_options = CidApplyOption(old, option);
    m_mapCidTypeSize[option.nType] = ClampToWork({option.nWidth, option.nHeight});

    if (m_listCidDlg.empty()) {
        return;
    }
    // A new size alone waits for the next placement.
    const bool bLayoutChanged = old.nCidType != m_options.nCidType ||
                                old.nOverlap != m_options.nOverlap ||
                                old.nCidStartPos != m_options.nCidStartPos;
    if (!bLayoutChanged && old.nAutoCloseType == 0 && m_options.nAutoCloseType == 0) {
        return;
    }
    if (m_options.nCidType == 10 && old.nCidType != 10) {
        while (m_listCidDlg.size() > 1) {
            m_listCidDlg.pop_front();
        }
    }
    int nFlags = 0;
    if (bLayoutChanged) {
        nFlags |= kCidReplace;
    }
    if (old.nAutoCloseType != 0 || m_options.nAutoCloseType != 0) {
        nFlags |= kCidRetime;
    }
    RepositionCidWindowAll(nFlags);
}

bool CCidManagerDlg::ApplyCidOptChange(const std::wstring& strJson)
{
    Json::Value root;
    if (!ParseJsonText(strJson, root)) {
        return false;
    }
    CidOption option;
    try {
        option = CidOptionFromChange(root);
    } catch (const Json::LogicError& e) {
        DBG_LOG_A("json value error.[%s] %s", WideToAnsi(strJson).c_str(), e.what());
        return false;
    }
    SetCidOption(option);
    return true;
}

bool CCidManagerDlg::ApplyLoginCidOption(const Json::Value& login)
{
    std::optional<CidOption> option;
    try {
        option = CidOptionFromLogin(login);
    } catch (const Json::LogicError& e) {
        DBG_LOG_A("json value error.[cidOpt] %s", e.what());
        return false;
    }
    if (!option) {
        return false;
    }
    SetCidOption(*option);
    return true;
}

bool CCidManagerDlg::ApplyDocumentReadyTypeSizes(const Json::Value& root)
{
    std::vector<CidTypeSizeRow> rows;
    try {
        rows = CidTypeSizesFromDocumentReady(root);
    } catch (const Json::LogicError& e) {
        DBG_LOG_A("json value error.[cid_typeSize] %s", e.what());
        return false;
    }
    for (const CidTypeSizeRow& row : rows) {
        m_mapCidTypeSize[row.nType] = ClampToWork({row.nWidth, row.nHeight});
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Requests

ICidWindow* CCidManagerDlg::PopupAt(std::optional<size_t> nIndex) const
{
    if (!nIndex || *nIndex >= m_listCidDlg.size()) {
        return nullptr;
    }
    return std::next(m_listCidDlg.begin(), static_cast<long>(*nIndex))->get();
}

void CCidManagerDlg::OnRecvCid(std::unique_ptr<CidRequest> pRequest)
{
    if (!pRequest) {
        return;
    }
    const CidDecision decision = CidDecide(*pRequest, CidPopupStates(m_listCidDlg), m_options);
    const std::wstring strUrl = pRequest->szUrl;
    const std::wstring strPostData = pRequest->szPostData;
    const std::wstring strCallerPhone = pRequest->szCallerPhone;
    const std::wstring strTeleCode = pRequest->szTeleCode;
    const std::wstring strCalleePhone = pRequest->szCalleePhone;
    const std::wstring strTime = pRequest->szTime;
    const std::wstring strMsg = pRequest->szMsg;
    const std::wstring strMsgType = pRequest->szMsgType;
    const int64_t llLogNo = pRequest->llLogNo;
    const int nCallProcessType = pRequest->nCallProcessType;
    const int nCidType = pRequest->nCidType;
    const int nCidHeight = pRequest->nCidHeight;
    const int nCidWidth = pRequest->nCidWidth;
    pRequest.reset();

    if (decision.verdict == CidVerdict::SendPopup) {
        DBG_LOG_W(L"call send popup strUrl: %ls, strPostData: %ls, strCallerPhone: %ls, "
                  L"strTeleCode: %ls, strCalleePhone: %ls, strCallTime: %ls, llLogNo: %lld",
                  strUrl.c_str(), strPostData.c_str(), strCallerPhone.c_str(),
                  strTeleCode.c_str(), strCalleePhone.c_str(), strTime.c_str(),
                  static_cast<long long>(llLogNo));
        OpenSendPopup(decision, strUrl, strPostData);
        return;
    }

    DBG_LOG_W(L"strUrl: %ls, strPostData: %ls, strCallerPhone: %ls, strTeleCode: %ls\t\t\t  , "
              L"strCalleePhone: %ls, strTime: %ls, llLogNo: %lld, nCallProcessType:%d\t\t\t  , "
              L"CIDTYPE(%d):(%d, %d)",
              strUrl.c_str(), strPostData.c_str(), strCallerPhone.c_str(), strTeleCode.c_str(),
              strCalleePhone.c_str(), strTime.c_str(), static_cast<long long>(llLogNo),
              nCallProcessType, nCidType, nCidWidth, nCidHeight);

    switch (decision.verdict) {
    case CidVerdict::CallEnded:
        RecvCid_CallTerminate(PopupAt(decision.nPopup), decision, strPostData);
        return;
    case CidVerdict::Disabled:
        DBG_LOG_W(L"WARN. 프로그램 사용자 옵션의 '알림창 사용 설정'이 미사용 상태이므로 CID창을 "
                  L"띄우지 않습니다. cid: %d, arsCid: %d",
                  m_options.nEnable, m_options.nEnableArsNoti);
        return;
    case CidVerdict::Reuse:
    case CidVerdict::New:
        break;
    default:
        return;
    }

    const int bFoundSameCid = decision.verdict == CidVerdict::Reuse ? 1 : 0;
    DBG_LOG_W(L"bFoundSameCid=%d", bFoundSameCid);

    // Both taken before the list changes: the decision counts positions in it.
    ICidWindow* pCidDlg = PopupAt(decision.nPopup);
    ICidWindow* pOld = PopupAt(decision.nRemove);
    if (pCidDlg == nullptr) {
        if (decision.bRemoveAll) {
            RemoveAllCidWindow();
        }
        MakeRoomForOne(pOld);
        std::unique_ptr<ICidWindow> pNew = NewPopup(m_pMainFrm);
        pNew->m_nCtc = m_permissions.ctc[strCalleePhone];
        pNew->m_nMsgSend = m_permissions.msgSend[strCalleePhone];
        pNew->m_strCidAlarmUrl = strUrl;
        pNew->m_strPostData = strPostData;
        pNew->m_nPopupType = m_options.nCidType;
        pNew->m_nPosCode = m_options.nCidStartPos;
        pNew->m_nCidOverlap = m_options.nOverlap;
        pNew->m_llLogNo = llLogNo;
        pNew->m_strCallerPhone = strCallerPhone;
        pNew->m_strCalleePhone = strCalleePhone;
        if (nCidType > 0) {
            pNew->m_nPopupType = nCidType;
        }
        pNew->CreateCidWindow();
        pCidDlg = pNew.get();
        m_listCidDlg.push_back(std::move(pNew));
        DBG_LOG_W(L"m_listCidDlg.AddTail(pCidDlg=%0lx), m_listCidDlg.GetCount()=%d",
                  AddressOf(pCidDlg), static_cast<int>(m_listCidDlg.size()));
    }

    pCidDlg->m_nCallResult = decision.nCallResult;
    if (decision.nCallResult == 1) {
        pCidDlg->m_strMsg = strMsg;
        pCidDlg->m_strMsgType = strMsgType;
    }
    pCidDlg->m_nCallProcessType = decision.nCallProcessType;
    pCidDlg->m_nCloseType = m_options.nAutoCloseType;
    pCidDlg->m_nCloseDelayMs = decision.nCloseDelayMs;
    pCidDlg->m_strTime = strTime;

    if (decision.sameCall) {
        m_layout.LogSearch(decision.sameCallSearch, *decision.sameCall);
        if (pOld != nullptr) {
            RemoveCidWindow(pOld);
            DBG_LOG_W(L"Remove Same Cid, %d", pCidDlg->m_nCallResult);
        }
        pCidDlg->m_nCallCnt = decision.nCallCnt;
    }

    DBG_LOG_A("bFoundSameCid=%d", bFoundSameCid);

    if (decision.verdict == CidVerdict::Reuse) {
        pCidDlg->m_strPostData = strPostData;
        pCidDlg->ShowCidInfo(0);
        pCidDlg->SetCidForeground();
        if (decision.bRelayout) {
            RepositionCidWindowAll(0);
        }
    } else {
        m_dwWorkingSetSize = ReadWorkingSet();
        pCidDlg->ShowCidInfo(1);
        // A type of the notification's own is placed in its size from the start.
        PositionCidWindow(pCidDlg, m_listCidDlg.size() == 1 ? 1 : 0,
                          nCidType > 0 ? pCidDlg->m_nPopupType : -1);
    }
    DBG_LOG_A("end");
}

void CCidManagerDlg::OpenSendPopup(const CidDecision& decision, const std::wstring& strUrl,
                                   const std::wstring& strPostData)
{
    m_pSendCidDlg.reset();
    m_pSendCidDlg = NewPopup(nullptr);
    ICidWindow* pSend = m_pSendCidDlg.get();
    pSend->m_strCidAlarmUrl = strUrl;
    pSend->m_strPostData = strPostData;
    pSend->m_nCallResult = 0;
    pSend->m_nCloseType = 2;
    pSend->m_nCloseDelayMs = decision.nCloseDelayMs;
    pSend->CreateCidWindow();
    pSend->SetCidWindowPos(CidZOrder::Top, 0, 0, 382, 202, kCidPosShowWindow);
    pSend->CenterCidWindow();
    pSend->ShowCidInfo(1);
}

ICidWindow* CCidManagerDlg::FindCallCidWindow(int64_t llLogNo) const
{
    return PopupAt(CidFindCallPopup(CidPopupStates(m_listCidDlg), llLogNo));
}

void CCidManagerDlg::RecvCid_CallTerminate(ICidWindow* pCidDlg, const CidDecision& decision,
                                           const std::wstring& strPostData)
{
    if (pCidDlg == nullptr) {
        return;
    }
    pCidDlg->m_strPostData = strPostData;
    pCidDlg->m_nCallResult = decision.nCallResult;
    pCidDlg->ShowCidInfo(0);
    if (pCidDlg->m_nCloseTimer != 0) {
        pCidDlg->KillCidTimer(pCidDlg->m_nCloseTimer);
        pCidDlg->m_nCloseTimer = 0;
    }
    pCidDlg->m_nCloseTimer = pCidDlg->SetCidTimer(kCidCloseTimerId, decision.nCloseDelayMs);
    DBG_LOG_W(L"백설 %d", pCidDlg->m_nCloseTimer);
}

void CCidManagerDlg::OnRecvRecord(const std::wstring& strJson)
{
    Json::Value root;
    if (!ParseJsonText(strJson, root)) {
        return;
    }
    int64_t llLogNo = 0;
    int nRecResult = 0;
    try {
        llLogNo = JsonGetInt64(root, "callLogNo", 0);
        nRecResult = JsonGetInt(root, "recResult", 0);
    } catch (const Json::LogicError& e) {
        DBG_LOG_A("json value error.[%s] %s", WideToAnsi(strJson).c_str(), e.what());
        return;
    }
    ICidWindow* pCidDlg = FindCallCidWindow(llLogNo);
    if (pCidDlg != nullptr && pCidDlg->m_nCallResult != 291) {
        pCidDlg->KillCidTimer(kCidCloseTimerId);
        pCidDlg->m_nCloseTimer = 0;
        pCidDlg->SetRecCid(nRecResult);
    }
}

void CCidManagerDlg::OnRecvSch(const std::wstring& strJson)
{
    DBG_LOG_W(L"%ls", strJson.c_str());
    Json::Value root;
    if (!ParseJsonText(strJson, root)) {
        return;
    }
    const std::wstring strUrl = CidPopupUrl(m_config.strServerUrl, m_config.nServerPort, L"sch");

    ICidWindow* pNone = nullptr;
    MakeRoomForOne(pNone);
    std::unique_ptr<ICidWindow> pNew = NewPopup(m_pMainFrm);
    pNew->m_strCidAlarmUrl = strUrl;
    pNew->m_strPostData = strJson;
    pNew->m_nPopupType = CidScheduleTypeFor(m_options.nCidType);
    pNew->CreateCidWindow();
    ICidWindow* pCidDlg = pNew.get();
    m_listCidDlg.push_back(std::move(pNew));
    pCidDlg->ShowSchInfo();
    PositionCidWindow(pCidDlg, m_listCidDlg.size() == 1 ? 1 : 0, pCidDlg->m_nPopupType);
}

// ---------------------------------------------------------------------------------------------
// Closing

bool CCidManagerDlg::IsListed(const ICidWindow* pCidDlg) const
{
    return std::any_of(m_listCidDlg.begin(), m_listCidDlg.end(),
                       [pCidDlg](const auto& p) { return p.get() == pCidDlg; });
}

ICidWindow* CCidManagerDlg::FindBySerial(CidSerial nSerial) const
{
    if (nSerial == 0) {
        return nullptr;
    }
    if (m_pSendCidDlg && m_pSendCidDlg->m_nSerial == nSerial) {
        return m_pSendCidDlg.get();
    }
    auto it = std::find_if(m_listCidDlg.begin(), m_listCidDlg.end(),
                           [nSerial](const auto& p) { return p->m_nSerial == nSerial; });
    return it != m_listCidDlg.end() ? it->get() : nullptr;
}

void CCidManagerDlg::OnCidClose(CidSerial nSerial)
{
    ICidWindow* pCidDlg = FindBySerial(nSerial);
    if (pCidDlg != nullptr && pCidDlg == m_pSendCidDlg.get()) {
        m_pSendCidDlg->DestroyCidWindow();
        return;
    }
    auto it = std::find_if(m_listCidDlg.begin(), m_listCidDlg.end(),
                           [pCidDlg](const auto& p) { return p.get() == pCidDlg; });
    if (pCidDlg == nullptr || it == m_listCidDlg.end()) {
        RepositionCidWindowAll(0);
        return;
    }
    m_layout.ReleasePairMark(*pCidDlg);
    std::unique_ptr<ICidWindow> pOwned = std::move(*it);
    m_listCidDlg.erase(it);
    DeleteCidWindow(std::move(pOwned), 1);
    RepositionCidWindowAll(0);
}

void CCidManagerDlg::DeleteCidWindow(std::unique_ptr<ICidWindow> pCidDlg, int nTrim)
{
    pCidDlg.reset();
    if (m_listCidDlg.empty() || nTrim != 1) {
        return;
    }
    // Closed pages give their memory back only lazily.
    const uint32_t dwNow = ReadWorkingSet();
    if (static_cast<double>(dwNow) > static_cast<double>(m_dwWorkingSetSize) * 1.1) {
        DBG_LOG_W(L"CCidManagerDlg::DeleteCidWindow Working size init .%u < %u",
                  m_dwWorkingSetSize, dwNow);
        if (m_fnTrimWorkingSet) {
            m_fnTrimWorkingSet();
        } else {
            ::malloc_trim(0);
        }
    }
}

void CCidManagerDlg::RemoveCidWindow(ICidWindow* pCidDlg)
{
    auto it = std::find_if(m_listCidDlg.begin(), m_listCidDlg.end(),
                           [pCidDlg](const auto& p) { return p.get() == pCidDlg; });
    if (it != m_listCidDlg.end()) {
        std::unique_ptr<ICidWindow> pOwned = std::move(*it);
        m_listCidDlg.erase(it);
    }
}

void CCidManagerDlg::RemoveAllCidWindow()
{
    for (auto& p : m_listCidDlg) {
        p.reset();
    }
    m_listCidDlg.clear();
}

uint32_t CCidManagerDlg::ReadWorkingSet() const
{
    return m_fnReadWorkingSet ? m_fnReadWorkingSet() : CidProcessWorkingSet();
}

// ---------------------------------------------------------------------------------------------
// Notices of the popups

void CCidManagerDlg::OnCidOpen(CidSerial nSerial)
{
    const ICidWindow* pCidDlg = FindBySerial(nSerial);
    m_layout.PlaceOpened(pCidDlg, pCidDlg != nullptr);
}

void CCidManagerDlg::OnCidTypeChange(CidSerial nSerial, const CidTypeChange& change)
{
    ICidWindow* pCidDlg = FindBySerial(nSerial);
    if (pCidDlg == nullptr) {
        return; // closed before its notice arrived
    }
    const CidSize row = m_mapCidTypeSize[change.nRequested];
    const int nHeight = change.nHeight.value_or(row.cy);
    const int nWidth = change.nWidth.value_or(row.cx);
    g_DbgLog.GD_DebugPrintNoLocA("[%d][%d][%d]", change.nRequested, nHeight, nWidth);
    m_mapCidTypeSize[change.nNewType] = ClampToWork({nWidth, nHeight});
    PositionCidWindow(pCidDlg, 0, change.nNewType);
}
