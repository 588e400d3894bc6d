#include "mainpage/OrvantaMainDlg.h"

#include "popups/CidManagerDlg.h"
#include "logic/CidNotify.h"
#include "diag/DbgLog.h"
#include "logic/FrameMessages.h"
#include "logic/JsonText.h"
#include "logic/MainPageRules.h"
#include "net/NetworkCheck.h"
#include "shell/MessagePrompt.h"
#include "platform/ProgramNames.h"
#include "mainpage/StartupEntries.h"
#include "text/TextConv.h"

#include <QCoreApplication>
#include <QUrl>
#include <QGuiApplication>
#include <QScreen>
#include <json/json.h>


COrvantaMainDlg::COrvantaMainDlg(IMainPageHost* pHost, ClientConfig config,
                                 CStartupEntries& startup, IMessagePrompt& prompt,
                                 AlertFrameOpener openAlert)
    : CHtmlDialog(pHost != nullptr ? pHost->HostWidget() : nullptr),
      m_pHost(pHost),
      m_config(std::move(config)),
      m_startup(startup),
      m_prompt(prompt),
      m_openAlert(std::move(openAlert)),
      m_router(m_config)
{
}

COrvantaMainDlg::~COrvantaMainDlg()
{
    // The worker must not outlive the window it navigates.
    m_loader.Stop();
}

bool COrvantaMainDlg::OnInitDialog()
{
    using M = ExternalMethod;
    SetExternalTable(CExternalTable{
        M::Notice(L"FE_MAIN_Login", this, &COrvantaMainDlg::FE_MAIN_Login),
        M::Notice(L"FE_MAIN_Logout", this, &COrvantaMainDlg::FE_MAIN_Logout),
        M::Notice(L"FE_MAIN_LoginSession_ConnectState", this,
                  &COrvantaMainDlg::FE_MAIN_LoginSession_ConnectState),
        M::Notice(L"FE_MAIN_UserAlert", this, &COrvantaMainDlg::FE_MAIN_UserAlert),
        M::Notice(L"FE_MAIN_CidOpt_Change", this, &COrvantaMainDlg::FE_MAIN_CidOpt_Change),
        M::Notice(L"FE_MAIN_Log", this, &COrvantaMainDlg::FE_MAIN_Log),
        M::Notice(L"FE_MAIN_Document_Ready", this, &COrvantaMainDlg::FE_MAIN_Document_Ready),
        M::Notice(L"FE_MAIN_UserPhone_List_Noti", this,
                  &COrvantaMainDlg::FE_MAIN_UserPhone_List_Noti),
        M::Test(L"FE_MAIN_Foreground", this, &COrvantaMainDlg::FE_MAIN_Foreground),
        M::Query(L"FE_CID_Get_ClientVersion", this, &COrvantaMainDlg::FE_CID_Get_ClientVersion),
        M::Notice(L"FE_MAIN_Call_Send_Noti", this, &COrvantaMainDlg::FE_MAIN_Call_Send_Noti),
        M::Notice(L"FE_MAIN_Call_Recv_Noti", this, &COrvantaMainDlg::FE_MAIN_Call_Recv_Noti),
        M::Notice(L"FE_MAIN_Msg_Recv_Noti", this, &COrvantaMainDlg::FE_MAIN_Msg_Recv_Noti),
        M::Notice(L"FE_MAIN_Call_Record_Noti", this, &COrvantaMainDlg::FE_MAIN_Call_Record_Noti),
        M::Notice(L"FE_MAIN_SchR_Recv_Noti", this, &COrvantaMainDlg::FE_MAIN_SchR_Recv_Noti),
        M::Notice(L"FE_MAIN_SchC_Recv_Noti", this, &COrvantaMainDlg::FE_MAIN_SchC_Recv_Noti),
    });

    const bool bInitStarted = m_startup.IsInitStart();
    if (!bInitStarted) {
        m_startup.SetInitStart();
        m_startup.SetAutoRun(false);
    }
    m_strMainUrl = BuildMainUrl(m_config.strServerUrl, m_config.nServerPort, bInitStarted,
                                bInitStarted && m_startup.IsAutoRun());

    if (const int nError = m_loader.Start(m_strMainUrl)) {
        DBG_LOG_W(L"CreateThread error: %d", nError);
        if (m_pHost != nullptr) {
            QMetaObject::invokeMethod(m_pHost->HostWidget(), &QWidget::close, Qt::QueuedConnection);
        }
    }
    SetSilent(true);
    return true;
}

