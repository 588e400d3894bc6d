#include "popups/CidDlg.h"

#include "popups/CidEvents.h"
#include "diag/DbgLog.h"
#include "logic/CidPageText.h"
#include "logic/FrameMessages.h"
#include "logic/JsonText.h"
#include "platform/ProgramNames.h"
#include "text/TextConv.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimerEvent>
#include <QUrl>
#include <QWindow>
#include <json/value.h>

namespace {

constexpr int kReadyDelayMs = 5000;
constexpr int kSlideStepMs = 10;
// The template's size, 315 x 189 dialog units, in pixels; the manager sizes every popup anyway.
constexpr int kTemplateWidth = 472;
constexpr int kTemplateHeight = 307;

}  // namespace

// Helpers log under the page method or handler they act for, the name support searches for.
#define CIDDLG_LOG_AS_W(label, fmt, ...) DBG_LOG_AS_W(label, L"CidDlg", fmt __VA_OPT__(, ) __VA_ARGS__)

CCidDlg::CCidDlg(QWidget* pOwner, QObject* pManager, ClientConfig config)
    : CHtmlDialog(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus),
      ICidWindow(pManager),
      m_pOwner(pOwner),
      m_config(std::move(config))
{
    // Showing or placing a popup must never take the focus from what the user is typing in.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QString::fromWCharArray(kProductName));
    resize(kTemplateWidth, kTemplateHeight);
}

CCidDlg::~CCidDlg() = default;

// --- Window -------------------------------------------------------------------------------

bool CCidDlg::CreateCidWindow()
{
    UpdateShape();
    using M = ExternalMethod;
    SetExternalTable(CExternalTable{
        M::Signal(L"FE_CID_Open", this, &CCidDlg::FE_CID_Open),
        M::Signal(L"FE_CID_Close", this, &CCidDlg::FE_CID_Close),
        M::Signal(L"FE_Schedule_Close", this, &CCidDlg::FE_Schedule_Close),
        M::Notice(L"FE_CID_Profile_Show", this, &CCidDlg::FE_CID_Profile_Show),
        M::Notice(L"FE_CID_Device_Show", this, &CCidDlg::FE_CID_Device_Show),
        M::Notice(L"FE_CID_Call_Send_Start", this, &CCidDlg::FE_CID_Call_Send_Start),
        M::Notice(L"FE_CID_UserMsg", this, &CCidDlg::FE_CID_UserMsg),
        M::Notice(L"FE_Schedule_Schedule_Show", this, &CCidDlg::FE_Schedule_Schedule_Show),
        M::Notice(L"FE_CID_Schedule_Show", this, &CCidDlg::FE_CID_Schedule_Show),
        M::Notice(L"FE_CID_Schedule_Add", this, &CCidDlg::FE_CID_Schedule_Add),
        M::Notice(L"FE_MAIN_Log", this, &CCidDlg::FE_MAIN_Log),
        M::Signal(L"FE_CID_Document_Ready", this, &CCidDlg::FE_CID_Document_Ready),
        M::Signal(L"FE_Schedule_Document_Ready", this, &CCidDlg::FE_Schedule_Document_Ready),
        M::Notice(L"FE_CID_Change_Type", this, &CCidDlg::FE_CID_Change_Type),
        M::Notice(L"FE_CID_Set_Auto_Close_Timeout", this, &CCidDlg::FE_CID_Set_Auto_Close_Timeout),
        M::Query(L"FE_CID_Get_ClientVersion", this, &CCidDlg::FE_CID_Get_ClientVersion),
    });
    SetSilent(true);
    hide();
    return true;
}

void CCidDlg::DestroyCidWindow()
{
    if (m_nCloseTimer != 0) {
        KillCidTimer(kCidCloseTimerId);
    }
    if (m_nReadyTimer != 0) {
        KillCidTimer(kCidReadyTimerId);
    }
    if (m_nSlideTimer != 0) {
        KillCidTimer(kCidSlideTimerId);
    }
    m_bDestroyed = true;
    CHtmlDialog::setVisible(false);
}

