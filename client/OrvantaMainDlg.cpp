#include "OrvantaMainDlg.h"

#include "CidEvents.h"
#include "CidManagerDlg.h"
#include "CidNotify.h"
#include "CrashDump.h"
#include "DbgLog.h"
#include "FrameMessages.h"
#include "JsonText.h"
#include "MainFrm.h"
#include "MainPageRules.h"
#include "MessagePrompt.h"
#include "NotiDlg.h"
#include "Orvanta.h"
#include "StartupEntries.h"
#include "TextConv.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <curl/curl.h>
#include <json/json.h>

#include <cstdlib>
#include <unistd.h>

namespace {
constexpr auto kPageWait = std::chrono::milliseconds(10000);

// The screen nearest to a rectangle: the one it overlaps most, else the closest centre.
QScreen* NearestScreen(const QRect& rect)
{
    QScreen* best = nullptr;
    long long bestArea = -1;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->geometry().intersected(rect);
        const long long area = overlap.isEmpty() ? 0 : 1LL * overlap.width() * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (bestArea <= 0) {
        long long bestDistance = -1;
        for (QScreen* screen : QGuiApplication::screens()) {
            const QPoint d = screen->geometry().center() - rect.center();
            const long long distance = 1LL * d.x() * d.x() + 1LL * d.y() * d.y();
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = screen;
            }
        }
    }
    return best != nullptr ? best : QGuiApplication::primaryScreen();
}

size_t ReadAtMost5000(char*, size_t size, size_t count, void* userdata)
{
    auto* total = static_cast<size_t*>(userdata);
    const size_t bytes = size * count;
    if (*total + bytes > 5000) {
        const size_t take = 5000 - *total;
        *total = 5000;
        return take;  // stops the transfer: enough read
    }
    *total += bytes;
    return bytes;
}
}  // namespace

COrvantaMainDlg::COrvantaMainDlg(CMainFrm* pMainFrm, CStartupEntries& startup,
                                 IMessagePrompt& prompt)
    : CHtmlDialog(pMainFrm), m_pMainFrm(pMainFrm), m_startup(startup), m_prompt(prompt)
{
}

COrvantaMainDlg::~COrvantaMainDlg()
{
    // The worker must not outlive the window it navigates.
    m_events.Stop();
    if (m_hPosInitThread.joinable()) {
        m_hPosInitThread.join();
    }
    // Frames still open stay with their own owners (the process ends with them).
    m_listAlertFrm.clear();
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

    COrvantaApp* pApp = COrvantaApp::Instance();
    const std::wstring strServerUrl = pApp != nullptr ? pApp->m_strServerUrl : std::wstring();
    const int nServerPort = pApp != nullptr ? pApp->m_nServerPort : -1;
    const bool bInitStarted = m_startup.IsInitStart();
    if (!bInitStarted) {
        m_startup.SetInitStart();
        m_startup.SetAutoRun(false);
    }
    m_strMainUrl = BuildMainUrl(strServerUrl, nServerPort, bInitStarted,
                                bInitStarted && m_startup.IsAutoRun());

    try {
        m_hPosInitThread = std::thread([this] { MainPosInitThread(); });
    } catch (const std::system_error& error) {
        DBG_LOG_W(L"CreateThread error: %d", error.code().value());
        if (m_pMainFrm != nullptr) {
            QMetaObject::invokeMethod(m_pMainFrm, &QWidget::close, Qt::QueuedConnection);
        }
    }
    SetSilent(true);
    return true;
}

void COrvantaMainDlg::MainPosInitThread()
{
    PrepareThreadForCrashDump();
    DBG_LOG_W(L"start...");
    bool bBorder = false;
    bool bPos = false;
    bool bTimedOutAfterBorder = false;
    for (;;) {
        if (!bBorder && CheckNetwork(m_strMainUrl)) {
            Navigate(m_strMainUrl, L"Cache-Control: no-cache, no-store, max-age=1");
        }
        const int nWait = m_events.WaitAny(kPageWait);
        if (nWait == kBorderEvent) {
            DBG_LOG_W(L"border event was signaled.");
            bBorder = true;
        } else if (nWait == kPosEvent) {
            DBG_LOG_W(L"pos event was signaled.");
            bPos = true;
        } else if (nWait == CWaitableEvents::kTimedOut) {
            DBG_LOG_W(L"Wait timed out. %d", 0);
            if (bBorder) {
                bTimedOutAfterBorder = true;
            } else {
                const bool bComplete = GetReadyState() == PageReadyState::Complete;
                const LoadRetry next = DecideLoadRetry(bComplete, m_nRetryCount);
                if (next == LoadRetry::GiveUp) {
                    GiveUp();
                    return;
                }
                if (next == LoadRetry::Retry) {
                    ++m_nRetryCount;
                    DBG_LOG_W(L"need retry %ls, %d", GetLocationURL().c_str(),
                              static_cast<int>(GetReadyState()));
                }
                continue;
            }
        } else {
            // Stopped: the window is going away.
            return;
        }
        if (bBorder && bPos) {
            ShowMainFrame(m_bCenterMainFrame != 0);
            return;
        }
        if (bTimedOutAfterBorder) {
            m_nLastWidth = kDefaultFrameWidth;
            m_nLastHeight = kDefaultFrameHeight;
            m_bCenterMainFrame = 1;
            ShowMainFrame(true);
            return;
        }
    }
}

