#pragma once
#include "HtmlDialog.h"
#include "MainPageWindow.h"
#include "WaitableEvents.h"

#include <QColor>
#include <QPointer>
#include <atomic>
#include <list>
#include <memory>
#include <thread>

class CCidManagerDlg;
class CMainFrm;
class CStartupEntries;
class IMessagePrompt;

// The window hosting the service's main page: loads it from a worker, keeps the login state,
// owns the alert frames and relays popup requests to the page.
class COrvantaMainDlg : public CHtmlDialog, public IMainPageWindow
{
    Q_OBJECT
public:
    COrvantaMainDlg(CMainFrm* pMainFrm, CStartupEntries& startup, IMessagePrompt& prompt);
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
    void SetCidManager(CCidManagerDlg* pManager) { m_pCidManager = pManager; }
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
    void OnDeleteAlertFrm(CMainFrm* pFrame);
    void RemoveAllAlertFrm();
    const std::list<QPointer<CMainFrm>>& AlertFrames() const { return m_listAlertFrm; }

    // One GET of the page address; any HTTP status counts as an answer.
    static bool CheckNetwork(const std::wstring& strUrl);

    const std::wstring& MainUrl() const { return m_strMainUrl; }
    int RetryCount() const { return m_nRetryCount; }
    QColor BorderColor() const { return m_clrBorder; }

protected:
    bool event(QEvent* pEvent) override;

private:
    void MainPosInitThread();
    void ShowMainFrame(bool bCenter);
    void GiveUp();
    void CallRelay(const wchar_t* pszName, const std::wstring& strText, bool bLogEmptyEntry,
                   StatusCallback done);
    void SignalEvent(int nIndex);
    void PostCidNotification(int nKind, const std::wstring& strArg);
    void PostScheduleNotification(const std::wstring& strArg);

    enum { kBorderEvent = 0, kPosEvent = 1 };

    CMainFrm* m_pMainFrm;
    CStartupEntries& m_startup;
    IMessagePrompt& m_prompt;
    CCidManagerDlg* m_pCidManager = nullptr;

    int m_bLogin = 0;
    int m_bConnected = 1;
    std::wstring m_strLoginSession;
    std::wstring m_strMainUrl;
    int m_nRetryCount = 0;
    std::thread m_hPosInitThread;
    CWaitableEvents m_events{2};  // border, position
    std::atomic<int> m_nLastX{0};
    std::atomic<int> m_nLastY{0};
    std::atomic<int> m_nLastWidth{1100};
    std::atomic<int> m_nLastHeight{801};
    std::atomic<int> m_bCenterMainFrame{1};
    QColor m_clrBorder{0, 0, 0};
    int m_nTitleHeight = 0;
    int m_nBorderSize = 0;
    std::list<QPointer<CMainFrm>> m_listAlertFrm;
};
