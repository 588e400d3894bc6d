#pragma once
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QTimer;

// Icon and tip of the tray icon for a login state.
struct TrayLook
{
    int nIconId;
    QString strTip;
};
TrayLook TrayLookFor(bool bLogin, bool bServerDisconnected);

// The client's notification-area icon with its menu.
class CTrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit CTrayIcon(QObject* parent = nullptr);
    ~CTrayIcon() override;

    void Create();
    void Update(bool bLogin, bool bServerDisconnected);
    void Remove();

    int IconId() const { return m_nIconId; }
    int AddedCount() const { return m_nAddedCount; }
    QString Tip() const;
    QMenu* Menu() const { return m_pMenu; }
    QAction* LogoutAction() const { return m_pLogout; }
    QAction* ExitAction() const { return m_pExit; }

signals:
    void ShowFrameRequested();
    void MenuAboutToShow();
    void LogoutChosen();
    void ExitChosen();
    // A tray host appeared after the icon was added (the shell restarted).
    void TrayHostAppeared();

private:
    void Add(int nIconId, const QString& strTip);

    QSystemTrayIcon* m_pIcon = nullptr;
    QMenu* m_pMenu = nullptr;
    QAction* m_pLogout = nullptr;
    QAction* m_pExit = nullptr;
    QTimer* m_pHostWatch = nullptr;
    bool m_bHostSeen = false;
    int m_nIconId = 0;
    int m_nAddedCount = 0;
};
