#include "shell/MainFrm.h"

#include "diag/DbgLog.h"
#include "logic/FrameMessages.h"
#include "mainpage/NotiDlg.h"
#include "shell/MessagePrompt.h"
#include "platform/ProgramNames.h"
#include "shell/Screens.h"
#include "platform/ProcessMessenger.h"
#include "shell/TrayIcon.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <unistd.h>
#include <vector>

namespace {
std::vector<CMainFrm*> s_frames;  // every frame of this process, for the duplicate message

// A page that does not answer must not keep the client from ending.
constexpr int kPageCallGraceMs = 3000;

void RunOnceWithin(QObject* context, int ms, std::function<void(std::function<void()>)> start,
                   std::function<void()> then)
{
    auto fired = std::make_shared<bool>(false);
    auto once = [fired, then] {
        if (!*fired) {
            *fired = true;
            then();
        }
    };
    QTimer::singleShot(ms, context, once);
    start(once);
}
}  // namespace

CMainFrm::CMainFrm(Role role, Parts parts, int nPlaceState)
    : CCustomFrame(nPlaceState), m_role(role), m_parts(std::move(parts))
{
    setWindowTitle(QStringLiteral("라벤토"));
    s_frames.push_back(this);
}

CMainFrm::~CMainFrm()
{
    s_frames.erase(std::remove(s_frames.begin(), s_frames.end(), this), s_frames.end());
    // Hosted windows go before the parts they may call.
    delete m_pNotiDlg;
    m_pMainDlg.reset();
    m_pCidManagerDlg.reset();
}

QString CMainFrm::SenderId() const
{
    return QStringLiteral("%1:%2").arg(::getpid()).arg(reinterpret_cast<quintptr>(this), 0, 16);
}

bool CMainFrm::OnCreate()
{
    const bool bMainRole = IsMainRole();
    bool bDuplicate = false;

    // Only the main frame takes the lock: an alert frame of the same process would find it
    // taken by its own client and close itself.
    if (bMainRole) {
        if (!m_parts.takeInstanceLock || !m_parts.takeInstanceLock()) {
            if (m_parts.pMessenger != nullptr) {
                m_parts.pMessenger->Send(QString::fromLatin1(kDuplicateProcessMessage), SenderId());
            }
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            bDuplicate = true;
        } else if (m_parts.pMessenger != nullptr) {
            m_parts.pMessenger->Serve([](const QString& message, const QString& sender) {
                if (message != QString::fromLatin1(kDuplicateProcessMessage)) {
                    return;
                }
                const std::vector<CMainFrm*> frames = s_frames;
                for (CMainFrm* pFrame : frames) {
                    pFrame->OnDuplicateProcess(sender);
                }
            });
        }
    }

    // A duplicate only hands over and ends: starting a browser and a tray icon for a frame
    // that closes at once would only keep the user waiting.
    if (bMainRole && !bDuplicate && m_pMainDlg == nullptr && m_parts.createMainPage) {
        m_pMainDlg = m_parts.createMainPage(this);
    }
    if (m_pMainDlg != nullptr) {
        m_bShowFrame = 1;
        m_bSysButtons = 1;
        CreateTrayIcon();
        if (m_parts.createPopupManager) {
            m_pCidManagerDlg = m_parts.createPopupManager(this);
        }
        m_pMainDlg->Widget()->setParent(this);
        LayoutHostedWindow();
        m_pMainDlg->Widget()->show();
    } else if (m_pNotiDlg != nullptr) {
        m_bSysButtons = 0;
        m_pNotiDlg->setParent(this);
        LayoutHostedWindow();
        m_pNotiDlg->show();
    }
    return true;
}

