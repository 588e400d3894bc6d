#pragma once
#include "shell/CustomFrame.h"
#include "mainpage/MainPageHost.h"
#include "mainpage/MainPageWindow.h"

#include <functional>
#include <memory>

class CTrayIcon;
class IMessagePrompt;
class IProcessMessenger;

// The client's top-level frame. Main role: owns the main page window, the popup manager and the
// tray icon, hides to the tray while a user is logged in, relays popup requests to the page and
// comes forward when a second client starts. Alert role: hosts one alert window.
class CMainFrm : public CCustomFrame, public IMainPageHost
{
    Q_OBJECT
public:
    enum class Role
    {
        Main,   // the client's one main frame: lock, tray icon, main page window, popups
        Alert,  // hosts one alert window
    };

    // How the main role gets its parts; tests hand in fakes.
    struct Parts
    {
        std::function<std::unique_ptr<IMainPageWindow>(CMainFrm*)> createMainPage;
        std::function<std::unique_ptr<IFramePopupManager>(CMainFrm*)> createPopupManager;
        // Alert role: the alert window for an address, hosted by the frame.
        std::function<QWidget*(CMainFrm*, const QString& url, int width, int height)> createAlert;
        // Alert role: where the frame's close button sends its request to be deleted.
        QObject* pAlertOwner = nullptr;
        // Main role: takes the single-instance lock; false when another client holds it.
        std::function<bool()> takeInstanceLock;
        // Ends the process once the main frame is gone (the event loop's quit by default).
        std::function<void()> endProcess;
        IProcessMessenger* pMessenger = nullptr;
        IMessagePrompt* pPrompt = nullptr;
    };

    CMainFrm(Role role, Parts parts, int nPlaceState = 1);
    ~CMainFrm() override;

    // Creation: lock, messenger, parts. Returns false when creation failed.
    bool OnCreate();

    void CreateTrayIcon();
    void RemoveTrayIcon();

    // Opens an alert frame (an AlertFrameOpener): hidden until its page has loaded, centred.
    static QWidget* OpenAlertFrame(const QString& strUrl, int nWidth, int nHeight,
                                   const QColor& clrBorder, int nTitleHeight, QObject* pAlertOwner);

    // Alert role.
    void ShowAlert(const QString& url, int nWidth, int nHeight, const QColor& clrBorder,
                   int nTitleHeight);

    // Shutdown sequence; the frame deletes itself afterwards, the main frame ends the process.
    void DestroyWindow();

    bool OnFrameButtonDown(QPoint ptScreen) override;
    void CloseFrame() override;

    // Shows the frame where it is and brings it to the front.
    void RaiseFrame();

    IMainPageWindow* MainDlg() const { return m_pMainDlg.get(); }
    IFramePopupManager* CidManager() const { return m_pCidManagerDlg.get(); }
    QWidget* NotiDlg() const { return m_pNotiDlg; }
    CTrayIcon* TrayIcon() const { return m_pTrayIcon.get(); }
    bool IsShowFrame() const { return m_bShowFrame != 0; }
    bool IsMainRole() const { return m_role == Role::Main; }
    QString SenderId() const;

    // IMainPageHost
    QWidget* HostWidget() override { return this; }
    void UpdateTrayIcon() override;
    void ApplyFrameLook(const QColor& clrBorder, int nTitleHeight, int nBorderSize) override;
    void ApplyMinTrackSize(QSize size) override;
    void PlaceFrame(const QRect& rect, bool bCenter) override;
    void ShowFromTray() override { OnTrayShow(); }
    void MinimizeFrame() override { showMinimized(); }
    bool IsFrameShownNormally() const override { return isVisible() && !isMinimized(); }
    QRect NearestScreenArea(const QRect& rect) const override;
    QRect NearestWorkArea(const QRect& rect) const override;

    void OnMenuLogout();
    void OnMenuExit();
    void OnTrayShow();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void OnFrameResized() override;
    void OnFrameMoved() override;

private:
    void LayoutHostedWindow();
    void OnDuplicateProcess(const QString& sender);
    void FinishDestroy();

    Role m_role;
    Parts m_parts;
    std::unique_ptr<IMainPageWindow> m_pMainDlg;
    std::unique_ptr<IFramePopupManager> m_pCidManagerDlg;
    QWidget* m_pNotiDlg = nullptr;
    std::unique_ptr<CTrayIcon> m_pTrayIcon;
    int m_bShowFrame = 0;
    bool m_bDestroying = false;
};