void COrvantaMainDlg::NavigateMainPage(const std::wstring& strUrl)
{
    Navigate(strUrl, L"Cache-Control: no-cache, no-store, max-age=1");
}

void COrvantaMainDlg::GiveUp()
{
    QPointer<QWidget> frame = m_pHost != nullptr ? m_pHost->HostWidget() : nullptr;
    IMessagePrompt* pPrompt = &m_prompt;
    QMetaObject::invokeMethod(qApp, [frame, pPrompt] {
        pPrompt->ShowTopmostInformation(kProductName, L"인터넷 연결을 확인하시고 다시 시도해 주십시오.");
        if (frame != nullptr) {
            frame->close();
        }
    }, Qt::QueuedConnection);
}

void COrvantaMainDlg::ShowMainFrame(bool bCenter, bool bDefault)
{
    if (bDefault) {
        m_nLastWidth = kDefaultFrameWidth;
        m_nLastHeight = kDefaultFrameHeight;
        m_bCenterMainFrame = 1;
    }
    const int x = m_nLastX;
    const int y = m_nLastY;
    const int w = bCenter ? kDefaultFrameWidth : m_nLastWidth.load();
    const int h = bCenter ? kDefaultFrameHeight : m_nLastHeight.load();
    if (m_pHost != nullptr) {
        QPointer<QWidget> frame = m_pHost->HostWidget();
        IMainPageHost* pHost = m_pHost;
        QMetaObject::invokeMethod(frame, [frame, pHost, x, y, w, h, bCenter] {
            if (frame != nullptr) {
                pHost->PlaceFrame(QRect(x, y, w, h), bCenter);
            }
        }, Qt::QueuedConnection);
    }
    DBG_LOG_W(L"MainFrame size : (%d, %d, %d, %d)", x, y, m_nLastWidth.load(),
              m_nLastHeight.load());
}

QRect COrvantaMainDlg::NearestScreenArea(const QRect& rect) const
{
    if (m_pHost != nullptr) {
        return m_pHost->NearestScreenArea(rect);
    }
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    return pScreen != nullptr ? pScreen->geometry() : QRect();
}

QRect COrvantaMainDlg::NearestWorkArea() const
{
    if (m_pHost != nullptr) {
        return m_pHost->NearestWorkArea(m_pHost->HostWidget()->geometry());
    }
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    return pScreen != nullptr ? pScreen->availableGeometry() : QRect();
}

void COrvantaMainDlg::SetLastPosition(int x, int y)
{
    m_nLastX = x;
    m_nLastY = y;
}

void COrvantaMainDlg::SetLastSize(int width, int height)
{
    m_nLastWidth = width;
    m_nLastHeight = height;
}

// --- Program data -------------------------------------------------------------------------

void COrvantaMainDlg::WI_Get_ProgramData(TextCallback done)
{
    CallPageQuery(L"WI_Get_ProgramData", std::move(done));
}

void COrvantaMainDlg::WI_Set_ProgramData(int nX, int nY, int nWidth, int nHeight,
                                         StatusCallback done)
{
    Json::Value data(Json::objectValue);
    data["lastX"] = nX;
    data["lastY"] = nY;
    data["lastWidth"] = nWidth;
    data["lastHeight"] = nHeight;
    CallRelay(L"WI_Set_ProgramData", StyledJsonText(data), false, std::move(done));
}

