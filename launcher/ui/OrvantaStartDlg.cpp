#include "ui/OrvantaStartDlg.h"

#include "diag/DbgLog.h"
#include "platform/InstanceLock.h"
#include "core/LauncherEvents.h"
#include "ui/LauncherResources.h"
#include "ui/LauncherShell.h"
#include "platform/ProgramNames.h"
#include "ResourceIds.h"
#include "core/UpdaterRules.h"
#include "core/VersionCheck.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

std::atomic<QObject*> g_hStartDlg{nullptr};

namespace {
const wchar_t* const kFileLabel = L"OrvantaStartDlg";
const wchar_t* const kCheckFunc = L"COrvantaStartDlg::Check_CancelExit";
const wchar_t* const kExitFunc = L"COrvantaStartDlg::On_VersionCheck_Exit";

// The default face whose line (cell) height is at most nHeight pixels, as a font height
// means on the desktop the window was designed for.
QFont FontOfHeight(int nHeight)
{
    QFont font;
    for (int nPixels = nHeight; nPixels > 6; --nPixels) {
        font.setPixelSize(nPixels);
        if (QFontMetrics(font).height() <= nHeight) {
            break;
        }
    }
    return font;
}

int ProbeInstanceName(const std::wstring& strName)
{
    FileInstanceLock lock;
    const LockResult result = lock.Acquire(strName);
    lock.Release();
    return result == LockResult::AlreadyExists ? 0 : 1;
}
}  // namespace

COrvantaStartDlg::COrvantaStartDlg(LaunchContext context, ILauncherShell* pShell, ISettingsStore* pSettings,
                                   CDbgLog* pLog, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint),
      m_btnCancel(this),
      m_ctrlProgress(this),
      // Declared before m_context: built from the parameter, not the member.
      m_HttpDown(context.versionCheck, pSettings, pLog),
      m_pVersionLabel(new QLabel(QStringLiteral("버전 000.000.000"), this)),
      m_pStatusText(new QLabel(QStringLiteral("staticVersionCheckProcess"), this)),
      m_pByteCounts(new QLabel(QStringLiteral("0 K / 0 K"), this)),
      m_context(std::move(context)),
      m_pShell(pShell),
      m_pLog(pLog != nullptr ? pLog : &g_DbgLog)
{
    if (m_pShell == nullptr) {
        auto pOwn = std::make_unique<LauncherShell>();
        m_pShell = pOwn.get();
        m_pOwnShell = std::move(pOwn);
    }
    if (!m_context.checkDuplicate) {
        m_context.checkDuplicate = ProbeInstanceName;
    }
    m_btnCancel.setText(QStringLiteral("취소"));
    connect(&m_btnCancel, &QAbstractButton::clicked, this, [this] { OnCancel(); });
}

COrvantaStartDlg::~COrvantaStartDlg()
{
    // Workers must find no window from here on; the engine then stops and joins them.
    m_HttpDown.SetWindow(nullptr);
    m_HttpDown.StopDownload();
}

int COrvantaStartDlg::DoModal()
{
    OnInitDialog();
    if (m_bEnded) {
        return m_nResult;
    }
    m_bRunning = true;
    m_loop.exec();
    return m_nResult;
}

bool COrvantaStartDlg::OnInitDialog()
{
    EnsureLauncherResources();
    m_hIcon = QIcon(QPixmap::fromImage(LoadLauncherPicture(IDI_START_ICON)));

    // The client runs: bring it forward and close; the close rules start nothing then.
    if (m_context.checkDuplicate(kInstanceMutexName) == 0) {
        m_pShell->SendDuplicateProcessMessage(std::to_wstring(static_cast<unsigned long long>(
            reinterpret_cast<uintptr_t>(this))));
        PostCloseRequest(this);
    }

    setWindowIcon(m_hIcon);
    m_bmpBack = LoadLauncherPicture(IDB_START_BACK);
    setWindowTitle(QString::fromStdWString(kUpdaterCaption));

    setGeometry(0, 0, kDesignWidth, kDesignHeight);
    m_rcWindow = QRect(0, 0, kDesignWidth, kDesignHeight);
    // Zero size and hidden while the check runs: nothing shows unless a download starts.
    resize(0, 0);

    m_pStatusText->setFont(FontOfHeight(16));
    m_pVersionLabel->setFont(FontOfHeight(14));
    m_pByteCounts->setFont(FontOfHeight(14));
    m_pVersionLabel->setAutoFillBackground(true);
    QPalette labelPalette = m_pVersionLabel->palette();
    labelPalette.setColor(QPalette::Window, Qt::white);
    m_pVersionLabel->setPalette(labelPalette);
    m_pStatusText->setAttribute(Qt::WA_TranslucentBackground);
    m_pByteCounts->setAttribute(Qt::WA_TranslucentBackground);
    m_pStatusText->setWordWrap(true);
    m_pStatusText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pByteCounts->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_ctrlProgress.setRange(1, 100);
    m_ctrlProgress.SetBkColor(Qt::white);
    m_ctrlProgress.SetBarColor(QColor(255, 189, 129));
    m_ctrlProgress.RecalcShades();
    m_ctrlProgress.repaint();

    m_btnCancel.LoadBitmap(LoadLauncherPicture(IDB_START_CANCEL));
    m_btnCancel.setGeometry(134, 173, 58, 21);
    m_pVersionLabel->setGeometry(230, 5, 80, 15);
    m_pStatusText->setGeometry(25, 80, 240, 30);
    m_pByteCounts->setGeometry(190, 130, 112, 15);
    m_ctrlProgress.setGeometry(20, 120, 280, 10);

    m_HttpDown.SetWindow(this);
    m_HttpDown.SetDownloadStarter([this] { return m_HttpDown.StartThread(); });
    m_HttpDown.VersionCheckStart();

    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::OnInitDialog() end[line: %d, function: %ls, file: %ls", __LINE__,
                              L"COrvantaStartDlg::OnInitDialog", kFileLabel);
    return false;
}