void CCidDlg::setVisible(bool bVisible)
{
    // Nothing shows the popup before its page is ready, nor after its window is gone.
    if (bVisible && (m_nShowState == 0 || m_bDestroyed)) {
        return;
    }
    CHtmlDialog::setVisible(bVisible);
}

void CCidDlg::UpdateShape()
{
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 2.5, 2.5);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
    update();
}

void CCidDlg::resizeEvent(QResizeEvent* pEvent)
{
    CHtmlDialog::resizeEvent(pEvent);
    UpdateShape();
}

void CCidDlg::SetNoActivate(bool bOn)
{
    m_bNoActivate = bOn;
    // On the platform window directly: changing the widget's flags would re-create the window
    // and hide it.
    if (windowHandle() == nullptr) {
        winId();
    }
    if (QWindow* pWindow = windowHandle()) {
        pWindow->setFlag(Qt::WindowDoesNotAcceptFocus, bOn);
    }
}

bool CCidDlg::IsCidWindowVisible() const
{
    return !m_bDestroyed && isVisible();
}

CidRect CCidDlg::GetCidWindowRect() const
{
    const QRect rc = frameGeometry();
    return {rc.x(), rc.y(), rc.x() + rc.width(), rc.y() + rc.height()};
}

CidSize CCidDlg::GetCidClientSize() const
{
    return {width(), height()};
}

int CCidDlg::SetCidTimer(int nIdEvent, int nElapseMs)
{
    return m_timers.Start(nIdEvent, nElapseMs);
}

void CCidDlg::KillCidTimer(int nIdEvent)
{
    m_timers.Stop(nIdEvent);
    if (nIdEvent == kCidCloseTimerId) {
        m_nCloseTimer = 0;
    } else if (nIdEvent == kCidReadyTimerId) {
        m_nReadyTimer = 0;
    }
}

void CCidDlg::SetCidForeground()
{
    if (isVisible()) {
        raise();
    }
}

void CCidDlg::CenterCidWindow()
{
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    if (pScreen == nullptr) {
        return;
    }
    const QRect rcScreen = pScreen->availableGeometry();
    move(rcScreen.center() - QPoint(width() / 2, height() / 2));
}

void CCidDlg::InvalidateCidWindow()
{
    update();
}

QWidget* CCidDlg::MainFrame() const
{
    return m_pOwner.data();
}

void CCidDlg::PostToManager(QEvent::Type type)
{
    if (m_hWndManager != nullptr) {
        PostCidWindowEvent(m_hWndManager, type, this);
    }
}

// --- Input --------------------------------------------------------------------------------

bool CCidDlg::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::MouseButtonPress) {
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        if (pMouse->button() == Qt::LeftButton) {
            const QPoint pt = mapFromGlobal(pMouse->globalPosition().toPoint());
            if (IsCidDragBand(pt.y(), m_nPopupType) && windowHandle() != nullptr) {
                // The click still reaches the page.
                windowHandle()->startSystemMove();
            }
        }
    } else if (pEvent->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_Escape) {
        OnCancel();
        return true;
    }
    return CHtmlDialog::eventFilter(pWatched, pEvent);
}

void CCidDlg::keyPressEvent(QKeyEvent* pEvent)
{
    // Enter closes nothing; Esc is Cancel.
    if (pEvent->key() == Qt::Key_Escape) {
        OnCancel();
        return;
    }
    pEvent->accept();
}

void CCidDlg::closeEvent(QCloseEvent* pEvent)
{
    // The manager owns the popup; a close command only asks it.
    pEvent->ignore();
    OnCancel();
}

void CCidDlg::OnCancel()
{
    PostToManager(kCidCloseEvent);
}

// --- Operations of the manager --------------------------------------------------------------