void CMainFrm::OnDuplicateProcess(const QString& sender)
{
    if (sender == SenderId()) {
        return;
    }
    // A frame hidden to the tray stays hidden.
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

void CMainFrm::LayoutHostedWindow()
{
    const QRect rect = HostedWindowRect(size(), m_nBorderSize, m_nTitleHeight);
    for (QWidget* hosted : {m_pMainDlg ? m_pMainDlg->Widget() : nullptr, m_pNotiDlg}) {
        if (hosted != nullptr) {
            hosted->setGeometry(rect);
            hosted->update();
        }
    }
}

void CMainFrm::OnFrameResized()
{
    // Until the page has placed the frame its size is nobody's choice; keep the defaults.
    if (m_pMainDlg != nullptr && PlaceState() != 0) {
        m_pMainDlg->SetLastSize(width(), height());
    }
    LayoutHostedWindow();
}

void CMainFrm::OnFrameMoved()
{
    if (m_pMainDlg != nullptr && PlaceState() != 0) {
        m_pMainDlg->SetLastPosition(x(), y());
    }
}

void CMainFrm::CreateTrayIcon()
{
    if (m_pTrayIcon != nullptr) {
        return;
    }
    m_pTrayIcon = std::make_unique<CTrayIcon>();
    connect(m_pTrayIcon.get(), &CTrayIcon::ShowFrameRequested, this, &CMainFrm::OnTrayShow);
    connect(m_pTrayIcon.get(), &CTrayIcon::LogoutChosen, this, &CMainFrm::OnMenuLogout);
    connect(m_pTrayIcon.get(), &CTrayIcon::ExitChosen, this, &CMainFrm::OnMenuExit);
    connect(m_pTrayIcon.get(), &CTrayIcon::TrayHostAppeared, this, &CMainFrm::UpdateTrayIcon);
    connect(m_pTrayIcon.get(), &CTrayIcon::MenuAboutToShow, this, [this] {
        m_pTrayIcon->ExitAction()->setEnabled(true);
        m_pTrayIcon->LogoutAction()->setEnabled(m_pMainDlg != nullptr && m_pMainDlg->IsLogin());
    });
    m_pTrayIcon->Create();
}

void CMainFrm::UpdateTrayIcon()
{
    if (m_pTrayIcon != nullptr && m_pMainDlg != nullptr) {
        m_pTrayIcon->Update(m_pMainDlg->IsLogin(), m_pMainDlg->IsServerDisconnected());
        // Support sees in the log what the user saw in the tray.
        DBG_LOG_W(L"tray icon %d, tip %ls", m_pTrayIcon->IconId(),
                  m_pTrayIcon->Tip().toStdWString().c_str());
    }
}

void CMainFrm::RemoveTrayIcon()
{
    m_pTrayIcon.reset();
}

void CMainFrm::OnTrayShow()
{
    m_bShowFrame = 1;
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

void CMainFrm::RaiseFrame()
{
    m_bShowFrame = 1;
    show();
    raise();
    activateWindow();
}

void CMainFrm::OnMenuLogout()
{
    if (m_parts.pPrompt == nullptr ||
        !m_parts.pPrompt->AskYesNo(kProductName, L"로그아웃 하겠습니까?")) {
        return;
    }
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->WI_MAIN_Logout(m_pMainDlg->GetLoginSession(), [] {});
    }
}

void CMainFrm::OnMenuExit()
{
    const std::wstring question = L"'" + std::wstring(kProductName) + L"' 프로그램을 종료하겠습니까?";
    if (m_parts.pPrompt == nullptr || !m_parts.pPrompt->AskYesNo(kProductName, question)) {
        return;
    }
    if (m_pMainDlg != nullptr && m_pMainDlg->IsLogin()) {
        const QString session = m_pMainDlg->GetLoginSession();
        RunOnceWithin(
            this, kPageCallGraceMs,
            [this, session](std::function<void()> done) { m_pMainDlg->WI_MAIN_Logout(session, done); },
            [this] { CloseFrame(); });
        return;
    }
    CloseFrame();
}

bool CMainFrm::OnFrameButtonDown(QPoint ptScreen)
{
    if (HitFrameZone(m_zones, ptScreen) != FrameZone::CloseButton) {
        return CCustomFrame::OnFrameButtonDown(ptScreen);
    }
    ClearHover();
    if (m_pMainDlg != nullptr) {
        if (m_pMainDlg->IsLogin()) {
            m_bShowFrame = 0;
            hide();
        } else {
            CloseFrame();
        }
    } else if (m_pNotiDlg != nullptr && m_parts.pAlertOwner != nullptr) {
        QCoreApplication::postEvent(m_parts.pAlertOwner, new AlertFrameEvent(this));
    }
    return false;
}

void CMainFrm::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (m_pMainDlg != nullptr && m_pMainDlg->IsLogin()) {
        m_bShowFrame = 0;
        m_bMaximized = 0;
        hide();
        return;
    }
    CloseFrame();
}

void CMainFrm::CloseFrame()
{
    DestroyWindow();
}

void CMainFrm::DestroyWindow()
{
    if (m_bDestroying) {
        return;
    }
    m_bDestroying = true;
    if (m_pMainDlg == nullptr) {
        FinishDestroy();
        return;
    }
    if (m_pCidManagerDlg != nullptr) {
        m_pCidManagerDlg->RemoveAllCidWindow();
    }
    const bool bSave = PlaceState() != 0 && !IsFrameMaximized();
    if (!bSave) {
        FinishDestroy();
        return;
    }
    RunOnceWithin(
        this, kPageCallGraceMs,
        [this](std::function<void()> done) { m_pMainDlg->SaveFrameRect(done); },
        [this] { FinishDestroy(); });
}

