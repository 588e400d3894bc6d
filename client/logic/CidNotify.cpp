#include "logic/CidNotify.h"

#include "logic/JsonText.h"

#include <cwchar>
#include <cwctype>

namespace {

bool EqualsNoCase(const std::wstring& a, const wchar_t* b)
{
    const size_t n = std::wcslen(b);
    if (a.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) {
            return false;
        }
    }
    return true;
}

CidTypeInfo ReadCidTypeInfo(const Json::Value& root)
{
    CidTypeInfo info;
    if (const Json::Value* pInfo = JsonGetObject(root, "cidTypeInfo")) {
        info.nCidType = JsonGetInt(*pInfo, "cidType", 0);
        info.nHeight = JsonGetInt(*pInfo, "height", 0);
        info.nWidth = JsonGetInt(*pInfo, "width", 0);
    }
    return info;
}

// Copies whole values only; the first that does not fit is remembered and ends the copying.
class FieldWriter
{
public:
    explicit FieldWriter(CidNotifyResult& result) : m_result(result) {}

    template <size_t N>
    void Set(wchar_t (&field)[N], const std::wstring& strText, const wchar_t* pszName)
    {
        if (!m_result.strTooLongField.empty()) {
            return;
        }
        if (strText.size() > N - 1) {
            m_result.strTooLongField = pszName;
            m_result.nTooLongLength = strText.size();
            m_result.nTooLongRoom = N - 1;
            return;
        }
        SetCidText(field, strText);
    }
    bool Ok() const { return m_result.strTooLongField.empty(); }

private:
    CidNotifyResult& m_result;
};

}  // namespace

std::wstring CidPopupUrl(const std::wstring& strServerUrl, int nServerPort, const wchar_t* pszPath)
{
    if (nServerPort >= 1) {
        return strServerUrl + L":" + std::to_wstring(nServerPort) + L"/" + pszPath;
    }
    return strServerUrl + L"/" + pszPath;
}

std::wstring CidPostData(const Json::Value& notification, const char* pszKind,
                         std::optional<int> nCidType, const std::wstring& strLoginSession)
{
    Json::Value post(Json::objectValue);
    post["callInfo"] = notification;
    post["cidKind"] = pszKind;
    if (nCidType) {
        post["cidType"] = *nCidType;
    }
    post["loginSession"] = JsonTextValue(strLoginSession);
    return StyledJsonText(post);
}

CidNotifyResult MakeCidRequest(CidNotiKind kind, const std::wstring& strArg,
                               const CidNotifyContext& context)
{
    CidNotifyResult result;
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        return result;
    }
    result.bParsed = true;

    // The keys in the order the notification defines them.
    int64_t llLogNo = 0;
    std::wstring strUserPhone, strTeleCode, strPeerPhone, strNotiFlag, strTime, strMsg, strMsgType;
    int nCallResult = -1;
    int nRecFlag = -1;
    int nCallProcessType = 0;
    if (kind == CidNotiKind::MsgRecv) {
        llLogNo = JsonGetInt64(root, "msgLogNo", 0);
        strUserPhone = JsonGetText(root, "userPhone");
        strTeleCode = JsonGetText(root, "teleCode");
        strPeerPhone = JsonGetText(root, "peerPhone");
        strMsg = JsonGetText(root, "msg");
        strMsgType = JsonGetText(root, "msgType");
        strTime = JsonGetText(root, "resultTime");
        nCallResult = 1;
    } else {
        llLogNo = JsonGetInt64(root, "callLogNo", 0);
        strUserPhone = JsonGetText(root, "userPhone");
        strTeleCode = JsonGetText(root, "teleCode");
        strPeerPhone = JsonGetText(root, "peerPhone");
        nCallResult = JsonGetInt(root, "callResult", 0);
        if (kind == CidNotiKind::CallSend) {
            strNotiFlag = JsonGetText(root, "notiFlag");
        }
        strTime = JsonGetText(root, "callTime");
        if (kind == CidNotiKind::CallRecv) {
            JsonGetInt(root, "terminator", 0);  // only the popup page reads these, in "callInfo"
            JsonGetInt(root, "duration", 0);
            nCallProcessType = JsonGetInt(root, "callProcessType", 0);
        }
        nRecFlag = JsonGetInt(root, "recFlag", -1);
        if (kind == CidNotiKind::CallRecv || !EqualsNoCase(strNotiFlag, L"START")) {
            result.typeInfo = ReadCidTypeInfo(root);
        }
    }

    auto pRequest = std::make_unique<CidRequest>();
    pRequest->llLogNo = llLogNo;
    FieldWriter writer(result);
    writer.Set(pRequest->szUrl, CidPopupUrl(context.strServerUrl, context.nServerPort, L"cid"), L"szUrl");
    if (kind == CidNotiKind::MsgRecv) {
        writer.Set(pRequest->szPostData, CidPostData(root, "MSG", context.nManagerCidType,
                                                     context.strLoginSession), L"szPostData");
    } else {
        writer.Set(pRequest->szPostData, CidPostData(root, "CALL", std::nullopt,
                                                     context.strLoginSession), L"szPostData");
    }
    writer.Set(pRequest->szCalleePhone, strUserPhone, L"szCalleePhone");
    writer.Set(pRequest->szTeleCode, strTeleCode, L"szTeleCode");
    writer.Set(pRequest->szCallerPhone, strPeerPhone, L"szCallerPhone");
    writer.Set(pRequest->szTime, strTime, L"szTime");
    if (kind == CidNotiKind::MsgRecv) {
        writer.Set(pRequest->szMsg, strMsg, L"szMsg");
        writer.Set(pRequest->szMsgType, strMsgType, L"szMsgType");
    } else if (kind == CidNotiKind::CallSend) {
        writer.Set(pRequest->szNotiFlag, strNotiFlag, L"szNotiFlag");
    }
    if (!writer.Ok()) {
        return result;
    }
    pRequest->nCallResult = nCallResult;
    if (kind != CidNotiKind::MsgRecv) {
        pRequest->nRecFlag = nRecFlag;
        pRequest->nCallProcessType = nCallProcessType;
        pRequest->nCidType = result.typeInfo.nCidType;
        pRequest->nCidHeight = result.typeInfo.nHeight;
        pRequest->nCidWidth = result.typeInfo.nWidth;
    }
    result.pRequest = std::move(pRequest);
    return result;
}

std::optional<std::wstring> MakeScheduleText(const std::wstring& strArg,
                                             const std::wstring& strLoginSession)
{
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        return std::nullopt;
    }
    Json::Value copy = root;
    copy["loginSession"] = JsonTextValue(strLoginSession);
    return StyledJsonText(copy);
}