void CCidDlg::ShowCidInfo(int nNew)
{
    if (nNew == 1) {
        NavigatePost(m_strCidAlarmUrl, WideToUtf8(m_strPostData));
        DBG_LOG_W(L"Navigate() m_strCidAlarmUrl=%ls %ls", m_strCidAlarmUrl.c_str(),
                  m_strPostData.c_str());
        m_nReadyTimer = SetCidTimer(kCidReadyTimerId, kReadyDelayMs);
    } else if (m_nCallResult == 1) {
        FunctionCallW2E(L"WI_CID_CallResult_Change",
                        StyledJsonText(CidMessageArg(m_strMsg, m_strTime)));
    } else {
        Json::Value root;
        if (ParseJsonText(m_strPostData, root)) {
            const int nCallResult = m_nCallResult;
            CallResultChange(CidCallInfoOf(root), [nCallResult](int nRet) {
                g_DbgLog.GD_DebugPrintA(__LINE__, L"CCidDlg::ShowCidInfo", L"CidDlg",
                                        "CCidDlg::ShowCidInfo() CallResultChange(%d) nRet=%d",
                                        nCallResult, nRet);
            });
            if (m_nCallResult == 200) {
                SetRecCid(m_nRecResult);
            }
        }
    }

    if (m_nCloseDelayMs == 0) {
        if (nNew != 1 && m_nCloseTimer != 0) {
            KillCidTimer(kCidCloseTimerId);
        }
    } else if (m_nCloseDelayMs > 0) {
        if (m_nCloseTimer != 0) {
            KillCidTimer(kCidCloseTimerId);
        }
        // A recorded, connected call stays until the user closes it.
        if (!(m_nRecResult > 0 && m_nCallResult == 200)) {
            m_nCloseTimer = SetCidTimer(kCidCloseTimerId, m_nCloseDelayMs);
        }
    }
}

void CCidDlg::ShowSchInfo()
{
    NavigatePost(m_strCidAlarmUrl, WideToUtf8(m_strPostData));
    DBG_LOG_W(L"Navigate() m_strCidAlarmUrl=%ls %ls", m_strCidAlarmUrl.c_str(),
              m_strPostData.c_str());
    // A schedule page that never reports ready closes like a call page, not listed unseen.
    m_nReadyTimer = SetCidTimer(kCidReadyTimerId, kReadyDelayMs);
}

void CCidDlg::SetCidWindowPos(CidZOrder insertAfter, int x, int y, int cx, int cy, unsigned nFlags)
{
    if (!HasNoActivate()) {
        SetNoActivate(true);
    }
    if (m_pWndInsertAfter == CidZOrder::None && insertAfter == CidZOrder::None) {
        return;
    }
    if (cx > 0) {
        m_pWndInsertAfter = insertAfter;
        m_rcPos = {x, y, cx, cy};
    }
    if (m_nShowState == 0) {
        nFlags &= ~kCidPosShowWindow;
    }
    m_nPosFlags = nFlags;
    if (m_nPopupType == 10) {
        m_nSlideTimer = SetCidTimer(kCidSlideTimerId, kSlideStepMs);
    } else {
        ApplyWindowPos(m_rcPos.x, m_rcPos.y, m_rcPos.cx, m_rcPos.cy, m_nPosFlags | kCidPosNoActivate);
        if (HasNoActivate()) {
            SetNoActivate(false);
        }
    }
    DBG_LOG_W(L"SetCidWindowPos => (%d, %d, %d, %d)", m_rcPos.x, m_rcPos.y, m_rcPos.cx, m_rcPos.cy);
}

void CCidDlg::ApplyWindowPos(int x, int y, int cx, int cy, unsigned nFlags)
{
    if (m_bDestroyed) {
        return;
    }
    // Every placement passes here, so the ready page's first placement is the one that shows.
    if (m_nShowState == 1) {
        nFlags |= kCidPosShowWindow;
        m_nShowState = -1;
    } else if (m_nShowState == 0) {
        nFlags &= ~kCidPosShowWindow;
    }
    if (cx > 0 && cy > 0) {
        if (nFlags & kCidPosNoMove) {
            resize(cx, cy);
        } else {
            setGeometry(x, y, cx, cy);
        }
    } else if (!(nFlags & kCidPosNoMove)) {
        move(x, y);
    }
    if (nFlags & kCidPosShowWindow) {
        show();
        raise();
    }
}

