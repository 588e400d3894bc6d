#pragma once
#include "popups/CidTimers.h"
#include "popups/CidWindow.h"
#include "bridge/HtmlDialog.h"
#include "logic/ClientConfig.h"

#include <QEvent>
#include <QPointer>
#include <json/value.h>

#include <memory>
#include <string>

// A saved placement: top-left and size in pixels.
struct CidPlaceRect
{
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

// The caller-ID popup: a frameless, always-on-top window with its own taskbar entry that hosts
// one popup page of the service. It never becomes visible before its page has reported ready,
// and it is never activated by being shown or placed.
//
// It never deletes itself: it asks the manager to close it (kCidCloseEvent) or, as the
// outgoing-call popup, destroys its own window. Requests of its page for the main page go to the
// main frame as posted TextMessageEvents.
class CCidDlg : public CHtmlDialog, public ICidWindow
{
    Q_OBJECT
public:
    // pOwner: the main frame the page's requests go to.
    CCidDlg(QWidget* pOwner, QObject* pManager, ClientConfig config);
    ~CCidDlg() override;

    // ICidWindow
    bool CreateCidWindow() override;
    void DestroyCidWindow() override;
    void ShowCidInfo(int nNew) override;
    void ShowSchInfo() override;
    void SetCidWindowPos(CidZOrder insertAfter, int x, int y, int cx, int cy,
                         unsigned nFlags) override;
    void SetRecCid(int nRecResult) override;
    void SendSizeChange(int nType) override;
    bool IsCidWindowVisible() const override;
    CidRect GetCidWindowRect() const override;
    CidSize GetCidClientSize() const override;
    int SetCidTimer(int nIdEvent, int nElapseMs) override;
    void KillCidTimer(int nIdEvent) override;
    void SetCidForeground() override;
    void CenterCidWindow() override;
    void InvalidateCidWindow() override;

    // Page methods.
    void FE_CID_Open();
    void FE_CID_Close();
    void FE_Schedule_Close();
    void FE_CID_Profile_Show(const std::wstring& strArg);
    void FE_CID_Device_Show(const std::wstring& strArg);
    void FE_CID_Call_Send_Start(const std::wstring& strArg);
    void FE_CID_UserMsg(const std::wstring& strArg);
    void FE_Schedule_Schedule_Show(const std::wstring& strArg);
    void FE_CID_Schedule_Show(const std::wstring& strArg);
    void FE_CID_Schedule_Add(const std::wstring& strArg);
    void FE_MAIN_Log(const std::wstring& strArg);
    void FE_CID_Document_Ready();
    void FE_Schedule_Document_Ready();
    void FE_CID_Change_Type(const std::wstring& strArg);
    void FE_CID_Set_Auto_Close_Timeout(const std::wstring& strArg);
    std::wstring FE_CID_Get_ClientVersion();

    // Cancel (Esc, a close command): ask the manager to close the popup.
    void OnCancel();

    int m_nReadyTimer = 0;
    int m_nSlideTimer = 0;   // -1 once a slide has ended
    int m_nShowState = 0;    // 0 page not ready, 1 ready (next placement shows), -1 shown
    int m_nRecResult = -1;
    double m_dSlideY = 0.0;
    CidZOrder m_pWndInsertAfter = CidZOrder::None;
    CidPlaceRect m_rcPos;
    unsigned m_nPosFlags = 0;
    bool IsWindowDestroyed() const { return m_bDestroyed; }
    // The main frame the page's requests go to.
    QWidget* MainFrame() const;

protected:
    void OnDocumentComplete(const std::wstring& strUrl, bool bOk) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void timerEvent(QTimerEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

public:
    // Refuses to show the window before its page is ready or after it was destroyed.
    void setVisible(bool bVisible) override;

private:
    void PostToManager(QEvent::Type type);
    // pszMethod: the page method's "Class::Method", which the log line names.
    void Forward(const wchar_t* pszMethod, int nMessage, const std::wstring& strArg,
                 bool bForeground);
    void CloseRequest(const wchar_t* pszMethod);
    void FunctionCallW2E(const wchar_t* pszName, const std::wstring& strArg,
                         StatusCallback done = {});
    void CallResultChange(const Json::Value& callInfo, StatusCallback done);
    void SendAuth();
    void OnSlideTimer();
    void OnCloseTimer(bool bReady);
    // Moves, sizes and shows the window as a placement with these flags asks; the show state
    // decides whether it may become visible.
    void ApplyWindowPos(int x, int y, int cx, int cy, unsigned nFlags);
    void SetNoActivate(bool bOn);
    bool HasNoActivate() const { return m_bNoActivate; }
    void UpdateShape();

    QPointer<QWidget> m_pOwner;
    ClientConfig m_config;
    CCidTimers m_timers{this};
    bool m_bNoActivate = true;
    bool m_bDestroyed = false;
    bool m_bAllowShow = false;
};