void COrvantaMainDlg::GiveUp()
{
    QPointer<CMainFrm> frame = m_pMainFrm;
    IMessagePrompt* pPrompt = &m_prompt;
    QMetaObject::invokeMethod(qApp, [frame, pPrompt] {
        pPrompt->ShowTopmostInformation(kProductName, L"인터넷 연결을 확인하시고 다시 시도해 주십시오.");
        if (frame != nullptr) {
            frame->close();
        }
    }, Qt::QueuedConnection);
}

void COrvantaMainDlg::ShowMainFrame(bool bCenter)
{
    const int x = m_nLastX;
    const int y = m_nLastY;
    const int w = bCenter ? kDefaultFrameWidth : m_nLastWidth.load();
    const int h = bCenter ? kDefaultFrameHeight : m_nLastHeight.load();
    QPointer<CMainFrm> frame = m_pMainFrm;
    if (frame != nullptr) {
        QMetaObject::invokeMethod(frame, [frame, x, y, w, h, bCenter] {
            if (frame == nullptr) {
                return;
            }
            frame->SetPlaceState(1);
            frame->PositionFrame(QRect(x, y, w, h));
            if (bCenter) {
                QScreen* screen = NearestScreen(frame->geometry());
                frame->move(screen->geometry().center() - QPoint(w / 2, h / 2));
            }
        }, Qt::QueuedConnection);
    }
    DBG_LOG_W(L"MainFrame size : (%d, %d, %d, %d)", x, y, m_nLastWidth.load(),
              m_nLastHeight.load());
}

void COrvantaMainDlg::SignalEvent(int nIndex)
{
    m_events.Set(nIndex);
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
            self->SignalEvent(kPosEvent);
            return;
        }
        Json::Value root;
        if (ParseJsonText(strData, root) && root.isObject()) {
            try {
                self->m_nLastX = JsonGetInt(root, "lastX", 0);
                self->m_nLastY = JsonGetInt(root, "lastY", 0);
                self->m_nLastWidth = JsonGetInt(root, "lastWidth", kDefaultFrameWidth);
                self->m_nLastHeight = JsonGetInt(root, "lastHeight", kDefaultFrameHeight);
            } catch (const Json::Exception&) {
                DBG_LOG_W(L"json type error.[%ls]", strData.c_str());
            }
        }
        const QRect stored(self->m_nLastX, self->m_nLastY, self->m_nLastWidth, self->m_nLastHeight);
        self->m_bCenterMainFrame = 0;
        if (!IsStoredRectAcceptable(stored, NearestScreen(stored)->geometry())) {
            self->m_nLastWidth = kDefaultFrameWidth;
            self->m_nLastHeight = kDefaultFrameHeight;
            self->m_bCenterMainFrame = 1;
        }
        self->SignalEvent(kPosEvent);
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
    if (m_pMainFrm != nullptr) {
        m_pMainFrm->UpdateTrayIcon();
    }
}

void COrvantaMainDlg::OnLogout()
{
    DBG_LOG_W(L"logout msg recved. %d", m_bLogin);
    if (!m_bLogin) {
        return;
    }
    m_bLogin = 0;
    if (m_pMainFrm != nullptr) {
        RemoveAllAlertFrm();
        if (m_pMainFrm->CidManager() != nullptr) {
            m_pMainFrm->CidManager()->RemoveAllCidWindow();
        }
        m_pMainFrm->UpdateTrayIcon();
    }
}

void COrvantaMainDlg::OnDeleteAlertFrm(CMainFrm* pFrame)
{
    for (auto it = m_listAlertFrm.begin(); it != m_listAlertFrm.end(); ++it) {
        if (it->data() == pFrame && pFrame != nullptr) {
            m_listAlertFrm.erase(it);
            delete pFrame;
            return;
        }
    }
}

void COrvantaMainDlg::RemoveAllAlertFrm()
{
    std::list<QPointer<CMainFrm>> frames;
    frames.swap(m_listAlertFrm);
    for (const QPointer<CMainFrm>& frame : frames) {
        delete frame.data();  // a frame already gone is null here
    }
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
    if (m_bLogin && m_pMainFrm != nullptr) {
        m_pMainFrm->UpdateTrayIcon();
    }
}