void CCidDlg::OnSlideTimer()
{
    if (!(m_nPosFlags & kCidPosShowWindow)) {
        return;
    }
    const CidPlaceRect& rc = m_rcPos;
    auto finish = [this, &rc] {
        ApplyWindowPos(rc.x, rc.y, rc.cx, rc.cy, kCidPosShowWindow);
        KillCidTimer(kCidSlideTimerId);
        m_nSlideTimer = -1;
    };
    if (CidSlideStep(m_dSlideY, m_nPosCode, rc.y, rc.cy)) {
        finish();
        return;
    }
    ApplyWindowPos(rc.x, static_cast<int>(m_dSlideY), rc.cx, rc.cy, kCidPosShowWindow);
}

void CCidDlg::SetRecCid(int nRecResult)
{
    DBG_LOG_W(L"SetRecCid %d, %d", nRecResult, m_nShowState);
    if (nRecResult > 0) {
        m_nRecResult = nRecResult;
    }
    if (m_nCallResult == 200 && m_nRecResult > 0 && m_nShowState != 0) {
        FunctionCallW2E(L"WI_CID_Record_Noti", StyledJsonText(CidRecordArg(m_nRecResult)));
        // A recorded, connected call stays until the user closes it.
        if (m_nCloseTimer != 0) {
            KillCidTimer(kCidCloseTimerId);
        }
    }
}

void CCidDlg::SendSizeChange(int nType)
{
    const CidPageCall call = CidSizeChangeCall(nType);
    FunctionCallW2E(call.pszFunction, StyledJsonText(call.arg));
}

// --- Page calls ---------------------------------------------------------------------------

void CCidDlg::FunctionCallW2E(const wchar_t* pszName, const std::wstring& strArg, StatusCallback done)
{
    DBG_LOG_W(L"%ls, %ls[%lld]", pszName, strArg.c_str(), static_cast<long long>(m_llLogNo));
    CallPageFunction(pszName, strArg, std::move(done));
}

void CCidDlg::CallResultChange(const Json::Value& callInfo, StatusCallback done)
{
    Json::Value call;
    try {
        call = CidCallArg(callInfo, m_nCallCnt, m_strTime);
    } catch (const Json::Exception& e) {
        // The manager calls in here too: a bad member must not travel up its event handling.
        DBG_LOG_A("json value error. %s[%lld]", e.what(), static_cast<long long>(m_llLogNo));
        return;
    }
    FunctionCallW2E(L"WI_CID_CallResult_Change", StyledJsonText(call), std::move(done));
}

void CCidDlg::SendAuth()
{
    FunctionCallW2E(L"WI_CID_Set_Auth", StyledJsonText(CidAuthArg(m_nCtc, m_nMsgSend)));
}

void CCidDlg::OnDocumentComplete(const std::wstring& strUrl, bool bOk)
{
    CHtmlDialog::OnDocumentComplete(strUrl, bOk);
    const QString strLoaded = ToQString(strUrl);
    const QString strAlarm = ToQString(m_strCidAlarmUrl);
    const bool bSame = strLoaded.compare(strAlarm, Qt::CaseInsensitive) == 0 ||
                       strLoaded.compare(QUrl(strAlarm).toString(), Qt::CaseInsensitive) == 0;
    if (bSame && (m_nCallResult != 0 || m_nCallProcessType == 1)) {
        SendSizeChange(m_nPopupType);
    }
}

// --- Timers -------------------------------------------------------------------------------

void CCidDlg::timerEvent(QTimerEvent* pEvent)
{
    switch (m_timers.IdOf(pEvent->timerId())) {
    case kCidReadyTimerId: OnCloseTimer(true); break;
    case kCidCloseTimerId: OnCloseTimer(false); break;
    case kCidSlideTimerId: OnSlideTimer(); break;
    default: CHtmlDialog::timerEvent(pEvent); break;
    }
}

