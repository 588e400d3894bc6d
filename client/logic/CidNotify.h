#pragma once
#include "logic/CidRequest.h"

#include <json/value.h>

#include <memory>
#include <optional>
#include <string>

// Turning the main page's call, message and schedule notifications into what the popup manager
// receives. No window involved: the main page window's handlers call these and post the result.

enum class CidNotiKind
{
    CallSend,  // FE_MAIN_Call_Send_Noti
    CallRecv,  // FE_MAIN_Call_Recv_Noti
    MsgRecv,   // FE_MAIN_Msg_Recv_Noti
};

// What the handlers read besides the notification itself.
struct CidNotifyContext
{
    std::wstring strServerUrl;
    int nServerPort = -1;
    std::wstring strLoginSession;
    // The manager's current display type; only a message carries it, and only when the manager
    // exists.
    std::optional<int> nManagerCidType;
};

// The display size a call notification reports for its type ("cidTypeInfo").
struct CidTypeInfo
{
    int nCidType = 0;
    int nHeight = 0;
    int nWidth = 0;
};

struct CidNotifyResult
{
    bool bParsed = false;
    CidTypeInfo typeInfo;
    // Null when the text did not parse or a value does not fit its request field.
    std::unique_ptr<CidRequest> pRequest;
    // The field that did not fit, its length and its room (characters), when the request was
    // dropped for it.
    std::wstring strTooLongField;
    size_t nTooLongLength = 0;
    size_t nTooLongRoom = 0;
};

// Address of a popup page: "address:port/path" with a port of 1 or more, else "address/path".
std::wstring CidPopupUrl(const std::wstring& strServerUrl, int nServerPort, const wchar_t* pszPath);

// Post data of a call ("CALL") or message ("MSG") popup, in the styled writer's rendering.
std::wstring CidPostData(const Json::Value& notification, const char* pszKind,
                         std::optional<int> nCidType, const std::wstring& strLoginSession);

// Parses and reads a call or message notification. A value too long for its request field drops
// the whole request (the caller logs it): a popup with a cut number or message would show the
// user something the service never sent. Throws Json::LogicError for a member that cannot be
// converted.
CidNotifyResult MakeCidRequest(CidNotiKind kind, const std::wstring& strArg,
                               const CidNotifyContext& context);

// A schedule notification with "loginSession" set, rendered; empty when the text does not parse.
std::optional<std::wstring> MakeScheduleText(const std::wstring& strArg,
                                             const std::wstring& strLoginSession);