void COrvantaMainDlg::SaveFrameRect(std::function<void()> done)
{
    WI_Set_ProgramData(m_nLastX, m_nLastY, m_nLastWidth, m_nLastHeight,
                       [done](int) { done(); });
}

void COrvantaMainDlg::LoadProgramData()
{
    QPointer<COrvantaMainDlg> self = this;
    WI_Get_ProgramData([self](const std::wstring& strData) {
        if (self == nullptr) {
            return;
        }
        if (strData.empty()) {
            self->m_loader.SignalPosition();
            return;
        }
        try {
            Json::Value root;
            if (ParseJsonText(strData, root) && root.isObject()) {
                // All four or none: a member of the wrong type leaves the stored rectangle.
                const int x = JsonGetInt(root, "lastX", 0);
                const int y = JsonGetInt(root, "lastY", 0);
                const int w = JsonGetInt(root, "lastWidth", kDefaultFrameWidth);
                const int h = JsonGetInt(root, "lastHeight", kDefaultFrameHeight);
                self->m_nLastX = x;
                self->m_nLastY = y;
                self->m_nLastWidth = w;
                self->m_nLastHeight = h;
            }
        } catch (const std::exception&) {
            DBG_LOG_W(L"json type error.[%ls]", strData.c_str());
        }
        self->m_bCenterMainFrame = 0;
        const int x = self->m_nLastX;
        const int y = self->m_nLastY;
        const int w = self->m_nLastWidth;
        const int h = self->m_nLastHeight;
        // Checked before it becomes a rectangle, whose edges would overflow.
        const bool bInRange = IsStoredRectInRange(x, y, w, h);
        if (!bInRange || !IsStoredRectAcceptable(QRect(x, y, w, h), self->NearestScreenArea(QRect(x, y, w, h)))) {
            if (!IsStoredRectInRange(x, y, 1, 1)) {
                self->m_nLastX = 0;
                self->m_nLastY = 0;
            }
            self->m_nLastWidth = kDefaultFrameWidth;
            self->m_nLastHeight = kDefaultFrameHeight;
            self->m_bCenterMainFrame = 1;
        }
        self->m_loader.SignalPosition();
    });
}

// --- Relays -------------------------------------------------------------------------------

void COrvantaMainDlg::CallRelay(const wchar_t* pszName, const std::wstring& strText,
                                bool bLogEmptyEntry, StatusCallback done)
{
    const std::wstring name = pszName;
    const std::wstring function = L"COrvantaMainDlg::" + name;
    g_DbgLog.GD_DebugPrintW(__LINE__, function.c_str(), L"OrvantaMainDlg",
                            bLogEmptyEntry ? L"" : L"called");
    CallPageFunction(name, strText, [function, strText, done](int nStatus) {
        g_DbgLog.GD_DebugPrintW(__LINE__, function.c_str(), L"OrvantaMainDlg", L"end %d, %ls",
                                nStatus, strText.c_str());
        if (done) {
            done(nStatus);
        }
    });
}

void COrvantaMainDlg::RelayToPage(Relay relay, const QString& text)
{
    const std::wstring strText = text.toStdWString();
    switch (relay) {
    case Relay::ProfileShow: CallRelay(L"WI_MAIN_Profile_Show", strText, false, {}); break;
    case Relay::DeviceShow: CallRelay(L"WI_MAIN_Device_Show", strText, false, {}); break;
    case Relay::CallSendStart: CallRelay(L"WI_MAIN_Call_Send_Start", strText, false, {}); break;
    case Relay::UserMsg: CallRelay(L"WI_MAIN_USER_MSG", strText, true, {}); break;
    case Relay::ScheduleShow: CallRelay(L"WI_MAIN_Schedule_Show", strText, false, {}); break;
    case Relay::ScheduleAdd: CallRelay(L"WI_MAIN_Schedule_Add", strText, false, {}); break;
    }
}

