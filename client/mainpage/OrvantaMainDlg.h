#pragma once
#include "bridge/HtmlDialog.h"
#include "logic/ClientConfig.h"
#include "mainpage/AlertFrames.h"
#include "mainpage/CidNotificationRouter.h"
#include "mainpage/MainPageHost.h"
#include "mainpage/MainPageLoader.h"
#include "mainpage/MainPageWindow.h"

#include <QColor>
#include <atomic>
#include <list>

class CCidManagerDlg;
class CStartupEntries;
class IMessagePrompt;

// The window hosting the service's main page: loads it from a worker, keeps the login state,
// owns the alert frames and relays popup requests to the page.
class COrvantaMainDlg : public CHtmlDialog, public IMainPageWindow, private IMainPageLoadTarget
{
    Q_OBJECT
public:
    // pHost: the main frame (null in tests that need none); openAlert makes the alert frames.
    COrvantaMainDlg(IMainPageHost* pHost, ClientConfig config, CStartupEntries& startup,
                    IMessagePrompt& prompt, AlertFrameOpener openAlert = {});
    ~COrvantaMainDlg() override;

    bool OnInitDialog();

    // IMainPageWindow
    QWidget* Widget() override { return this; }
    bool IsLogin() const override { return m_bLogin != 0; }
    bool IsServerDisconnected() const override { return m_bConnected == 0; }
    QString GetLoginSession() const override { return QString::fromStdWString(m_strLoginSession); }
    void RelayToPage(Relay relay, const QString& text) override;
    void WI_MAIN_Logout(const QString& session, std::function<void()> done) override;
    void SaveFrameRect(std::function<void()> done) override;
    void SetLastPosition(int x, int y) override;
    void SetLastSize(int width, int height) override;

    // The popup manager the page's settings go to; null until it exists.
    void SetCidManager(CCidManagerDlg* pManager)
    {
        m_pCidManager = pManager;
        m_router.SetCidManager(pManager);
    }
    CCidManagerDlg* CidManager() const { return m_pCidManager; }

    // Page methods.
    void FE_MAIN_Login(const std::wstring& strArg);
    void FE_MAIN_Logout(const std::wstring& strArg);
    void FE_MAIN_LoginSession_ConnectState(const std::wstring& strArg);
    void FE_MAIN_UserAlert(const std::wstring& strArg);
    void FE_MAIN_Log(const std::wstring& strArg);
    void FE_MAIN_Document_Ready(const std::wstring& strArg);
    void FE_MAIN_UserPhone_List_Noti(const std::wstring& strArg);
    bool FE_MAIN_Foreground(const std::wstring& strArg);
    void FE_MAIN_CidOpt_Change(const std::wstring& strArg);
    std::wstring FE_CID_Get_ClientVersion();

    // Call, message, recording and schedule notifications for the popup manager.
    void FE_MAIN_Call_Send_Noti(const std::wstring& strArg);
    void FE_MAIN_Call_Recv_Noti(const std::wstring& strArg);
    void FE_MAIN_Msg_Recv_Noti(const std::wstring& strArg);
    void FE_MAIN_Call_Record_Noti(const std::wstring& strArg);
    void FE_MAIN_SchR_Recv_Noti(const std::wstring& strArg);
    void FE_MAIN_SchC_Recv_Noti(const std::wstring& strArg);

    void LoadProgramData();
    void WI_Get_ProgramData(TextCallback done);
    void WI_Set_ProgramData(int nX, int nY, int nWidth, int nHeight, StatusCallback done = {});

    void OnLogin();
    void OnLogout();
    void OnDeleteAlertFrm(QWidget* pFrame);
    void RemoveAllAlertFrm();
    const std::list<QPointer<QWidget>>& AlertFrames() const { return m_alerts.Frames(); }

    // One GET of the page address; any HTTP status counts as an answer.
    static bool CheckNetwork(const std::wstring& strUrl);

    const std::wstring& MainUrl() const { return m_strMainUrl; }
    int RetryCount() const { return m_loader.RetryCount(); }
    int BorderReports() const { return m_loader.BorderReports(); }
    int PositionReports() const { return m_loader.PositionReports(); }
    int BorderSize() const { return m_nBorderSize; }
    QRect LastFrameRect() const { return QRect(m_nLastX, m_nLastY, m_nLastWidth, m_nLastHeight); }
    QColor BorderColor() const { return m_clrBorder; }

protected:
    bool event(QEvent* pEvent) override;

private:
    // IMainPageLoadTarget: the loading worker's steps.
    bool IsNetworkUp(const std::wstring& strUrl) override { return CheckNetwork(strUrl); }
    void NavigateMainPage(const std::wstring& strUrl) override;
    std::wstring MainPageLocation() override { return GetLocationURL(); }
    int MainPageReadyState() override { return static_cast<int>(GetReadyState()); }
    void ShowMainFrame(bool bCenter, bool bDefault) override;
    bool IsCenterMainFrame() override { return m_bCenterMainFrame != 0; }
    void GiveUp() override;

    QRect NearestScreenArea(const QRect& rect) const;
    // The work area alerts must fit in: the main frame's screen's.
    QRect NearestWorkArea() const;
    void CallRelay(const wchar_t* pszName, const std::wstring& strText, bool bLogEmptyEntry,
                   StatusCallback done);

    IMainPageHost* m_pHost;
    ClientConfig m_config;
    CStartupEntries& m_startup;
    IMessagePrompt& m_prompt;
    AlertFrameOpener m_openAlert;
    CCidManagerDlg* m_pCidManager = nullptr;
    CCidNotificationRouter m_router;

    int m_bLogin = 0;
    int m_bConnected = 1;
    std::wstring m_strLoginSession;
    std::wstring m_strMainUrl;
    std::atomic<int> m_nLastX{0};
    std::atomic<int> m_nLastY{0};
    std::atomic<int> m_nLastWidth{1100};
    std::atomic<int> m_nLastHeight{801};
    std::atomic<int> m_bCenterMainFrame{1};
    QColor m_clrBorder{0, 0, 0};
    int m_nTitleHeight = 0;
    int m_nBorderSize = 0;
    CAlertFrames m_alerts;
    // Last: the worker stops before anything it uses goes away.
    CMainPageLoader m_loader{*this};
};