void CMainFrm::FinishDestroy()
{
    RemoveTrayIcon();
    const bool bEndsProcess = IsMainRole();
    hide();
    deleteLater();
    if (bEndsProcess) {
        m_parts.endProcess ? m_parts.endProcess() : QCoreApplication::quit();
    }
}

QWidget* CMainFrm::OpenAlertFrame(const QString& strUrl, int nWidth, int nHeight,
                                  const QColor& clrBorder, int nTitleHeight, QObject* pAlertOwner)
{
    Parts parts;
    parts.pAlertOwner = pAlertOwner;
    parts.createAlert = [pAlertOwner](CMainFrm* pFrame, const QString& url, int width,
                                      int height) -> QWidget* {
        auto* pNoti = new CNotiDlg(pFrame, pAlertOwner, url.toStdWString());
        pNoti->SetOuterSize(width, height);
        QObject::connect(pNoti, &CNotiDlg::PageLoaded, pFrame, [pFrame] {
            if (pFrame->PlaceState() == 0) {
                pFrame->SetPlaceState(1);
                pFrame->show();
            }
        });
        pNoti->OnInitDialog();
        return pNoti;
    };
    // Owned by the main page window's alert list, not by closing.
    auto* pFrame = new CMainFrm(Role::Alert, std::move(parts), 0);
    pFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    pFrame->ShowAlert(strUrl, nWidth, nHeight, clrBorder, nTitleHeight);
    return pFrame;
}

void CMainFrm::ShowAlert(const QString& url, int nWidth, int nHeight, const QColor& clrBorder,
                         int nTitleHeight)
{
    if (m_pNotiDlg == nullptr && m_parts.createAlert) {
        m_pNotiDlg = m_parts.createAlert(this, url, nWidth, nHeight);
    }
    SetFrameLook(clrBorder, nTitleHeight, 5);
    OnCreate();
    setGeometry(0, 0, nWidth, nHeight);
    if (QScreen* pScreen = screen()) {
        move(pScreen->geometry().center() - QPoint(nWidth / 2, nHeight / 2));
    }
    show();  // suppressed until the alert's page has loaded and placed the frame
}

void CMainFrm::ApplyFrameLook(const QColor& clrBorder, int nTitleHeight, int nBorderSize)
{
    SetFrameLook(clrBorder, nTitleHeight, nBorderSize);
}

void CMainFrm::ApplyMinTrackSize(QSize size)
{
    SetMinTrackSize(size);
}

QRect CMainFrm::NearestScreenArea(const QRect& rect) const
{
    return NearestScreen(rect)->geometry();
}

QRect CMainFrm::NearestWorkArea(const QRect& rect) const
{
    return NearestScreen(rect)->availableGeometry();
}

void CMainFrm::PlaceFrame(const QRect& rect, bool bCenter)
{
    SetPlaceState(1);
    PositionFrame(rect);
    if (bCenter) {
        QScreen* pScreen = NearestScreen(geometry());
        move(pScreen->geometry().center() - QPoint(rect.width() / 2, rect.height() / 2));
    }
}

void CMainFrm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && m_bShowFrame) {
        update();  // keep the painted border right
    }
    CCustomFrame::changeEvent(event);
}

bool CMainFrm::event(QEvent* event)
{
    using Relay = IMainPageWindow::Relay;
    struct Route
    {
        int type;
        Relay relay;
        bool bRaise;
    };
    static const Route routes[] = {
        {WM_USER_PROFILE_SHOW, Relay::ProfileShow, true},
        {WM_USER_DEVICE_SHOW, Relay::DeviceShow, true},
        {WM_USER_CALL_SEND_START, Relay::CallSendStart, false},
        {WM_USER_USER_MSG, Relay::UserMsg, false},
        {WM_USER_SCHEDULE_SHOW, Relay::ScheduleShow, true},
        {WM_USER_SCHEDULE_ADD, Relay::ScheduleAdd, true},
    };
    for (const Route& route : routes) {
        if (event->type() != route.type) {
            continue;
        }
        auto* text = dynamic_cast<TextMessageEvent*>(event);
        if (text != nullptr && m_pMainDlg != nullptr && !text->Text().isEmpty()) {
            m_pMainDlg->RelayToPage(route.relay, text->Text());
            if (route.bRaise) {
                RaiseFrame();
            }
        }
        return true;
    }
    return CCustomFrame::event(event);
}