void COrvantaMainDlg::WI_MAIN_Logout(const QString& session, std::function<void()> done)
{
    Json::Value data(Json::objectValue);
    data["loginSession"] = JsonTextValue(session.toStdWString());
    CallRelay(L"WI_MAIN_Logout", StyledJsonText(data), false, [done](int) {
        if (done) {
            done();
        }
    });
}

// --- Login state and alerts ----------------------------------------------------------------

bool COrvantaMainDlg::event(QEvent* pEvent)
{
    switch (static_cast<int>(pEvent->type())) {
    case WM_USER_MAIN_LOGIN:
        OnLogin();
        return true;
    case WM_USER_MAIN_LOGOUT:
        OnLogout();
        return true;
    case WM_USER_DELETE_ALERT_FRM:
        if (auto* alert = dynamic_cast<AlertFrameEvent*>(pEvent)) {
            OnDeleteAlertFrm(alert->Frame());
        }
        return true;
    default:
        return CHtmlDialog::event(pEvent);
    }
}

void COrvantaMainDlg::OnLogin()
{
    m_bLogin = 1;
    m_bConnected = 1;
    DBG_LOG_W(L"login msg recved.");
    if (m_pHost != nullptr) {
        m_pHost->UpdateTrayIcon();
    }
}

void COrvantaMainDlg::OnLogout()
{
    DBG_LOG_W(L"logout msg recved. %d", m_bLogin);
    if (!m_bLogin) {
        return;
    }
    m_bLogin = 0;
    if (m_pHost != nullptr) {
        RemoveAllAlertFrm();
        if (m_pCidManager != nullptr) {
            m_pCidManager->RemoveAllCidWindow();
        }
        m_pHost->UpdateTrayIcon();
    }
}

void COrvantaMainDlg::OnDeleteAlertFrm(QWidget* pFrame)
{
    m_alerts.Delete(pFrame);
}

void COrvantaMainDlg::RemoveAllAlertFrm()
{
    m_alerts.DeleteAll();
}

// --- Page methods --------------------------------------------------------------------------

void COrvantaMainDlg::FE_MAIN_Login(const std::wstring& strArg)
{
    DBG_LOG_W(L"COrvantaMainDlg::FE_MAIN_Login() start... %ls", strArg.c_str());
    // Logged in whatever the argument holds; the post goes out even when a member is unusable.
    struct PostLogin
    {
        COrvantaMainDlg* self;
        ~PostLogin() { QCoreApplication::postEvent(self, new QEvent(static_cast<QEvent::Type>(WM_USER_MAIN_LOGIN))); }
    } post{this};

    try {
        Json::Value root;
        if (!ParseJsonText(strArg, root)) {
            return;
        }
        m_startup.SetAutoRun(JsonGetBool(root, "autoRunOpt", false));
        const std::wstring session = JsonGetText(root, "loginSession");
        if (!session.empty()) {
            m_strLoginSession = session;
        }
        if (JsonGetObject(root, "cidOpt") != nullptr && m_pCidManager != nullptr) {
            m_pCidManager->ApplyLoginCidOption(root);
        }
    } catch (const std::exception&) {
        DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
    }
}

void COrvantaMainDlg::FE_MAIN_Logout(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    Json::Value root;
    ParseJsonText(strArg, root);
    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_USER_MAIN_LOGOUT)));
}

void COrvantaMainDlg::FE_MAIN_LoginSession_ConnectState(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    try {
        Json::Value root;
        if (!ParseJsonText(strArg, root)) {
            return;
        }
        const std::wstring session = JsonGetText(root, "loginSession");
        if (!session.empty()) {
            m_strLoginSession = session;
        }
        const int nState = JsonGetInt(root, "connectState", 0);
        if (nState == 0) {
            m_bConnected = 0;
        } else if (nState == 1) {
            m_bConnected = 1;
        }
    } catch (const std::exception&) {
        DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
    }
    if (m_bLogin && m_pHost != nullptr) {
        m_pHost->UpdateTrayIcon();
    }
}