void COrvantaMainDlg::FE_MAIN_UserAlert(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        return;
    }
    const std::wstring url = JsonGetText(root, "alertUrl");
    const Json::Value* size = JsonGetObject(root, "size");
    if (size == nullptr) {
        return;
    }
    const int nWidth = JsonGetInt(*size, "width", 0);
    const int nHeight = JsonGetInt(*size, "height", 0);

    CMainFrm::Parts parts;
    parts.createAlert = [](CMainFrm* pFrame, const QString& strUrl, int width, int height) -> QWidget* {
        auto* pNoti = new CNotiDlg(pFrame, strUrl.toStdWString());
        pNoti->SetOuterSize(width, height);
        pNoti->OnInitDialog();
        return pNoti;
    };
    auto* pFrame = new CMainFrm(std::move(parts), 0);
    pFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    if (CMainFrm::AppMainFrame() != nullptr) {
        m_listAlertFrm.push_back(pFrame);
        // A frame destroyed some other way leaves the list, so it is never deleted twice.
        connect(pFrame, &QObject::destroyed, this, [this, pFrame] {
            m_listAlertFrm.remove_if([pFrame](const QPointer<CMainFrm>& f) {
                return f.isNull() || f.data() == pFrame;
            });
        });
    }
    pFrame->ShowAlert(QString::fromStdWString(url), nWidth, nHeight, m_clrBorder, m_nTitleHeight);
}

void COrvantaMainDlg::FE_MAIN_Log(const std::wstring& strArg)
{
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        DBG_LOG_W(L"json parsing failed.[%ls]", strArg.c_str());
        return;
    }
    g_DbgLog.GD_DebugPrintNoLocA("[%s][%s][%s][%s]", JsonGetTextA(root, "time").c_str(),
                                 JsonGetTextA(root, "level").c_str(),
                                 JsonGetTextA(root, "kind").c_str(),
                                 JsonGetTextA(root, "msg").c_str());
}

void COrvantaMainDlg::FE_MAIN_Document_Ready(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        return;
    }
    LoadProgramData();

    if (const Json::Value* border = JsonGetObject(root, "border")) {
        const int nSize = JsonGetInt(*border, "size", 0);
        const int r = JsonGetInt(*border, "colorR", 0) & 0xFF;
        const int g = JsonGetInt(*border, "colorG", 0) & 0xFF;
        const int b = JsonGetInt(*border, "colorB", 0) & 0xFF;
        m_clrBorder = QColor(r, g, b);
        m_nTitleHeight = 25;
        m_nBorderSize = nSize;
        if (m_pMainFrm != nullptr) {
            m_pMainFrm->SetFrameLook(m_clrBorder, m_nTitleHeight, m_nBorderSize);
        }
    }
    if (const Json::Value* minSize = JsonGetObject(root, "minSize")) {
        const int nWidth = JsonGetInt(*minSize, "width", 0);
        const int nHeight = JsonGetInt(*minSize, "height", 0);
        if (m_pMainFrm != nullptr) {
            m_pMainFrm->SetMinTrackSize(QSize(nWidth + 2 * m_nBorderSize,
                                              nHeight + m_nTitleHeight + m_nBorderSize));
        }
    }
    if (m_pCidManager != nullptr) {
        m_pCidManager->ApplyDocumentReadyTypeSizes(root);
    }
    SignalEvent(kBorderEvent);
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
        const std::wstring phone = JsonGetText(element, "userPhone");
        if (phone.empty() || m_pCidManager == nullptr) {
            continue;
        }
        m_pCidManager->m_mapAllowCtc[phone] = JsonGetBool(element, "ctc", true) ? 1 : 0;
        m_pCidManager->m_mapAllowMsgSend[phone] = JsonGetBool(element, "msgSend", true) ? 1 : 0;
    }
}

bool COrvantaMainDlg::FE_MAIN_Foreground(const std::wstring& strArg)
{
    Json::Value root;
    if (!ParseJsonText(strArg, root)) {
        return false;
    }
    bool bResult = false;
    if (JsonGetBool(root, "setForeground", true)) {
        const bool bWasVisible = m_pMainFrm != nullptr && m_pMainFrm->isVisible() &&
                                 !m_pMainFrm->isMinimized();
        if (m_pMainFrm != nullptr) {
            m_pMainFrm->OnTrayShow();
        }
        activateWindow();
        bResult = !bWasVisible;
    } else if (m_pMainFrm != nullptr) {
        m_pMainFrm->showMinimized();
    }
    DBG_LOG_W(L"return %d", bResult ? 1 : 0);
    return bResult;
}