int COrvantaStartDlg::Check_CancelExit()
{
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::Check_CancelExit() start. IsNecessaryUpdate=%d[line: %d, function: %ls, file: %ls]",
                              m_HttpDown.m_nUpdateFlag.load(), __LINE__, kCheckFunc, kFileLabel);
    switch (DecideCloseAction(m_HttpDown.m_nUpdateFlag)) {
    case CloseAction::AskToStopUpdate: {
        // Wherever the worker is, in a transfer or between two: nothing may finish, fail or
        // start the installer while the user decides.
        if (m_HttpDown.DownloadWorkerExists()) {
            m_HttpDown.PauseDownload();
        }
        m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::Check_CancelExit() 패치 파일 다운로드 일시중지.");
        m_bAsking = true;
        const bool bYes = m_pShell->AskYesNo(this, kUpdaterCaption, MakeStopUpdateQuestion());
        m_bAsking = false;
        if (!bYes) {
            if (m_HttpDown.DownloadWorkerExists()) {
                m_HttpDown.ResumeDownload();
            }
            m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::Check_CancelExit() 패치 파일 다운로드 계속.[line: %d, function: %ls, file: %ls]",
                                      __LINE__, kCheckFunc, kFileLabel);
            ReplayDeferred();
            return 1;
        }
        m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::Check_CancelExit() 사용자 취소.[line: %d, function: %ls, file: %ls]",
                                  __LINE__, kCheckFunc, kFileLabel);
        // What the engine said meanwhile no longer matters: the old client runs, the
        // installer must not.
        m_deferred.clear();
        On_VersionCheck_Exit(kExitStartClient, 0);
        // The worker stays paused.
        m_HttpDown.m_nUpdateFlag = kUpdateFlagStopped;
        break;
    }
    case CloseAction::EndProcess:
        m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::Check_CancelExit() 끝.[line: %d, function: %ls, file: %ls]",
                                  __LINE__, kCheckFunc, kFileLabel);
        m_pShell->EndProcess(0);
        break;
    case CloseAction::StartClient:
        On_VersionCheck_Exit(kExitStartClient, 0);
        break;
    }
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::Check_CancelExit() end.");
    return 0;
}

void COrvantaStartDlg::OnCancel()
{
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::OnCancel() WM_CANCEL.");
    if (Check_CancelExit() == 1) {
        m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::OnCancel() Check_CancelExit return false.");
        return;
    }
    done(QDialog::Rejected);
}

void COrvantaStartDlg::OnClose()
{
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::OnClose() WM_CLOSE.");
    if (Check_CancelExit() == 1) {
        m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::OnClose() Check_CancelExit return false.");
        return;
    }
    // The default close processing turns the request into the cancel command.
    OnCancel();
}