void COrvantaMainDlg::FE_MAIN_UserAlert(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    std::wstring url;
    int nWidth = 0;
    int nHeight = 0;
    try {
        Json::Value root;
        if (!ParseJsonText(strArg, root)) {
            return;
        }
        url = JsonGetText(root, "alertUrl");
        const Json::Value* size = JsonGetObject(root, "size");
        if (size == nullptr) {
            return;
        }
        nWidth = JsonGetInt(*size, "width", 0);
        nHeight = JsonGetInt(*size, "height", 0);
    } catch (const std::exception&) {
        DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
        return;
    }
    const QString strUrl = QString::fromStdWString(url);
    if (PageOrigin(QUrl(strUrl)).isEmpty()) {
        DBG_LOG_W(L"alert refused: not a web address.[%ls]", url.c_str());
        return;
    }
    if (!m_openAlert) {
        return;
    }
    const QSize outer = ClampAlertSize(nWidth, nHeight, NearestWorkArea().size());
    if (QWidget* pFrame = m_openAlert(strUrl, outer.width(), outer.height(), m_clrBorder,
                                      m_nTitleHeight, this)) {
        m_alerts.Add(pFrame);
    }
}

void COrvantaMainDlg::FE_MAIN_Log(const std::wstring& strArg)
{
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        DBG_LOG_W(L"json parsing failed.[%ls]", strArg.c_str());
        return;
    }
    try {
        const std::string strTime = JsonGetTextA(root, "time");
        const std::string strLevel = JsonGetTextA(root, "level");
        const std::string strKind = JsonGetTextA(root, "kind");
        const std::string strMsg = JsonGetTextA(root, "msg");
        g_DbgLog.GD_DebugPrintNoLocA("[%s][%s][%s][%s]", strTime.c_str(), strLevel.c_str(),
                                     strKind.c_str(), strMsg.c_str());
    } catch (const std::exception&) {
        DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
    }
}

void COrvantaMainDlg::FE_MAIN_Document_Ready(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        return;
    }
    LoadProgramData();

    // A report of the wrong shape stops reading here: the frame must still become ready, or
    // the worker would load the page again.
    try {
        if (const Json::Value* border = root.isObject() ? JsonGetObject(root, "border") : nullptr) {
            const int nSize = ClampBorderSize(JsonGetInt(*border, "size", 0));
            const int r = JsonGetInt(*border, "colorR", 0) & 0xFF;
            const int g = JsonGetInt(*border, "colorG", 0) & 0xFF;
            const int b = JsonGetInt(*border, "colorB", 0) & 0xFF;
            m_clrBorder = QColor(r, g, b);
            m_nTitleHeight = 25;
            m_nBorderSize = nSize;
            if (m_pHost != nullptr) {
                m_pHost->ApplyFrameLook(m_clrBorder, m_nTitleHeight, m_nBorderSize);
            }
        }
        if (const Json::Value* minSize = root.isObject() ? JsonGetObject(root, "minSize") : nullptr) {
            const int nWidth = JsonGetInt(*minSize, "width", 0);
            const int nHeight = JsonGetInt(*minSize, "height", 0);
            if (m_pHost != nullptr) {
                m_pHost->ApplyMinTrackSize(MinTrackSize(nWidth, nHeight, m_nBorderSize, m_nTitleHeight));
            }
        }
        if (m_pCidManager != nullptr && root.isObject()) {
            m_pCidManager->ApplyDocumentReadyTypeSizes(root);
        }
    } catch (const std::exception&) {
        DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
    }
    m_loader.SignalBorder();
}