void CCidDlg::OnCloseTimer(bool bReady)
{
    if (bReady) {
        CIDDLG_LOG_AS_W(L"CCidDlg::OnTimer", L"reach close time : not ready");
        KillCidTimer(kCidReadyTimerId);
    } else {
        CIDDLG_LOG_AS_W(L"CCidDlg::OnTimer", L"reach close time");
        KillCidTimer(kCidCloseTimerId);
        if (m_nPopupType == 10) {
            return;  // a single popup stays until replaced or closed by the user
        }
    }
    if (m_nCallResult != 0) {
        PostToManager(kCidCloseEvent);
    } else {
        DestroyCidWindow();
    }
}

// --- Page methods -------------------------------------------------------------------------

void CCidDlg::FE_CID_Open()
{
    DBG_LOG_W(L"%lld", static_cast<long long>(m_llLogNo));
    PostToManager(kCidOpenEvent);
}

void CCidDlg::CloseRequest(const wchar_t* pszMethod)
{
    CIDDLG_LOG_AS_W(pszMethod, L"%lld", static_cast<long long>(m_llLogNo));
    if (isVisible()) {
        showMinimized();
    }
    QMetaObject::invokeMethod(this, [this] { CHtmlDialog::setVisible(false); }, Qt::QueuedConnection);
    PostToManager(kCidCloseEvent);
}

void CCidDlg::FE_CID_Close()
{
    CloseRequest(L"CCidDlg::FE_CID_Close");
}

void CCidDlg::FE_Schedule_Close()
{
    CloseRequest(L"CCidDlg::FE_Schedule_Close");
}

void CCidDlg::Forward(const wchar_t* pszMethod, int nMessage, const std::wstring& strArg,
                      bool bForeground)
{
    CIDDLG_LOG_AS_W(pszMethod, L"%ls", strArg.c_str());
    QWidget* pFrame = MainFrame();
    if (pFrame == nullptr) {
        return;
    }
    pFrame->showNormal();
    if (bForeground) {
        pFrame->raise();
        pFrame->activateWindow();
    }
    QCoreApplication::postEvent(pFrame, new TextMessageEvent(nMessage, ToQString(strArg)));
}

void CCidDlg::FE_CID_Profile_Show(const std::wstring& strArg)
{
    Forward(L"CCidDlg::FE_CID_Profile_Show", WM_USER_PROFILE_SHOW, strArg, false);
}

void CCidDlg::FE_CID_Device_Show(const std::wstring& strArg)
{
    Forward(L"CCidDlg::FE_CID_Device_Show", WM_USER_DEVICE_SHOW, strArg, false);
}

void CCidDlg::FE_CID_Call_Send_Start(const std::wstring& strArg)
{
    Forward(L"CCidDlg::FE_CID_Call_Send_Start", WM_USER_CALL_SEND_START, strArg, false);
}

void CCidDlg::FE_CID_UserMsg(const std::wstring& strArg)
{
    Forward(L"CCidDlg::FE_CID_UserMsg", WM_USER_USER_MSG, strArg, true);
}

void CCidDlg::FE_Schedule_Schedule_Show(const std::wstring& strArg)
{
    Forward(L"CCidDlg::FE_Schedule_Schedule_Show", WM_USER_SCHEDULE_SHOW, strArg, false);
}

void CCidDlg::FE_CID_Schedule_Show(const std::wstring& strArg)
{
    Forward(L"CCidDlg::FE_CID_Schedule_Show", WM_USER_SCHEDULE_SHOW, strArg, false);
}

void CCidDlg::FE_CID_Schedule_Add(const std::wstring& strArg)
{
    Forward(L"CCidDlg::FE_CID_Schedule_Add", WM_USER_SCHEDULE_ADD, strArg, false);
}

