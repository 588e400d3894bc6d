#pragma once
#include <json/value.h>

#include <optional>
#include <string>

// What a popup window reads from its page and the arguments it sends back. The reads throw
// Json::LogicError where the JsonGet* reads do (JsonText.h).

// FE_CID_Change_Type: the type the page asks for (the current one when it names none or a
// negative one), the type the popup takes (a schedule popup stays a schedule popup, of the size
// class asked for) and the sides the page gave.
struct CidTypeChange
{
    int nRequested = 0;
    int nNewType = 0;
    std::optional<int> nWidth;
    std::optional<int> nHeight;
};
CidTypeChange CidTypeChangeFromPage(const Json::Value& root, int nCurrentType);

// FE_CID_Set_Auto_Close_Timeout: whether the close timer runs (default: whether it runs now)
// and the delay (default: the current one), bounded as CidCloseDelayMs bounds it.
struct CidAutoClose
{
    bool bAutoClose = false;
    int nSeconds = 0;
    int nDelayMs = 0;
};
CidAutoClose CidAutoCloseFromPage(const Json::Value& root, bool bTimerRuns, int nCurrentDelayMs);

// The "callInfo" member of the data posted to the popup page; null when there is none.
Json::Value CidCallInfoOf(const Json::Value& postData);

// The page function that tells a popup page its display type, and its argument.
struct CidPageCall
{
    const wchar_t* pszFunction;
    Json::Value arg;
};
CidPageCall CidSizeChangeCall(int nType);

// Arguments of WI_CID_CallResult_Change for a call and for a message, of WI_CID_Set_Auth and
// of WI_CID_Record_Noti.
Json::Value CidCallArg(const Json::Value& callInfo, int nCallCnt, const std::wstring& strTime);
Json::Value CidMessageArg(const std::wstring& strMsg, const std::wstring& strTime);
Json::Value CidAuthArg(int nCtc, int nMsgSend);
Json::Value CidRecordArg(int nRecResult);
