#include "shell/TrayIcon.h"

#include "shell/ClientResources.h"
#include "ResourceIds.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QTimer>

TrayLook TrayLookFor(bool bLogin, bool bServerDisconnected)
{
    const QString product = QStringLiteral("라벤토");
    if (!bLogin) {
        return {IDI_TRAY_LOGOUT, product + QStringLiteral(" - 로그아웃")};
    }
    QString tip = product + QStringLiteral(" - 로그인");
    if (bServerDisconnected) {
        tip += QStringLiteral("(서버접속끊김)");
    }
    return {IDI_TRAY_LOGIN, tip};
}

CTrayIcon::CTrayIcon(QObject* parent) : QObject(parent)
{
    EnsureClientResources();
}

CTrayIcon::~CTrayIcon()
{
    Remove();
}

void CTrayIcon::Create()
{
    if (m_pIcon != nullptr) {
        return;
    }
    m_pIcon = new QSystemTrayIcon(this);
    m_pMenu = new QMenu();
    m_pLogout = m_pMenu->addAction(QStringLiteral("로그아웃"));
    m_pExit = m_pMenu->addAction(QStringLiteral("종료"));
    m_pIcon->setContextMenu(m_pMenu);
    connect(m_pMenu, &QMenu::aboutToShow, this, &CTrayIcon::MenuAboutToShow);
    connect(m_pLogout, &QAction::triggered, this, &CTrayIcon::LogoutChosen);
    connect(m_pExit, &QAction::triggered, this, &CTrayIcon::ExitChosen);
    connect(m_pIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A tray that reports only single clicks gets the double click's meaning for them.
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
            emit ShowFrameRequested();
        }
    });

    // Watch for a tray host that starts (or restarts) after us.
    m_bHostSeen = QSystemTrayIcon::isSystemTrayAvailable();
    m_pHostWatch = new QTimer(this);
    m_pHostWatch->setInterval(2000);
    connect(m_pHostWatch, &QTimer::timeout, this, [this] {
        const bool available = QSystemTrayIcon::isSystemTrayAvailable();
        if (available && !m_bHostSeen) {
            emit TrayHostAppeared();
        }
        m_bHostSeen = available;
    });
    m_pHostWatch->start();

    const TrayLook look = TrayLookFor(false, false);
    Add(look.nIconId, look.strTip);
}

void CTrayIcon::Add(int nIconId, const QString& strTip)
{
    m_pIcon->setIcon(QIcon(ResourcePath(nIconId)));
    m_pIcon->setToolTip(strTip.left(127));
    m_pIcon->show();
    m_nIconId = nIconId;
    ++m_nAddedCount;
}

void CTrayIcon::Update(bool bLogin, bool bServerDisconnected)
{
    if (m_pIcon == nullptr) {
        return;
    }
    if (m_pIcon->isVisible()) {
        m_pIcon->hide();
        --m_nAddedCount;
    }
    const TrayLook look = TrayLookFor(bLogin, bServerDisconnected);
    Add(look.nIconId, look.strTip);
}

void CTrayIcon::Remove()
{
    if (m_pIcon == nullptr) {
        return;
    }
    m_pIcon->hide();
    m_nAddedCount = 0;
    delete m_pIcon;
    m_pIcon = nullptr;
    delete m_pMenu;
    m_pMenu = nullptr;
    delete m_pHostWatch;
    m_pHostWatch = nullptr;
}

QString CTrayIcon::Tip() const
{
    return m_pIcon != nullptr ? m_pIcon->toolTip() : QString();
}