void CCidDlg::FE_MAIN_Log(const std::wstring& strArg)
{
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        DBG_LOG_W(L"json parsing failed.[%ls][%lld]", strArg.c_str(), static_cast<long long>(m_llLogNo));
        return;
    }
    g_DbgLog.GD_DebugPrintNoLocA("[%s][%s][%s][%s][%lld]", JsonGetTextA(root, "time").c_str(),
                                 JsonGetTextA(root, "level").c_str(),
                                 JsonGetTextA(root, "kind").c_str(),
                                 JsonGetTextA(root, "msg").c_str(), static_cast<long long>(m_llLogNo));
}

void CCidDlg::FE_CID_Document_Ready()
{
    DBG_LOG_W(L"show %lld", static_cast<long long>(m_llLogNo));
    m_nShowState = 1;
    SetCidWindowPos(CidZOrder::Top, 0, 0, 0, 0, kCidPosShowWindow | kCidPosNoMove);
    if (m_nReadyTimer != 0) {
        KillCidTimer(kCidReadyTimerId);
    }
    if (m_nCallResult != 201) {
        Json::Value root;
        if (ParseJsonText(m_strPostData, root)) {
            const std::string strPostData = WideToAnsi(m_strPostData);
            CallResultChange(CidCallInfoOf(root), [strPostData](int nRet) {
                g_DbgLog.GD_DebugPrintA(__LINE__, L"CCidDlg::FE_CID_Document_Ready", L"CidDlg",
                                        "CCidDlg::ShowCidInfo() CallResultChange(%s) nRet=%d",
                                        strPostData.c_str(), nRet);
            });
            if (m_nCallResult == 200) {
                SetRecCid(m_nRecResult);
            }
        }
    }
    SendAuth();
}

void CCidDlg::FE_Schedule_Document_Ready()
{
    DBG_LOG_W(L"show %lld", static_cast<long long>(m_llLogNo));
    m_nShowState = 1;
    SetCidWindowPos(CidZOrder::Top, 0, 0, 0, 0, kCidPosShowWindow | kCidPosNoMove);
    if (m_nReadyTimer != 0) {
        KillCidTimer(kCidReadyTimerId);
    }
}

void CCidDlg::FE_CID_Change_Type(const std::wstring& strArg)
{
    DBG_LOG_W(L"FE_CID_Change_Type %ls[%lld]", strArg.c_str(), static_cast<long long>(m_llLogNo));
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        DBG_LOG_W(L"json parsing failed.[%ls]", strArg.c_str());
        return;
    }
    const CidTypeChange change = CidTypeChangeFromPage(root, m_nPopupType);
    m_nPopupType = change.nNewType;
    // The manager keeps the size table: it fills in a side the page left out and places us.
    if (m_hWndManager != nullptr) {
        PostCidTypeChange(m_hWndManager, this, change);
    }
}

void CCidDlg::FE_CID_Set_Auto_Close_Timeout(const std::wstring& strArg)
{
    DBG_LOG_W(L"FE_CID_Set_Auto_Close_Timeout %ls[%lld]", strArg.c_str(),
              static_cast<long long>(m_llLogNo));
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        DBG_LOG_W(L"json parsing failed.[%ls]", strArg.c_str());
        return;
    }
    const CidAutoClose autoClose = CidAutoCloseFromPage(root, m_nCloseTimer != 0, m_nCloseDelayMs);
    g_DbgLog.GD_DebugPrintNoLocA("[%d][%d]", autoClose.bAutoClose ? 1 : 0, autoClose.nSeconds);
    KillCidTimer(kCidCloseTimerId);
    if (autoClose.bAutoClose) {
        m_nCloseTimer = SetCidTimer(kCidCloseTimerId, autoClose.nDelayMs);
    }
    m_nCloseDelayMs = autoClose.nDelayMs;
}

std::wstring CCidDlg::FE_CID_Get_ClientVersion()
{
    DBG_LOG_W(L"%lld", static_cast<long long>(m_llLogNo));
    return m_config.InstalledVersion();
}
