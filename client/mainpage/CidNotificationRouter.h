#pragma once
#include "logic/ClientConfig.h"

#include <string>

class CCidManagerDlg;

// Turns the main page's call, message, recording and schedule notifications into posted
// requests for the popup manager.
class CCidNotificationRouter
{
public:
    explicit CCidNotificationRouter(ClientConfig config) : m_config(std::move(config)) {}

    // Null until the manager exists; nothing is posted then.
    void SetCidManager(CCidManagerDlg* pManager) { m_pCidManager = pManager; }
    CCidManagerDlg* CidManager() const { return m_pCidManager; }

    // nKind: a CidNotiKind. None of these throws, whatever the text.
    void PostCidNotification(int nKind, const std::wstring& strArg, const std::wstring& strLoginSession);
    void PostRecordNotification(const std::wstring& strArg);
    void PostScheduleNotification(const std::wstring& strArg, const std::wstring& strLoginSession);

private:
    void TryPostCidNotification(int nKind, const std::wstring& strArg,
                                const std::wstring& strLoginSession);

    ClientConfig m_config;
    CCidManagerDlg* m_pCidManager = nullptr;
};
