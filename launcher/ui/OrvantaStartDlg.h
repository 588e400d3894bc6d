#pragma once
#include "core/U_HttpDown.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QRect>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/HoverButton.h"
#include "ui/ProgressBar.h"

class CDbgLog;
class ILauncherShell;
class ISettingsStore;
class QLabel;

// The program's updater window while the start-up runs it. Nothing reads it to reach the
// window: the window hands itself to its engine (U_HttpDown::SetWindow).
extern std::atomic<QObject*> g_hStartDlg;

// What the window needs from the application: its command line, both as one text and as the
// arguments it was made of, its folder, the probe of the client's single-instance name, and
// the version-check server and test flag the command line chose.
struct LaunchContext
{
    std::wstring strCmdLine;
    std::vector<std::wstring> args;
    std::wstring strModulePath;
    // 1 when no process holds the name, 0 when one does.
    std::function<int(const std::wstring&)> checkDuplicate;
    VersionCheckConfig versionCheck;
};

// The launcher's only window. Invisible while the version check runs, a small centred,
// top-most progress window while an update downloads; every way out passes its close rules.
class COrvantaStartDlg : public QDialog
{
    Q_OBJECT
public:
    // Null services mean the process defaults.
    COrvantaStartDlg(LaunchContext context, ILauncherShell* pShell = nullptr, ISettingsStore* pSettings = nullptr,
                     CDbgLog* pLog = nullptr, QWidget* parent = nullptr);
    ~COrvantaStartDlg() override;

    // Runs the window until its close rules end it; the cancel or OK result.
    int DoModal();

    bool OnInitDialog();
    // 1 keeps the window, 0 lets it close; may end the process itself.
    int Check_CancelExit();
    void OnCancel();
    void OnClose();
    int On_VersionCheck_Exit(int nRet, int nErrDetail);
    void ExecMainCid();
    int OnDownStart();
    int OnDownProgress(qintptr nTotal, qintptr nDone);
    int OnDownRetry();
    int On_DownloadError(int nError);

    bool IsModalRunning() const { return m_bRunning; }
    bool HasEnded() const { return m_bEnded; }
    int ModalResult() const { return m_nResult; }

    static constexpr int kDesignWidth = 324;
    static constexpr int kDesignHeight = 206;

    CHoverButton m_btnCancel;
    CProgressBar m_ctrlProgress;
    QIcon m_hIcon;
    U_HttpDown m_HttpDown;
    QImage m_bmpBack;
    QRect m_rcWindow;
    std::wstring m_strVerText;

    QLabel* m_pVersionLabel;  // control 1000
    QLabel* m_pStatusText;    // control 1001
    QLabel* m_pByteCounts;    // control 1002

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void accept() override;
    void reject() override;
    void done(int nResult) override;

private:
    void ShowCentred();
    // Messages that come while the stop question is open wait for its answer: the window
    // must not run an installer or start anything under the question.
    struct DeferredMessage
    {
        QEvent::Type type;
        qintptr wParam;
        qintptr lParam;
    };
    void ReplayDeferred();
    // No installer to run after all: the give-up message, then the installed client.
    void GiveUpInstaller(const wchar_t* pszWhy);

    LaunchContext m_context;
    std::unique_ptr<ILauncherShell> m_pOwnShell;
    ILauncherShell* m_pShell;
    CDbgLog* m_pLog;
    QEventLoop m_loop;
    bool m_bRunning = false;
    bool m_bEnded = false;
    int m_nResult = QDialog::Rejected;
    bool m_bAsking = false;
    std::vector<DeferredMessage> m_deferred;
};