int COrvantaStartDlg::On_VersionCheck_Exit(int nRet, int nErrDetail)
{
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::On_VersionCheck_Exit() start");
    m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::On_VersionCheck_Exit() nRet=%d, nErrDetail=%d", nRet, nErrDetail);
    if (nRet == kExitRunInstaller) {
        if (m_HttpDown.m_nUpdateFlag == kUpdateFlagStopped) {
            return 0;  // the user stopped the update
        }
        if (!m_pShell->ClientWindowExists()) {
            if (!m_HttpDown.IsInstallerVerified()) {
                GiveUpInstaller(L"not verified");
                return 0;
            }
            const std::wstring strPath = m_HttpDown.GetDownFilePath();
            m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::On_VersionCheck_Exit() 다운로드 받은 업데이트파일 실행. m_HttpDown.GetDownFilePath()=%ls[line: %d, function: %ls, file: %ls]",
                                      strPath.c_str(), __LINE__, kExitFunc, kFileLabel);
            if (!m_pShell->RunInstaller(strPath, {m_context.strModulePath, m_context.strCmdLine, m_HttpDown.m_strSrvVer})) {
                GiveUpInstaller(L"could not be started");
                return 0;
            }
        }
        m_HttpDown.m_nUpdateFlag = kUpdateFlagFinished;
        PostCloseRequest(this);
        return 0;
    }
    if (nRet == kExitStartClient) {
        if (!m_pShell->ClientWindowExists()) {
            m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::On_VersionCheck_Exit() exec main[line: %d, function: %ls, file: %ls]",
                                      __LINE__, kExitFunc, kFileLabel);
            ExecMainCid();
        }
        m_pLog->GD_DebugPrintNoLocA("COrvantaStartDlg::On_VersionCheck_Exit() 업그레이드 필요 없음.");
    } else {
        m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::On_VersionCheck_Exit() 버전검사 완료 못 함. nRet=%d[line: %d, function: %ls, file: %ls]",
                                  nRet, __LINE__, kExitFunc, kFileLabel);
    }
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::On_VersionCheck_Exit() end[line: %d, function: %ls, file: %ls]",
                              __LINE__, kExitFunc, kFileLabel);
    m_HttpDown.m_nUpdateFlag = kUpdateFlagFinished;
    return 0;
}

void COrvantaStartDlg::ExecMainCid()
{
    const wchar_t* const kFunc = L"COrvantaStartDlg::ExecMainCid";
    const std::wstring strParams = MakeClientParameters(m_context.strCmdLine);
    const std::wstring strProgram = m_context.strModulePath + kClientFileName;
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::ExecMainCid() Orvanta.exe=%ls cmd=%ls[line: %d, function: %ls, file: %ls]",
                              strProgram.c_str(), strParams.c_str(), __LINE__, kFunc, kFileLabel);
    m_pShell->StartClient(strProgram, MakeClientArguments(m_context.args));
    for (int nWait = 0; nWait < kClientWaitCount && !m_pShell->ClientWindowExists(); ++nWait) {
        m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::ExecMainCid() %d번째 [line: %d, function: %ls, file: %ls]", nWait,
                                  __LINE__, kFunc, kFileLabel);
        m_pShell->Sleep(kClientWaitMs);
    }
}

void COrvantaStartDlg::GiveUpInstaller(const wchar_t* pszWhy)
{
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::On_VersionCheck_Exit() installer %ls: %ls[line: %d, function: %ls, file: %ls]",
                              pszWhy, m_HttpDown.GetDownFilePath().c_str(), __LINE__, kExitFunc, kFileLabel);
    On_DownloadError(kDownloadErrorCode);
    // Ends the way every finished run ends; the window no longer waits for anything.
    m_HttpDown.m_nUpdateFlag = kUpdateFlagFinished;
}

void COrvantaStartDlg::ReplayDeferred()
{
    std::vector<DeferredMessage> pending;
    pending.swap(m_deferred);
    for (const DeferredMessage& message : pending) {
        if (message.type == QEvent::Close) {
            PostCloseRequest(this);
        } else {
            PostLauncherMessage(this, message.type, message.wParam, message.lParam);
        }
    }
}

void COrvantaStartDlg::ShowCentred()
{
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const QSize screen = pScreen != nullptr ? pScreen->size() : QSize(kDesignWidth, kDesignHeight);
    const CentredPos pos = CentreOnScreen(screen.width(), screen.height(), m_rcWindow.width(), m_rcWindow.height());
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(pos.x, pos.y, m_rcWindow.width(), m_rcWindow.height());
    show();
    raise();
}

int COrvantaStartDlg::OnDownStart()
{
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const QSize screen = pScreen != nullptr ? pScreen->size() : QSize(kDesignWidth, kDesignHeight);
    const CentredPos pos = CentreOnScreen(screen.width(), screen.height(), m_rcWindow.width(), m_rcWindow.height());
    m_pLog->GD_DebugPrintNoLocA("다운로드 시작 : 화면 Show. x=%d, y=%d, w=%d, h=%d", pos.x, pos.y, m_rcWindow.width(),
                                m_rcWindow.height());
    ShowCentred();
    m_strVerText = m_HttpDown.m_strSrvVer;
    const QString label = QString::fromStdWString(MakeVersionLabel(m_strVerText));
    // The label's box is small: a wide face must not cut the version off.
    QFont font = m_pVersionLabel->font();
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(label) > m_pVersionLabel->width()) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    m_pVersionLabel->setFont(font);
    m_pVersionLabel->setText(label);
    m_pStatusText->setText(QString::fromStdWString(kDownloadingText));
    update();
    return 0;
}