void COrvantaMainDlg::FE_MAIN_CidOpt_Change(const std::wstring& strArg)
{
    if (m_pCidManager != nullptr) {
        m_pCidManager->ApplyCidOptChange(strArg);
    }
}

std::wstring COrvantaMainDlg::FE_CID_Get_ClientVersion()
{
    COrvantaApp* pApp = COrvantaApp::Instance();
    return pApp != nullptr ? pApp->GetInstalledVersion() : std::wstring();
}

// --- Call, message, recording and schedule notifications ------------------------------------

void COrvantaMainDlg::FE_MAIN_Call_Send_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    PostCidNotification(static_cast<int>(CidNotiKind::CallSend), strArg);
}

void COrvantaMainDlg::FE_MAIN_Call_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    PostCidNotification(static_cast<int>(CidNotiKind::CallRecv), strArg);
}

void COrvantaMainDlg::FE_MAIN_Msg_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    PostCidNotification(static_cast<int>(CidNotiKind::MsgRecv), strArg);
}

void COrvantaMainDlg::PostCidNotification(int nKind, const std::wstring& strArg)
{
    COrvantaApp* pApp = COrvantaApp::Instance();
    CidNotifyContext context;
    context.strServerUrl = pApp != nullptr ? pApp->m_strServerUrl : std::wstring();
    context.nServerPort = pApp != nullptr ? pApp->m_nServerPort : -1;
    context.strLoginSession = m_strLoginSession;
    if (m_pCidManager != nullptr) {
        context.nManagerCidType = m_pCidManager->m_nCidType;
    }
    CidNotifyResult result = MakeCidRequest(static_cast<CidNotiKind>(nKind), strArg, context);
    if (!result.bParsed) {
        return;
    }
    // The size the page reports applies to every later popup of that type, so it is stored even
    // when this request goes no further.
    if (result.typeInfo.nCidType > 0 && m_pCidManager != nullptr) {
        m_pCidManager->m_mapCidTypeSize[result.typeInfo.nCidType] = {result.typeInfo.nWidth,
                                                                     result.typeInfo.nHeight};
    }
    if (!result.pRequest) {
        DBG_LOG_W(L"request dropped: %ls holds %d characters, room for %d",
                  result.strTooLongField.c_str(), static_cast<int>(result.nTooLongLength),
                  static_cast<int>(result.nTooLongRoom));
        return;
    }
    if (m_pCidManager != nullptr) {
        PostCidRequest(m_pCidManager, std::move(result.pRequest));
    }
}

void COrvantaMainDlg::FE_MAIN_Call_Record_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    if (m_pCidManager != nullptr) {
        PostCidText(m_pCidManager, kCidRecordEvent, strArg);
    }
}

void COrvantaMainDlg::FE_MAIN_SchR_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    PostScheduleNotification(strArg);
}

void COrvantaMainDlg::FE_MAIN_SchC_Recv_Noti(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    PostScheduleNotification(strArg);
}

void COrvantaMainDlg::PostScheduleNotification(const std::wstring& strArg)
{
    std::optional<std::wstring> text = MakeScheduleText(strArg, m_strLoginSession);
    if (text && m_pCidManager != nullptr) {
        PostCidText(m_pCidManager, kCidScheduleEvent, std::move(*text));
    }
}

// --- Connectivity --------------------------------------------------------------------------

bool COrvantaMainDlg::CheckNetwork(const std::wstring& strUrl)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        DBG_LOG_W(L"InternetOpen() is fail.");
        return false;
    }
    bool bResult = false;
    CURLU* url = curl_url();
    const std::string address = WideToUtf8(strUrl);
    struct curl_slist* headers = nullptr;
    if (url == nullptr || curl_url_set(url, CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
        DBG_LOG_W(L"AfxParseURL() is fail.");
    } else {
        // The address's own scheme: a plain-HTTP service must be reachable too.
        size_t nRead = 0;
        headers = curl_slist_append(headers, "Accept: */*");
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
        curl_easy_setopt(curl, CURLOPT_CURLU, url);
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "HTTPTEST");
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 9000L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReadAtMost5000);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &nRead);
        const CURLcode code = curl_easy_perform(curl);
        long nStatus = 0;
        if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && nRead >= 5000)) {
            DBG_LOG_W(L"HttpSendRequest() is fail. %d", static_cast<int>(code));
        } else if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &nStatus) != CURLE_OK ||
                   nStatus == 0) {
            DBG_LOG_W(L"HttpQueryInfo() is fail.");
        } else {
            bResult = true;  // any status is an answer
        }
    }
    curl_slist_free_all(headers);
    curl_url_cleanup(url);
    curl_easy_cleanup(curl);
    return bResult;
}