void COrvantaMainDlg::FE_MAIN_UserPhone_List_Noti(const std::wstring& strArg)
{
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        DBG_LOG_W(L"json parsing failed.[%ls]", strArg.c_str());
        return;
    }
    const Json::Value& allows = root.isObject() ? root["allows"] : Json::Value::nullSingleton();
    if (!allows.isArray()) {
        return;
    }
    for (const Json::Value& element : allows) {
        // An element that cannot be read is skipped like one without a number.
        try {
            if (!element.isObject()) {
                continue;
            }
            const std::wstring phone = JsonGetText(element, "userPhone");
            if (phone.empty() || m_pCidManager == nullptr) {
                continue;
            }
            const bool bCtc = JsonGetBool(element, "ctc", true);
            const bool bMsgSend = JsonGetBool(element, "msgSend", true);
            m_pCidManager->SetLinePermissions(phone, bCtc, bMsgSend);
        } catch (const std::exception&) {
            DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
        }
    }
}

bool COrvantaMainDlg::FE_MAIN_Foreground(const std::wstring& strArg)
{
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        return false;
    }
    bool bForeground = false;
    try {
        bForeground = JsonGetBool(root, "setForeground", true);
    } catch (const std::exception&) {
        DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
        return false;
    }
    bool bResult = false;
    if (bForeground) {
        const bool bWasVisible = m_pHost != nullptr && m_pHost->IsFrameShownNormally();
        if (m_pHost != nullptr) {
            m_pHost->ShowFromTray();
        }
        activateWindow();
        bResult = !bWasVisible;
    } else if (m_pHost != nullptr) {
        m_pHost->MinimizeFrame();
    }
    DBG_LOG_W(L"return %d", bResult ? 1 : 0);
    return bResult;
}

void COrvantaMainDlg::FE_MAIN_CidOpt_Change(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    try {
        if (m_pCidManager != nullptr) {
            m_pCidManager->ApplyCidOptChange(strArg);
        }
    } catch (const std::exception&) {
        DBG_LOG_W(L"json type error.[%ls]", strArg.c_str());
    }
}

std::wstring COrvantaMainDlg::FE_CID_Get_ClientVersion()
{
    return m_config.InstalledVersion();
}

// --- Call, message, recording and schedule notifications ------------------------------------

void COrvantaMainDlg::FE_MAIN_Call_Send_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    m_router.PostCidNotification(static_cast<int>(CidNotiKind::CallSend), strArg, m_strLoginSession);
}

void COrvantaMainDlg::FE_MAIN_Call_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    m_router.PostCidNotification(static_cast<int>(CidNotiKind::CallRecv), strArg, m_strLoginSession);
}

void COrvantaMainDlg::FE_MAIN_Msg_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    m_router.PostCidNotification(static_cast<int>(CidNotiKind::MsgRecv), strArg, m_strLoginSession);
}

void COrvantaMainDlg::FE_MAIN_Call_Record_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    m_router.PostRecordNotification(strArg);
}

void COrvantaMainDlg::FE_MAIN_SchR_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    m_router.PostScheduleNotification(strArg, m_strLoginSession);
}

void COrvantaMainDlg::FE_MAIN_SchC_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    m_router.PostScheduleNotification(strArg, m_strLoginSession);
}

// --- Connectivity --------------------------------------------------------------------------

bool COrvantaMainDlg::CheckNetwork(const std::wstring& strUrl)
{
    using Outcome = NetworkCheckResult::Outcome;
    const NetworkCheckResult result = CheckNetworkAddress(strUrl);
    switch (result.outcome) {
    case Outcome::Answered:
        return true;
    case Outcome::NoHandle:
        DBG_LOG_W(L"InternetOpen() is fail.");
        break;
    case Outcome::BadAddress:
        DBG_LOG_W(L"AfxParseURL() is fail.");
        break;
    case Outcome::SendFailed:
        DBG_LOG_W(L"HttpSendRequest() is fail. %d", result.nCurlCode);
        break;
    case Outcome::NoStatus:
        DBG_LOG_W(L"HttpQueryInfo() is fail.");
        break;
    }
    return false;
}
