#include "logic/CidPageText.h"

#include "logic/CidDecision.h"
#include "logic/CidPlacement.h"
#include "logic/JsonText.h"

namespace {

int CallInfoInt(const Json::Value& callInfo, const char* pszKey, int nDefault)
{
    return callInfo.isObject() ? JsonGetInt(callInfo, pszKey, nDefault) : nDefault;
}

std::optional<int> OptionalInt(const Json::Value& root, const char* pszKey)
{
    if (!root.isMember(pszKey)) {
        return std::nullopt;
    }
    return JsonGetInt(root, pszKey, 0);
}

} // namespace

CidTypeChange CidTypeChangeFromPage(const Json::Value& root, int nCurrentType)
{
    CidTypeChange change;
    change.nRequested = JsonGetInt(root, "cidType", nCurrentType);
    if (change.nRequested < 0) {
        change.nRequested = nCurrentType;
    }
    change.nHeight = OptionalInt(root, "height");
    change.nWidth = OptionalInt(root, "width");
    change.nNewType = change.nRequested;
    if (IsCidScheduleType(nCurrentType)) {
        change.nNewType = CidScheduleTypeFor(change.nRequested);
    }
    return change;
}

CidAutoClose CidAutoCloseFromPage(const Json::Value& root, bool bTimerRuns, int nCurrentDelayMs)
{
    CidAutoClose result;
    result.bAutoClose = JsonGetBool(root, "isAutoClose", bTimerRuns);
    result.nSeconds = nCurrentDelayMs / 1000;
    result.nDelayMs = nCurrentDelayMs;
    if (root.isMember("autoCloseTime")) {
        result.nSeconds = JsonGetInt(root, "autoCloseTime", 0);
        result.nDelayMs = CidCloseDelayMs(result.nSeconds);
    }
    return result;
}

Json::Value CidCallInfoOf(const Json::Value& postData)
{
    return postData.isObject() ? postData.get("callInfo", Json::Value()) : Json::Value();
}

CidPageCall CidSizeChangeCall(int nType)
{
    Json::Value size(Json::objectValue);
    if (IsCidScheduleType(nType)) {
        size["bigSize"] = nType == 43 ? 1 : 0;
        return {L"WI_Schedule_Size_Change", size};
    }
    size["cidKind"] = "SIZE";
    size["cidType"] = nType;
    return {L"WI_CID_CallResult_Change", size};
}

Json::Value CidCallArg(const Json::Value& callInfo, int nCallCnt, const std::wstring& strTime)
{
    Json::Value call(Json::objectValue);
    call["cidKind"] = "CALL";
    call["callInfo"] = callInfo;
    call["callCnt"] = nCallCnt;
    call["callResult"] = CallInfoInt(callInfo, "callResult", 0);
    call["recFlag"] = CallInfoInt(callInfo, "recFlag", -1);
    call["callTime"] = JsonTextValue(strTime);
    return call;
}

Json::Value CidMessageArg(const std::wstring& strMsg, const std::wstring& strTime)
{
    Json::Value msg(Json::objectValue);
    msg["cidKind"] = "MSG";
    msg["msg"] = JsonTextValue(strMsg);
    msg["msgTime"] = JsonTextValue(strTime);
    return msg;
}

Json::Value CidAuthArg(int nCtc, int nMsgSend)
{
    Json::Value auth(Json::objectValue);
    auth["ctc"] = nCtc;
    auth["msgSend"] = nMsgSend;
    return auth;
}

Json::Value CidRecordArg(int nRecResult)
{
    Json::Value rec(Json::objectValue);
    rec["recResult"] = nRecResult;
    return rec;
}