int COrvantaStartDlg::OnDownProgress(qintptr nTotal, qintptr nDone)
{
    const auto nDoneSigned = static_cast<int32_t>(nDone);
    const auto nTotalUnsigned = static_cast<uint32_t>(nTotal);
    m_ctrlProgress.SetPos(ProgressPosition(nDoneSigned, nTotalUnsigned));
    update(m_pByteCounts->geometry());
    m_pByteCounts->setText(QString::fromStdWString(MakeByteCountText(nDoneSigned, nTotalUnsigned)));
    return 0;
}

int COrvantaStartDlg::OnDownRetry()
{
    update(m_pStatusText->geometry());
    m_pStatusText->setText(QString::fromStdWString(MakeRetryText(m_HttpDown.Download().m_nRestartCount)));
    return 0;
}

int COrvantaStartDlg::On_DownloadError(int nError)
{
    (void)nError;
    const int nFlag = m_HttpDown.m_nUpdateFlag;
    m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::On_DownloadError() %d [line: %d, function: %ls, file: %ls]", nFlag,
                              __LINE__, L"COrvantaStartDlg::On_DownloadError", kFileLabel);
    ShowCentred();
    m_pShell->ShowInformation(this, kUpdaterCaption, kDownloadErrorText);
    const bool bClient = m_pShell->ClientWindowExists();
    m_pLog->GD_DebugPrintNoLocA("U_HttpDown::On_DownloadError() IsNecessaryUpdate=%d, nUpdateFlag=%d, m_bAlready_ExeMain=%d",
                                m_HttpDown.m_nUpdateFlag.load(), nFlag, bClient ? 1 : 0);
    if (!bClient) {
        m_pLog->GD_DebugPrintTagW(L"COrvantaStartDlg::On_DownloadError() exec main[line: %d, function: %ls, file: %ls]",
                                  __LINE__, L"COrvantaStartDlg::On_DownloadError", kFileLabel);
        ExecMainCid();
    }
    done(QDialog::Accepted);
    return 0;
}

bool COrvantaStartDlg::event(QEvent* event)
{
    AcceptWorkerPosts();
    const auto* pMessage = dynamic_cast<LauncherMessageEvent*>(event);
    if (pMessage != nullptr) {
        const QEvent::Type type = event->type();
        if (m_bAsking) {
            m_deferred.push_back({type, pMessage->WParam(), pMessage->LParam()});
            return true;
        }
        if (type == WM_VERSIONCHECK_EXIT) {
            On_VersionCheck_Exit(static_cast<int>(pMessage->WParam()), static_cast<int>(pMessage->LParam()));
        } else if (type == WM_DOWN_PROGRESS) {
            OnDownProgress(pMessage->WParam(), pMessage->LParam());
        } else if (type == WM_DOWN_RETRY) {
            OnDownRetry();
        } else if (type == WM_DOWN_START) {
            OnDownStart();
        } else if (type == WM_DOWN_ERROR) {
            On_DownloadError(static_cast<int>(pMessage->WParam()));
        }
        return true;
    }
    return QDialog::event(event);
}

void COrvantaStartDlg::closeEvent(QCloseEvent* event)
{
    // The close rules decide; Qt must not hide the window on its own.
    event->ignore();
    if (m_bAsking) {
        m_deferred.push_back({QEvent::Close, 0, 0});
        return;
    }
    OnClose();
}

void COrvantaStartDlg::paintEvent(QPaintEvent* event)
{
    if (!m_bmpBack.isNull()) {
        QPainter painter(this);
        painter.drawImage(QRect(0, 0, m_rcWindow.width(), m_rcWindow.height()), m_bmpBack);
    }
    QDialog::paintEvent(event);
}

void COrvantaStartDlg::mousePressEvent(QMouseEvent* event)
{
    // The whole window is its caption.
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
        return;
    }
    QDialog::mousePressEvent(event);
}

void COrvantaStartDlg::accept()
{
    // Enter does nothing.
}

void COrvantaStartDlg::reject()
{
    OnCancel();
}

void COrvantaStartDlg::done(int nResult)
{
    m_nResult = nResult;
    m_bEnded = true;
    QDialog::done(nResult);
    hide();
    if (m_bRunning) {
        m_bRunning = false;
        m_loop.quit();
    }
}
