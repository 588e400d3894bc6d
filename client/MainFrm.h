#pragma once
#include "CustomFrame.h"
#include "MainPageWindow.h"

#include <functional>
#include <memory>

class CTrayIcon;
class IMessagePrompt;
class IProcessMessenger;

// The client's top-level frame. Main role: owns the main page window, the popup manager and the
// tray icon, hides to the tray while a user is logged in, relays popup requests to the page and
// comes forward when a second client starts. Alert role: hosts one alert window.
class CMainFrm : public CCustomFrame
{
    Q_OBJECT
public:
    // How the main role gets its parts; tests hand in fakes.
    struct Parts
    {
        std::function<std::unique_ptr<IMainPageWindow>(CMainFrm*)> createMainPage;
        std::function<std::unique_ptr<IFramePopupManager>(CMainFrm*)> createPopupManager;
        // Alert role: the alert window for an address, hosted by the frame.
        std::function<QWidget*(CMainFrm*, const QString& url, int width, int height)> createAlert;
        // Ends the process once the main frame is gone (the event loop's quit by default).
        std::function<void()> endProcess;
        IProcessMessenger* pMessenger = nullptr;
        IMessagePrompt* pPrompt = nullptr;
    };

    explicit CMainFrm(Parts parts, int nPlaceState = 1);
    ~CMainFrm() override;

    // The application's main frame (main role), or null.
    static CMainFrm* AppMainFrame();
    static void SetAppMainFrame(CMainFrm* pFrame);

    // Creation: lock, messenger, parts. Returns false when creation failed.
    bool OnCreate();

    void CreateTrayIcon();
    void UpdateTrayIcon();
    void RemoveTrayIcon();

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
    bool IsMainRole() const { return m_pMainDlg != nullptr; }
    QString SenderId() const;

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

    Parts m_parts;
    std::unique_ptr<IMainPageWindow> m_pMainDlg;
    std::unique_ptr<IFramePopupManager> m_pCidManagerDlg;
    QWidget* m_pNotiDlg = nullptr;
    std::unique_ptr<CTrayIcon> m_pTrayIcon;
    int m_bShowFrame = 0;
    bool m_bDestroying = false;
};
