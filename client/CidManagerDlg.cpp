#include "CidManagerDlg.h"

#include "CidEvents.h"
#include "Orvanta.h"
#include "DbgLog.h"
#include "JsonText.h"
#include "TextConv.h"

#include <QGuiApplication>
#include <QScreen>

#include <json/value.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <limits>
#include <optional>

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

bool SameNumbers(const ICidWindow& p, const std::wstring& strCaller, const std::wstring& strCallee)
{
    return p.m_strCallerPhone == strCaller && p.m_strCalleePhone == strCallee;
}

bool IsScheduleType(int nType)
{
    return nType == 41 || nType == 43;
}

bool IsLargeType(int nType)
{
    return nType == 23 || nType == 24;
}

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

CCidManagerDlg::CCidManagerDlg(ICidWindowFactory& factory, QObject* pParent)
    : QObject(pParent), m_factory(factory)
{
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
    switch (static_cast<int>(pEvent->type())) {
    case kCidOpenEvent:
        OnCidOpen(static_cast<CidWindowEvent*>(pEvent)->Window());
        return true;
    case kCidCloseEvent:
        OnCidClose(static_cast<CidWindowEvent*>(pEvent)->Window());
        return true;
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
    const int nOldType = m_nCidType;
    const int nOldOverlap = m_nOverlap;
    const int nOldStartPos = m_nCidStartPos;
    const int nOldAutoCloseType = m_nAutoCloseType;

    m_nEnable = option.nEnable;
    m_nEnableArsNoti = option.nEnableArsNoti;
    m_nCidType = option.nType;
    m_mapCidTypeSize[option.nType] = {option.nWidth, option.nHeight};
    m_nOverlap = option.nOverlap;
    m_nAutoCloseType = option.nAutoCloseType;
    m_nAutoCloseTime = option.nAutoCloseTime;

    if (option.strPosition == "RB") {
        m_nCidStartPos = kCidPosRightBottom;
    } else if (option.strPosition == "RT") {
        m_nCidStartPos = kCidPosRightTop;
    } else if (option.strPosition == "LB") {
        m_nCidStartPos = kCidPosLeftBottom;
    } else if (option.strPosition == "LT") {
        m_nCidStartPos = kCidPosLeftTop;
    }

    if (m_listCidDlg.empty()) {
        return;
    }
    // A new size alone waits for the next placement.
    const bool bLayoutChanged = nOldType != m_nCidType || nOldOverlap != m_nOverlap ||
                                nOldStartPos != m_nCidStartPos;
    if (!bLayoutChanged && nOldAutoCloseType == 0 && m_nAutoCloseType == 0) {
        return;
    }
    if (m_nCidType == 10 && nOldType != 10) {
        while (m_listCidDlg.size() > 1) {
            m_listCidDlg.pop_front();
        }
    }
    int nFlags = 0;
    if (bLayoutChanged) {
        nFlags |= kCidReplace;
    }
    if (nOldAutoCloseType != 0 || m_nAutoCloseType != 0) {
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
        m_mapCidTypeSize[row.nType] = {row.nWidth, row.nHeight};
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Requests

void CCidManagerDlg::OnRecvCid(std::unique_ptr<CidRequest> pRequest)
{
    if (!pRequest) {
        return;
    }
    const std::wstring strUrl = pRequest->szUrl;
    const std::wstring strPostData = pRequest->szPostData;
    const std::wstring strCallerPhone = pRequest->szCallerPhone;
    const std::wstring strTeleCode = pRequest->szTeleCode;
    const std::wstring strCalleePhone = pRequest->szCalleePhone;
    const std::wstring strTime = pRequest->szTime;
    const std::wstring strNotiFlag = pRequest->szNotiFlag;
    const std::wstring strMsg = pRequest->szMsg;
    const std::wstring strMsgType = pRequest->szMsgType;
    const int64_t llLogNo = pRequest->llLogNo;
    int nCallResult = pRequest->nCallResult;
    int nCallProcessType = pRequest->nCallProcessType;
    const int nRecFlag = pRequest->nRecFlag;
    const int nCidType = pRequest->nCidType;
    const int nCidHeight = pRequest->nCidHeight;
    const int nCidWidth = pRequest->nCidWidth;
    pRequest.reset();

    if (EqualsNoCase(strNotiFlag, L"START")) {
        DBG_LOG_W(L"call send popup strUrl: %ls, strPostData: %ls, strCallerPhone: %ls, "
                  L"strTeleCode: %ls, strCalleePhone: %ls, strCallTime: %ls, llLogNo: %lld",
                  strUrl.c_str(), strPostData.c_str(), strCallerPhone.c_str(),
                  strTeleCode.c_str(), strCalleePhone.c_str(), strTime.c_str(),
                  static_cast<long long>(llLogNo));
        m_pSendCidDlg.reset();
        m_pSendCidDlg = m_factory.NewCidWindow(nullptr, this);
        ICidWindow* pSend = m_pSendCidDlg.get();
        pSend->m_strCidAlarmUrl = strUrl;
        pSend->m_strPostData = strPostData;
        pSend->m_nCallResult = 0;
        pSend->m_nCloseType = 2;
        pSend->m_nCloseDelayMs = 3000;
        pSend->CreateCidWindow();
        pSend->SetCidWindowPos(CidZOrder::Top, 0, 0, 382, 202, kCidPosShowWindow);
        pSend->CenterCidWindow();
        pSend->ShowCidInfo(1);
        return;
    }

    DBG_LOG_W(L"strUrl: %ls, strPostData: %ls, strCallerPhone: %ls, strTeleCode: %ls\t\t\t  , "
              L"strCalleePhone: %ls, strTime: %ls, llLogNo: %lld, nCallProcessType:%d\t\t\t  , "
              L"CIDTYPE(%d):(%d, %d)",
              strUrl.c_str(), strPostData.c_str(), strCallerPhone.c_str(), strTeleCode.c_str(),
              strCalleePhone.c_str(), strTime.c_str(), static_cast<long long>(llLogNo),
              nCallProcessType, nCidType, nCidWidth, nCidHeight);

    if (nCallResult == 291) {
        RecvCid_CallTerminate(llLogNo, strPostData);
        return;
    }
    if (!IsKnownCallResult(nCallResult)) {
        nCallResult = 111;
    }

    const bool bShown = (m_nEnable == 1 && nCallProcessType != 1) ||
                        (nCallProcessType == 1 && (nCallResult == 1 || m_nEnableArsNoti == 1));
    if (!bShown) {
        DBG_LOG_W(L"WARN. 프로그램 사용자 옵션의 '알림창 사용 설정'이 미사용 상태이므로 CID창을 "
                  L"띄우지 않습니다. cid: %d, arsCid: %d",
                  m_nEnable, m_nEnableArsNoti);
        return;
    }

    ICidWindow* pFound = nullptr;
    if (nCallProcessType != 0 && nRecFlag > 0) {
        // A recorded ARS call is shown as an ordinary call of its own.
        nCallProcessType = 0;
    } else {
        pFound = FindLastCidWindow(strCallerPhone, strCalleePhone, nCallResult, llLogNo);
    }

    if (pFound != nullptr && pFound->m_llLogNo == llLogNo &&
        ((nCallResult == 101 && pFound->m_nCallResult != 101) ||
         (nCallResult == 201 && pFound->m_nCallResult != 201))) {
        return;
    }
    if (pFound == nullptr && nCallProcessType > 0 && nCallResult != 101 && nCallResult != 102 &&
        nCallResult != 109 && nCallResult != 111 && nCallResult != 407) {
        return;
    }

    const int bFoundSameCid = pFound != nullptr ? 1 : 0;
    DBG_LOG_W(L"bFoundSameCid=%d", bFoundSameCid);

    ICidWindow* pCidDlg = pFound;
    if (pCidDlg == nullptr) {
        if (m_nCidType == 10) {
            RemoveAllCidWindow();
        }
        std::unique_ptr<ICidWindow> pNew = m_factory.NewCidWindow(m_pMainFrm, this);
        pNew->m_nCtc = m_mapAllowCtc[strCalleePhone];
        pNew->m_nMsgSend = m_mapAllowMsgSend[strCalleePhone];
        pNew->m_strCidAlarmUrl = strUrl;
        pNew->m_strPostData = strPostData;
        pNew->m_nPopupType = m_nCidType;
        pNew->m_nPosCode = m_nCidStartPos;
        pNew->m_nCidOverlap = m_nOverlap;
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

    int nDelaySec = 0;
    if (nCallResult == 1) {
        pCidDlg->m_nCallResult = 1;
        pCidDlg->m_strMsg = strMsg;
        pCidDlg->m_strMsgType = strMsgType;
        if (m_nAutoCloseType == 2) {
            nDelaySec = m_nAutoCloseTime;
        }
    } else {
        pCidDlg->m_nCallResult = nCallResult;
        if (m_nAutoCloseType == 2) {
            nDelaySec = m_nAutoCloseTime;
        } else if ((nCallResult == 200 && nRecFlag <= 0) || nCallResult == 201 ||
                   nCallProcessType == 1) {
            nDelaySec = m_nAutoCloseTime;
        }
    }
    pCidDlg->m_nCallProcessType = nCallProcessType;
    pCidDlg->m_nCloseType = m_nAutoCloseType;
    pCidDlg->m_nCloseDelayMs = nDelaySec * 1000;
    pCidDlg->m_strTime = strTime;

    bool bReposition = false;
    const int nState = pCidDlg->m_nCallResult;
    if (nCallProcessType != 1 && nState != 200 && nState != 201 && nState != 291) {
        bReposition = true;
        ICidWindow* pOld = FindCidWindow(0, strCallerPhone, strCalleePhone, nCallResult, llLogNo,
                                         pCidDlg, 0, 0);
        if (pOld != nullptr && m_nCidType != 10) {
            const int nOldCount = pOld->m_nCallCnt;
            RemoveCidWindow(pOld);
            DBG_LOG_W(L"Remove Same Cid, %d", pCidDlg->m_nCallResult);
            pCidDlg->m_nCallCnt = nOldCount + 1;
        } else {
            pCidDlg->m_nCallCnt = 1;
        }
    }

    DBG_LOG_A("bFoundSameCid=%d", bFoundSameCid);

    if (pFound != nullptr) {
        pCidDlg->m_strPostData = strPostData;
        pCidDlg->ShowCidInfo(0);
        pCidDlg->SetCidForeground();
        if (bReposition) {
            RepositionCidWindowAll(0);
        }
    } else {
        m_dwWorkingSetSize = ReadWorkingSet();
        pCidDlg->ShowCidInfo(1);
        PositionCidWindow(pCidDlg, m_listCidDlg.size() == 1 ? 1 : 0, -1);
    }
    DBG_LOG_A("end");
}

ICidWindow* CCidManagerDlg::FindLastCidWindow(const std::wstring& strCaller,
                                              const std::wstring& strCallee, int nCallResult,
                                              int64_t llLogNo)
{
    for (auto it = m_listCidDlg.rbegin(); it != m_listCidDlg.rend(); ++it) {
        ICidWindow& p = **it;
        if (nCallResult == 1) {
            if (p.m_nCallResult == 1 && SameNumbers(p, strCaller, strCallee)) {
                return &p;
            }
        } else if (p.m_nCallProcessType == 1) {
            if (p.m_llLogNo == llLogNo) {
                return &p;
            }
        } else if (SameNumbers(p, strCaller, strCallee) && StatesFit(p.m_nCallResult, nCallResult)) {
            return &p;
        } else if (p.m_llLogNo == llLogNo && p.m_nCallResult != 201 && nCallResult == 201) {
            return &p;
        }
    }
    return nullptr;
}

ICidWindow* CCidManagerDlg::FindCidWindow(int nCidDisplayMode, const std::wstring& strCaller,
                                          const std::wstring& strCallee, int nCallResult,
                                          int64_t llLogNo, const ICidWindow* pStop, int nCidType,
                                          int nCallProcessType)
{
    DBG_LOG_A("CCidManagerDlg::FindCidWindow() start. nCidDisplayMode=%d, nCallResult=%d, "
              "_strCallerPhone=%s, strCallerPhone=%s, nCallProcessType=%d",
              nCidDisplayMode, nCallResult, WideToAnsi(strCallee).c_str(),
              WideToAnsi(strCaller).c_str(), nCallProcessType);
    for (const auto& pItem : m_listCidDlg) {
        ICidWindow& p = *pItem;
        DBG_LOG_A("CCidManagerDlg::FindCidWindow() m_nCallResult=%d, m_nCallProcessType=%d",
                  p.m_nCallResult, p.m_nCallProcessType);
        bool bStop = false;
        bool bMatch = false;
        if (&p == pStop) {
            bStop = true;
        } else if (nCidType == 10 && m_nCidType == 10) {
            bMatch = true;
        } else if (nCidDisplayMode == 0) {
            if (nCallResult == 1) {
                bMatch = p.m_nCallResult == 1 && SameNumbers(p, strCaller, strCallee);
            } else if (p.m_nCallProcessType == 1) {
                bMatch = p.m_llLogNo == llLogNo;
            } else {
                bMatch = SameNumbers(p, strCaller, strCallee) &&
                         StatesFit(p.m_nCallResult, nCallResult);
            }
        } else if (nCidDisplayMode == 1) {
            bool bCandidate = false;
            if (nCallResult == 1) {
                bCandidate = p.m_nCallResult == 1;
            } else {
                bCandidate = (p.m_nCallResult == nCallResult && p.m_nCallProcessType != 1 &&
                              nCallProcessType != 1) ||
                             (p.m_nCallProcessType == 1 && nCallProcessType == 1);
            }
            // Compared with the candidate's own type, so a search by type finds popups of that
            // form and the search with type 0 finds any form.
            bMatch = bCandidate && (nCidType == 0 || nCidType == p.m_nPopupType);
        }
        if (bStop || bMatch) {
            DBG_LOG_A("CCidManagerDlg::FindCidWindow() m_nCallResult=%d, m_nCallProcessType=%d",
                      p.m_nCallResult, p.m_nCallProcessType);
            return bMatch ? &p : nullptr;
        }
    }
    return nullptr;
}

ICidWindow* CCidManagerDlg::FindCallCidWindow(int64_t llLogNo)
{
    for (const auto& pItem : m_listCidDlg) {
        if (pItem->m_nCallProcessType == 0 && pItem->m_nCallResult != 1 &&
            pItem->m_llLogNo == llLogNo) {
            return pItem.get();
        }
    }
    return nullptr;
}

void CCidManagerDlg::RecvCid_CallTerminate(int64_t llLogNo, const std::wstring& strPostData)
{
    ICidWindow* pCidDlg = FindCallCidWindow(llLogNo);
    if (pCidDlg == nullptr) {
        return;
    }
    pCidDlg->m_strPostData = strPostData;
    pCidDlg->m_nCallResult = 291;
    pCidDlg->ShowCidInfo(0);
    if (pCidDlg->m_nCloseTimer != 0) {
        pCidDlg->KillCidTimer(pCidDlg->m_nCloseTimer);
        pCidDlg->m_nCloseTimer = 0;
    }
    // An ended call always goes away after a while, whatever the options say.
    pCidDlg->m_nCloseTimer = pCidDlg->SetCidTimer(kCidCloseTimerId, 10000);
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
    std::wstring strUrl;
    if (const COrvantaApp* pApp = COrvantaApp::Instance()) {
        strUrl = pApp->m_strServerUrl;
        if (pApp->m_nServerPort >= 1) {
            strUrl += L":" + std::to_wstring(pApp->m_nServerPort);
        }
    }
    strUrl += L"/sch";

    std::unique_ptr<ICidWindow> pNew = m_factory.NewCidWindow(m_pMainFrm, this);
    pNew->m_strCidAlarmUrl = strUrl;
    pNew->m_strPostData = strJson;
    pNew->m_nPopupType = IsLargeType(m_nCidType) ? 43 : 41;
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

void CCidManagerDlg::OnCidClose(ICidWindow* pCidDlg)
{
    if (pCidDlg != nullptr && pCidDlg == m_pSendCidDlg.get()) {
        m_pSendCidDlg->DestroyCidWindow();
        return;
    }
    auto it = std::find_if(m_listCidDlg.begin(), m_listCidDlg.end(),
                           [pCidDlg](const auto& p) { return p.get() == pCidDlg; });
    if (it == m_listCidDlg.end()) {
        RepositionCidWindowAll(0);
        return;
    }
    if (m_nOverlap == 1 && (pCidDlg->m_nPopupType == 22 || pCidDlg->m_nPopupType == 24)) {
        // The popup it lay on gives up its pair mark unless another opened popup still lies there.
        ICidWindow* pBelow = FindCidWindow(1, pCidDlg->m_strCallerPhone, pCidDlg->m_strCalleePhone,
                                           pCidDlg->m_nCallResult, pCidDlg->m_llLogNo, pCidDlg,
                                           pCidDlg->m_nPopupType, 0);
        if (pBelow == nullptr) {
            pBelow = FindCidWindow(1, pCidDlg->m_strCallerPhone, pCidDlg->m_strCalleePhone,
                                   pCidDlg->m_nCallResult, pCidDlg->m_llLogNo, pCidDlg, 0, 0);
            if (pBelow != nullptr) {
                pBelow->m_nOverlapMark = 0;
            }
        }
    }
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
// Placement

CidScreenInfo CCidManagerDlg::ReadScreen() const
{
    if (m_fnScreen) {
        return m_fnScreen();
    }
    CidScreenInfo info;
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    if (pScreen != nullptr) {
        const QRect rc = pScreen->availableGeometry();
        info.rcWork = {rc.x(), rc.y(), rc.x() + rc.width(), rc.y() + rc.height()};
        info.nDpiY = static_cast<int>(pScreen->logicalDotsPerInchY());
    }
    return info;
}

void CCidManagerDlg::PositionCidWindow(ICidWindow* pCidDlg, int bInitPosition, int nType)
{
    ICidWindow& p = *pCidDlg;
    // The type whose size the popup takes; an overlap search looks for popups of that form.
    int nSizeType = m_nCidType;
    if (p.m_nCallProcessType == 1) {
        nSizeType = p.m_nPopupType;
    } else if (nType >= 0) {
        nSizeType = nType;
    }
    CidSize size;
    if (nType < 0 && p.IsCidWindowVisible()) {
        size = p.GetCidClientSize();
    } else {
        size = m_mapCidTypeSize[nSizeType];
    }
    if (m_listCidDlg.size() == 1) {
        bInitPosition = 1;
    }

    bool bOverlap = false;
    if (m_nOverlap == 1) {
        bOverlap = true;
    } else if (m_nCidType == 10) {
        bOverlap = bInitPosition == 0;
    }
    if (bOverlap && PlaceOverlapped(pCidDlg, nSizeType, size)) {
        return;
    }

    if (bInitPosition != 0) {
        const CidScreenInfo screen = ReadScreen();
        const CidRect& rc = screen.rcWork;
        DBG_LOG_A("CCIDDlgManager::PositionCidWindow() bInitPosition ==> rcDesktop -> left=%d, "
                  "top=%d, right=%d, bottom=%d, width()=%d, height()=%d, nDpiY=%d",
                  rc.left, rc.top, rc.right, rc.bottom, rc.Width(), rc.Height(), screen.nDpiY);
        CidResetAtCorner(m_place, rc, m_nCidStartPos, size);
    } else {
        DBG_LOG_W(L"old Position => m_ptCidLast=(%d, %d), m_ptCidCurrent=(%d, %d), "
                  L"m_sizeCidLast=(%d, %d), m_sizeDesktop=(%d, %d)",
                  m_place.ptCidLast.x, m_place.ptCidLast.y, m_place.ptCidCurrent.x,
                  m_place.ptCidCurrent.y, m_place.sizeCidLast.cx, m_place.sizeCidLast.cy,
                  m_place.sizeDesktop.cx, m_place.sizeDesktop.cy);
        CidStackNext(m_place, m_nCidStartPos, size);
    }

    DBG_LOG_W(L"신규 Position => m_nCidStartPos=%d, m_ptCidStart=(%d, %d), "
              L"m_ptCidCurrent=(%d, %d), m_sizeCid=(%d, %d)",
              m_nCidStartPos, m_place.ptCidStart.x, m_place.ptCidStart.y, m_place.ptCidCurrent.x,
              m_place.ptCidCurrent.y, size.cx, size.cy);
    p.SetCidWindowPos(CidZOrder::Top, m_place.ptCidCurrent.x, m_place.ptCidCurrent.y, size.cx,
                      size.cy, kCidPosShowWindow);
    CidRecordPlaced(m_place, size);
    // The opened popup that will lie on this one reaches above it by the difference of the
    // two forms' heights; moving the stack's last point up by that much keeps the next popup
    // clear of it.
    if (m_nOverlap == 1 && p.m_nOverlapMark != 0 && IsBottomCorner(m_nCidStartPos) &&
        (nType == 21 || nType == 23)) {
        CidMakeRoomForOpened(m_place, m_mapCidTypeSize, nType);
    }
}

bool CCidManagerDlg::PlaceOverlapped(ICidWindow* pCidDlg, int nSizeType, CidSize size)
{
    ICidWindow& p = *pCidDlg;
    if (m_nCidType != 0) {
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
    const CidPoint pt = CidOverlapOnto(m_place, m_mapCidTypeSize, pBelow->GetCidWindowRect(),
                                       pBelow->m_nPopupType, pBelow->m_nOverlapMark, nSizeType,
                                       m_nCidStartPos);
    p.SetCidWindowPos(CidZOrder::Top, pt.x, pt.y, size.cx, size.cy, kCidPosShowWindow);
    return true;
}

void CCidManagerDlg::RepositionCidWindowAll(int nFlags)
{
    int bInitPosition = 1;
    for (const auto& pItem : m_listCidDlg) {
        ICidWindow& p = *pItem;
        if (!p.IsCidWindowVisible()) {
            continue;
        }
        p.m_nCidOverlap = m_nOverlap;
        p.m_nPosCode = m_nCidStartPos;
        int nType = m_nCidType;
        if (IsScheduleType(p.m_nPopupType)) {
            nType = IsLargeType(m_nCidType) ? 43 : 41;
        }
        if ((nFlags & kCidReplace) != 0 && p.m_nCallProcessType != 1) {
            p.m_nPopupType = nType;
            PositionCidWindow(&p, bInitPosition, nType);
        } else {
            if (p.m_nCallProcessType == 1) {
                p.m_nPopupType = nType == 10 ? 10 : (IsLargeType(nType) ? 33 : 31);
            }
            PositionCidWindow(&p, bInitPosition, p.m_nPopupType);
        }
        p.SendSizeChange(nType);
        p.InvalidateCidWindow();

        if ((nFlags & kCidRetime) != 0) {
            int nDelaySec = m_nAutoCloseType == 2 ? m_nAutoCloseTime : 0;
            if (p.m_nCallResult != 1 && (p.m_nCallResult == 200 || p.m_nCallResult == 291)) {
                nDelaySec = 0;
            }
            // Only popups that had no delay of their own get the new one; running timers stay.
            if (p.m_nCloseType == 1 && nDelaySec > 0 && m_nAutoCloseType == 2) {
                p.KillCidTimer(kCidCloseTimerId);
                p.m_nCloseTimer = 0;
                DBG_LOG_W(L"change close time : %d", nDelaySec);
                p.m_nCloseTimer = p.SetCidTimer(kCidCloseTimerId, nDelaySec * 1000);
            }
            p.m_nCloseType = m_nAutoCloseType;
        }
        bInitPosition = 0;
    }
}

void CCidManagerDlg::OnCidOpen(ICidWindow* pCidDlg)
{
    // A notice from a popup that is gone by now must not be read.
    const bool bKnown = IsListed(pCidDlg) || (pCidDlg != nullptr && pCidDlg == m_pSendCidDlg.get());
    int bInitPosition = 1;
    int bPaired = 0;
    for (const auto& pItem : m_listCidDlg) {
        ICidWindow& p = *pItem;
        if (&p == pCidDlg) {
            const int nOpenedType = m_nCidType == 21 ? 22 : (m_nCidType == 23 ? 24 : 0);
            if (nOpenedType != 0) {
                p.m_nPopupType = nOpenedType;
                if (bPaired == 0 && m_nOverlap == 1) {
                    p.m_nOverlapMark = 1;
                    bPaired = 1;
                }
                PositionCidWindow(&p, bInitPosition, nOpenedType);
            }
        } else {
            if (bKnown && bPaired == 0 && m_nOverlap == 1 &&
                FindCidWindow(1, pCidDlg->m_strCallerPhone, pCidDlg->m_strCalleePhone,
                              pCidDlg->m_nCallResult, pCidDlg->m_llLogNo, pCidDlg, 0, 0) == &p) {
                p.m_nOverlapMark = 1;
                bPaired = 1;
            }
            PositionCidWindow(&p, bInitPosition, p.m_nPopupType);
        }
        bInitPosition = 0;
    }
}
