#include "mainpage/CidNotificationRouter.h"

#include "diag/DbgLog.h"
#include "logic/CidNotify.h"
#include "popups/CidEvents.h"
#include "popups/CidManagerDlg.h"

#include <exception>

void CCidNotificationRouter::PostCidNotification(int nKind, const std::wstring& strArg,
                                                 const std::wstring& strLoginSession)
{
    // Page text of any shape ends here at the latest; the handler returns to the page.
    try {
        TryPostCidNotification(nKind, strArg, strLoginSession);
    } catch (const std::exception&) {
        DBG_LOG_AS_W(L"COrvantaMainDlg::PostCidNotification", L"OrvantaMainDlg",
                     L"json type error.[%ls]", strArg.c_str());
    }
}

void CCidNotificationRouter::TryPostCidNotification(int nKind, const std::wstring& strArg,
                                                    const std::wstring& strLoginSession)
{
    CidNotifyContext context;
    context.strServerUrl = m_config.strServerUrl;
    context.nServerPort = m_config.nServerPort;
    context.strLoginSession = strLoginSession;
    if (m_pCidManager != nullptr) {
        context.nManagerCidType = m_pCidManager->CidType();
    }
    CidNotifyResult result = MakeCidRequest(static_cast<CidNotiKind>(nKind), strArg, context);
    if (!result.bParsed) {
        return;
    }
    // The size the page reports applies to every later popup of that type, so it is stored even
    // when this request goes no further.
    if (result.typeInfo.nCidType > 0 && m_pCidManager != nullptr) {
        m_pCidManager->SetCidTypeSize(result.typeInfo.nCidType,
                                      {result.typeInfo.nWidth, result.typeInfo.nHeight});
    }
    if (!result.pRequest) {
        DBG_LOG_AS_W(L"COrvantaMainDlg::PostCidNotification", L"OrvantaMainDlg",
                     L"request dropped: %ls holds %d characters, room for %d",
                     result.strTooLongField.c_str(), static_cast<int>(result.nTooLongLength),
                     static_cast<int>(result.nTooLongRoom));
        return;
    }
    if (m_pCidManager != nullptr) {
        PostCidRequest(m_pCidManager, std::move(result.pRequest));
    }
}

void CCidNotificationRouter::PostRecordNotification(const std::wstring& strArg)
{
    if (m_pCidManager != nullptr) {
        PostCidText(m_pCidManager, kCidRecordEvent, strArg);
    }
}

void CCidNotificationRouter::PostScheduleNotification(const std::wstring& strArg,
                                                      const std::wstring& strLoginSession)
{
    std::optional<std::wstring> text;
    try {
        text = MakeScheduleText(strArg, strLoginSession);
    } catch (const std::exception&) {
        DBG_LOG_AS_W(L"COrvantaMainDlg::PostScheduleNotification", L"OrvantaMainDlg",
                     L"json type error.[%ls]", strArg.c_str());
        return;
    }
    if (text && m_pCidManager != nullptr) {
        PostCidText(m_pCidManager, kCidScheduleEvent, std::move(*text));
    }
}
