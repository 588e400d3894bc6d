// The updater window with a fake desktop: its close rules, what it starts, and its texts.
#include "ui/HoverButton.h"
#include "core/LauncherEvents.h"
#include "ui/LauncherResources.h"
#include "ui/LauncherShell.h"
#include "LauncherTestLog.h"
#include "ui/OrvantaStartDlg.h"
#include "platform/ProgramNames.h"
#include "ui/ProgressBar.h"
#include "ResourceIds.h"
#include "core/UpdaterRules.h"
#include "core/VersionCheck.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

#include <functional>

namespace {

// Records every call in order; the client's window appears after `nWindowAfterChecks` checks
// (never when negative).
class FakeShell : public ILauncherShell
{
public:
    bool ClientWindowExists() override
    {
        calls.push_back(L"check");
        ++nChecks;
        return nWindowAfterChecks >= 0 && nChecks > nWindowAfterChecks;
    }
    bool SendDuplicateProcessMessage(const std::wstring&) override
    {
        calls.push_back(L"duplicate");
        return true;
    }
    void StartClient(const std::wstring& strProgram, const std::vector<std::wstring>& args) override
    {
        calls.push_back(L"client");
        program = strProgram;
        clientArgs = args;
    }
    bool RunInstaller(const std::wstring& strPath, const InstallerHandOver& handOver) override
    {
        calls.push_back(L"installer");
        installer = strPath;
        installerHandOver = handOver;
        return installerStarts;
    }
    void Sleep(unsigned int nMilliseconds) override { sleeps.push_back(nMilliseconds); }
    void EndProcess(int nExitCode) override
    {
        calls.push_back(L"end" + std::to_wstring(nExitCode));
    }
    bool AskYesNo(QWidget*, const std::wstring& strCaption, const std::wstring& strText) override
    {
        calls.push_back(L"ask");
        questions.push_back(strCaption + L"|" + strText);
        if (whileAsking) {
            whileAsking();
        }
        return answerYes;
    }
    void ShowInformation(QWidget*, const std::wstring& strCaption, const std::wstring& strText) override
    {
        calls.push_back(L"info");
        information.push_back(strCaption + L"|" + strText);
    }

    size_t Count(const std::wstring& call) const
    {
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
    }

    int nWindowAfterChecks = -1;
    int nChecks = 0;
    bool answerYes = false;
    bool installerStarts = true;
    // Runs inside the question, as the real box's own event loop would deliver what arrives.
    std::function<void()> whileAsking;
    std::vector<std::wstring> calls;
    std::vector<unsigned int> sleeps;
    std::wstring program;
    std::vector<std::wstring> clientArgs;
    std::wstring installer;
    InstallerHandOver installerHandOver;
    std::vector<std::wstring> questions;
    std::vector<std::wstring> information;
};

// A version-check server that refuses every connection at once.
const VersionCheckConfig kNoServer{L"127.0.0.1:1", 0};

class UpdaterWindow : public ::testing::Test
{
protected:
    std::unique_ptr<COrvantaStartDlg> MakeWindow()
    {
        LaunchContext context{L"[LogEnable=Y] [URL=x]", {L"[LogEnable=Y]", L"[URL=x]"}, L"/opt/orvanta/",
                              [](const std::wstring&) { return 1; }, kNoServer};
        return std::make_unique<COrvantaStartDlg>(context, &m_shell, &m_log.store, &m_log.log);
    }

    FakeShell m_shell;
    LauncherTestLog m_log;
    const std::wstring m_token = L"[" + std::wstring(kLaunchToken) + L"]";
};

struct StartCase
{
    const char* name;
    int nFlag;
};

class CloseStartsTheClient : public UpdaterWindow, public ::testing::WithParamInterface<StartCase>
{
};

TEST_P(CloseStartsTheClient, ThenEndsTheProcessOnTheSecondPass)
{
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = GetParam().nFlag;

    dlg->OnClose();

    // First pass starts the client and sets the flag to 1; the cancel that follows ends.
    EXPECT_EQ(m_shell.Count(L"client"), 1u);
    EXPECT_EQ(m_shell.program, L"/opt/orvanta/Orvanta_Vexa");
    EXPECT_EQ(m_shell.clientArgs, (std::vector<std::wstring>{m_token, L"[LogEnable=Y]", L"[URL=x]"}));
    EXPECT_EQ(m_shell.calls.back(), L"end0");
    EXPECT_EQ(m_shell.Count(L"ask"), 0u);
    EXPECT_EQ(dlg->m_HttpDown.m_nUpdateFlag.load(), kUpdateFlagFinished);
    EXPECT_EQ(m_log.CountStartingWith(L"COrvantaStartDlg::ExecMainCid() Orvanta.exe=/opt/orvanta/Orvanta_Vexa cmd=[" +
                                      std::wstring(kLaunchToken) + L"] [LogEnable=Y] [URL=x][line: "),
              1u);
    EXPECT_EQ(m_log.Count(L"COrvantaStartDlg::OnClose() WM_CLOSE."), 1u);
    EXPECT_EQ(m_log.Count(L"COrvantaStartDlg::OnCancel() WM_CANCEL."), 1u);
}

INSTANTIATE_TEST_SUITE_P(Flags, CloseStartsTheClient,
                         ::testing::Values(StartCase{"NoAnswerYet", kUpdateFlagNoAnswer},
                                           StartCase{"NoUpdate", kUpdateFlagNoUpdate},
                                           StartCase{"FailedCheck", kUpdateFlagNotJson},
                                           StartCase{"NoWorker", kUpdateFlagStopped}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdaterWindow, RunningClientIsNeitherStartedAgainNorGivenTheInstaller)
{
    m_shell.nWindowAfterChecks = 0;
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagNoUpdate;
    dlg->OnClose();
    EXPECT_EQ(m_shell.Count(L"client"), 0u);
    EXPECT_EQ(m_shell.calls.back(), L"end0");

    auto dlg2 = MakeWindow();
    dlg2->On_VersionCheck_Exit(kExitRunInstaller, 0);
    EXPECT_EQ(m_shell.Count(L"installer"), 0u);
    EXPECT_EQ(dlg2->m_HttpDown.m_nUpdateFlag.load(), kUpdateFlagFinished);
}

TEST_F(UpdaterWindow, ClientWindowIsAwaitedAtMostTenTimes)
{
    auto dlg = MakeWindow();
    dlg->ExecMainCid();
    EXPECT_EQ(m_shell.sleeps, std::vector<unsigned int>(10, 100u));
    EXPECT_EQ(m_log.CountStartingWith(L"COrvantaStartDlg::ExecMainCid() 9번째 [line: "), 1u);

    FakeShell appearing;
    appearing.nWindowAfterChecks = 3;
    LaunchContext context{L"", {}, L"/p/", [](const std::wstring&) { return 1; }, kNoServer};
    COrvantaStartDlg dlg2(context, &appearing, &m_log.store, &m_log.log);
    dlg2.ExecMainCid();
    EXPECT_EQ(appearing.sleeps.size(), 3u);
    EXPECT_EQ(appearing.clientArgs, std::vector<std::wstring>{m_token});
}

TEST_F(UpdaterWindow, FinishedFlagEndsTheProcessAtOnce)
{
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagFinished;
    dlg->OnCancel();
    EXPECT_EQ(m_shell.calls, std::vector<std::wstring>{L"end0"});
}

TEST_F(UpdaterWindow, NoToTheQuestionKeepsTheWindowAndTheDownload)
{
    m_shell.answerYes = false;
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagUpdate;

    dlg->OnClose();

    EXPECT_EQ(m_shell.calls, std::vector<std::wstring>{L"ask"});
    EXPECT_EQ(m_shell.questions.at(0), std::wstring(kUpdaterCaption) + L"|" + MakeStopUpdateQuestion());
    EXPECT_FALSE(dlg->HasEnded());
    EXPECT_FALSE(dlg->m_HttpDown.IsDownloadPaused());
    EXPECT_EQ(dlg->m_HttpDown.m_nUpdateFlag.load(), kUpdateFlagUpdate);
    EXPECT_EQ(m_log.Count(L"COrvantaStartDlg::OnClose() Check_CancelExit return false."), 1u);
}

TEST_F(UpdaterWindow, YesToTheQuestionStartsTheOldClientAndEndsWithoutTheInstaller)
{
    m_shell.answerYes = true;
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagUpdate;

    dlg->OnCancel();

    EXPECT_EQ(m_shell.Count(L"client"), 1u);
    EXPECT_EQ(m_shell.Count(L"installer"), 0u);
    EXPECT_EQ(m_shell.Count(L"end0"), 0u) << "the modal run ends; start-up ends the process";
    EXPECT_TRUE(dlg->HasEnded());
    EXPECT_EQ(dlg->ModalResult(), QDialog::Rejected);
    EXPECT_EQ(dlg->m_HttpDown.m_nUpdateFlag.load(), kUpdateFlagStopped);
}

TEST_F(UpdaterWindow, EnterDoesNothingAndEscapeRunsTheCloseRules)
{
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagNoAnswer;
    QMetaObject::invokeMethod(dlg.get(), "accept", Qt::DirectConnection);
    EXPECT_TRUE(m_shell.calls.empty());
    EXPECT_FALSE(dlg->HasEnded());

    QMetaObject::invokeMethod(dlg.get(), "reject", Qt::DirectConnection);
    EXPECT_EQ(m_shell.Count(L"client"), 1u);
    EXPECT_TRUE(dlg->HasEnded());
}

TEST_F(UpdaterWindow, DownloadedInstallerIsStartedWithItsHandOverAndTheWindowAsksToClose)
{
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagUpdate;
    dlg->m_HttpDown.m_strSrvVer = L"001000002";
    dlg->m_HttpDown.State().strDownFilePath = L"/tmp/x/Orva_Update.exe";
    dlg->m_HttpDown.State().bInstallerVerified = true;  // as the engine leaves a checked file

    QCoreApplication::postEvent(dlg.get(), new LauncherMessageEvent(WM_VERSIONCHECK_EXIT, kExitRunInstaller, 0));
    QCoreApplication::sendPostedEvents(dlg.get());  // the exit, then the close request it posts
    QCoreApplication::sendPostedEvents(dlg.get());

    EXPECT_EQ(m_shell.installer, L"/tmp/x/Orva_Update.exe");
    EXPECT_EQ(m_shell.installerHandOver.strLauncherDir, L"/opt/orvanta/");
    EXPECT_EQ(m_shell.installerHandOver.strLauncherArgs, L"[LogEnable=Y] [URL=x]");
    EXPECT_EQ(m_shell.installerHandOver.strVersion, L"001000002");
    EXPECT_EQ(m_shell.Count(L"client"), 0u) << "an update does not start the client";
    EXPECT_EQ(m_shell.calls.back(), L"end0");
}

struct InstallerEndCase
{
    const char* name;
    bool bVerified;
    bool bStarts;
    size_t expectInstallerCalls;
};

class InstallerThatCannotRun : public UpdaterWindow, public ::testing::WithParamInterface<InstallerEndCase>
{
};

TEST_P(InstallerThatCannotRun, ShowsTheGiveUpMessageAndStartsTheOldClient)
{
    m_shell.installerStarts = GetParam().bStarts;
    auto dlg = MakeWindow();
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagUpdate;
    dlg->m_HttpDown.State().strDownFilePath = L"/tmp/x/Orva_Update.exe";
    dlg->m_HttpDown.State().bInstallerVerified = GetParam().bVerified;

    dlg->On_VersionCheck_Exit(kExitRunInstaller, 0);

    EXPECT_EQ(m_shell.Count(L"installer"), GetParam().expectInstallerCalls);
    EXPECT_EQ(m_shell.information,
              std::vector<std::wstring>{std::wstring(kUpdaterCaption) + L"|" + kDownloadErrorText});
    EXPECT_EQ(m_shell.Count(L"client"), 1u) << "never ends with nothing running";
    EXPECT_TRUE(dlg->HasEnded());
    EXPECT_EQ(m_log.CountStartingWith(L"COrvantaStartDlg::On_VersionCheck_Exit() installer "), 1u);
}

INSTANTIATE_TEST_SUITE_P(Launcher, InstallerThatCannotRun,
                         ::testing::Values(InstallerEndCase{"NotVerified", false, true, 0},
                                           InstallerEndCase{"StartFails", true, false, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdaterWindow, EngineMessagesUnderTheQuestionWaitForNoAndAreDroppedByYes)
{
    for (const bool bYes : {false, true}) {
        FakeShell shell;
        shell.answerYes = bYes;
        LaunchContext context{L"", {}, L"/p/", [](const std::wstring&) { return 1; }, kNoServer};
        COrvantaStartDlg dlg(context, &shell, &m_log.store, &m_log.log);
        dlg.m_HttpDown.m_nUpdateFlag = kUpdateFlagUpdate;
        dlg.m_HttpDown.State().strDownFilePath = L"/tmp/x/Orva_Update.exe";
        dlg.m_HttpDown.State().bInstallerVerified = true;
        std::vector<std::wstring> callsUnderQuestion;
        shell.whileAsking = [&] {
            // An attempt that had just finished when the user pressed cancel.
            QCoreApplication::postEvent(&dlg, new LauncherMessageEvent(WM_DOWN_PROGRESS, 102400, 102400));
            QCoreApplication::postEvent(&dlg, new LauncherMessageEvent(WM_VERSIONCHECK_EXIT, kExitRunInstaller, 0));
            QCoreApplication::sendPostedEvents(&dlg);
            callsUnderQuestion = shell.calls;
        };

        dlg.OnCancel();
        EXPECT_EQ(callsUnderQuestion, std::vector<std::wstring>{L"ask"}) << "Yes=" << bYes;
        EXPECT_EQ(dlg.m_pByteCounts->text(), QStringLiteral("0 K / 0 K")) << "nothing handled under the question";
        QCoreApplication::sendPostedEvents(&dlg);
        QCoreApplication::sendPostedEvents(&dlg);

        if (bYes) {
            EXPECT_EQ(shell.Count(L"installer"), 0u);
            EXPECT_EQ(shell.Count(L"client"), 1u);
            EXPECT_EQ(dlg.m_HttpDown.m_nUpdateFlag.load(), kUpdateFlagStopped);
        } else {
            EXPECT_EQ(shell.Count(L"installer"), 1u) << "handled once the answer was No";
            EXPECT_EQ(dlg.m_pByteCounts->text(), QStringLiteral("100 K / 100 K"));
            EXPECT_EQ(shell.Count(L"client"), 0u);
        }
    }
}

TEST_F(UpdaterWindow, BarShowsZeroAndNeverPassesTheEnd)
{
    auto dlg = MakeWindow();
    dlg->m_HttpDown.SetSleep([](unsigned int) {});
    dlg->OnInitDialog();
    dlg->m_HttpDown.WaitVersionCheck();
    QCoreApplication::removePostedEvents(dlg.get());

    dlg->OnDownProgress(1000, 500);
    EXPECT_EQ(dlg->m_ctrlProgress.value(), 50);
    dlg->OnDownProgress(1000, 0);
    EXPECT_EQ(dlg->m_ctrlProgress.value(), 0) << "0 shows as empty, not as the last position";
    // More than the whole (a server that ignored the Range line): full, and still moving after.
    dlg->OnDownProgress(1000, 1500);
    EXPECT_EQ(dlg->m_ctrlProgress.value(), 100);
    dlg->OnDownProgress(1000, 300);
    EXPECT_EQ(dlg->m_ctrlProgress.value(), 30);
}

TEST_F(UpdaterWindow, GivenUpDownloadShowsTheMessageAndStartsTheOldClient)
{
    auto dlg = MakeWindow();
    dlg->m_HttpDown.SetSleep([](unsigned int) {});
    dlg->OnInitDialog();  // places the controls; the check itself finds no stored version
    dlg->m_HttpDown.WaitVersionCheck();
    QCoreApplication::removePostedEvents(dlg.get());
    dlg->m_HttpDown.m_nUpdateFlag = kUpdateFlagUpdate;
    m_shell.calls.clear();

    dlg->On_DownloadError(kDownloadErrorCode);

    EXPECT_EQ(m_shell.information,
              std::vector<std::wstring>{std::wstring(kUpdaterCaption) + L"|" + kDownloadErrorText});
    EXPECT_EQ(m_shell.Count(L"client"), 1u);
    EXPECT_TRUE(dlg->HasEnded());
    EXPECT_EQ(dlg->ModalResult(), QDialog::Accepted);
    EXPECT_EQ(m_log.Count(L"U_HttpDown::On_DownloadError() IsNecessaryUpdate=0, nUpdateFlag=0, m_bAlready_ExeMain=0"), 1u);
}

TEST_F(UpdaterWindow, DownloadStartShowsTheDesignSizeWithLabelAndProgressTexts)
{
    auto dlg = MakeWindow();
    dlg->m_HttpDown.SetSleep([](unsigned int) {});
    dlg->OnInitDialog();
    dlg->m_HttpDown.WaitVersionCheck();
    EXPECT_FALSE(dlg->isVisible()) << "invisible while the check runs";
    QCoreApplication::removePostedEvents(dlg.get());

    dlg->m_HttpDown.m_strSrvVer = L"001002003";
    dlg->OnDownStart();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->size(), QSize(324, 206));
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("라벤토 - 업데이트"));
    EXPECT_EQ(dlg->m_pVersionLabel->text(), QStringLiteral("Ver.001.002.003"));
    EXPECT_EQ(dlg->m_pStatusText->text().toStdWString(), kDownloadingText);

    dlg->OnDownProgress(10240000, 1536000);
    EXPECT_EQ(dlg->m_pByteCounts->text(), QStringLiteral("1,500 K / 10,000 K"));
    EXPECT_EQ(dlg->m_ctrlProgress.value(), 15);
    dlg->OnDownProgress(0, 0);
    EXPECT_EQ(dlg->m_pByteCounts->text(), QStringLiteral("0 K / 0 K"));

    dlg->m_HttpDown.Download().m_nRestartCount = 2;
    dlg->OnDownRetry();
    EXPECT_EQ(dlg->m_pStatusText->text().toStdWString(), MakeRetryText(2));

    EXPECT_EQ(dlg->m_btnCancel.geometry(), QRect(134, 173, 58, 21));
    EXPECT_EQ(dlg->m_ctrlProgress.geometry(), QRect(20, 120, 280, 10));
    EXPECT_EQ(dlg->m_ctrlProgress.minimum(), 1);
    EXPECT_EQ(dlg->m_ctrlProgress.maximum(), 100);
}

TEST_F(UpdaterWindow, RunningClientFoundAtSetUpGetsTheMessageAndNothingStarts)
{
    m_shell.nWindowAfterChecks = 0;
    LaunchContext context{L"", {}, L"/p/",
                          [](const std::wstring& strName) { return strName == kInstanceMutexName ? 0 : 1; },
                          kNoServer};
    COrvantaStartDlg dlg(context, &m_shell, &m_log.store, &m_log.log);
    dlg.m_HttpDown.SetSleep([](unsigned int) {});
    dlg.OnInitDialog();
    dlg.m_HttpDown.WaitVersionCheck();
    QCoreApplication::sendPostedEvents(&dlg);

    EXPECT_EQ(m_shell.calls.front(), L"duplicate");
    EXPECT_EQ(m_shell.Count(L"client"), 0u);
    EXPECT_EQ(m_shell.calls.back(), L"end0");
}

TEST_F(UpdaterWindow, EngineAsksTheServerAndSendsTheTestFlagOfTheLaunchContext)
{
    LaunchContext context{L"", {}, L"/p/", [](const std::wstring&) { return 1; }, {L"10.0.0.5:9090", 1}};
    COrvantaStartDlg dlg(context, &m_shell, &m_log.store, &m_log.log);
    EXPECT_EQ(dlg.m_HttpDown.GetVersionCheckConfig().strServerIpPort, L"10.0.0.5:9090");
    EXPECT_EQ(dlg.m_HttpDown.GetVersionCheckConfig().nIsVerTest, 1);
}

TEST(UpdaterPictures, DesignSizesAndFourFrameStrip)
{
    EXPECT_EQ(LoadLauncherPicture(IDB_START_BACK).size(), QSize(324, 206));
    const QImage strip = LoadLauncherPicture(IDB_START_CANCEL);
    ASSERT_EQ(strip.size(), QSize(244, 21));
    EXPECT_FALSE(LoadLauncherPicture(IDI_START_ICON).isNull());

    CHoverButton button;
    ASSERT_TRUE(button.LoadBitmap(strip));
    EXPECT_EQ(button.FrameWidth(), 61);
    EXPECT_EQ(button.FrameHeight(), 21);
    EXPECT_EQ(button.size(), QSize(61, 21));
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
    // The strip's magenta margin becomes transparent; the button face does not.
    const QImage keyed = CHoverButton::KeyOutMagenta(strip);
    EXPECT_EQ(qAlpha(keyed.pixel(59, 10)), 0);
    EXPECT_EQ(qAlpha(keyed.pixel(2, 2)), 255);
}

TEST(UpdaterPictures, FrameIndexFollowsDisabledPressedOver)
{
    EXPECT_EQ(CHoverButton::FrameIndex(false, true, true), 3);
    EXPECT_EQ(CHoverButton::FrameIndex(true, true, false), 2);
    EXPECT_EQ(CHoverButton::FrameIndex(true, true, true), 2);
    EXPECT_EQ(CHoverButton::FrameIndex(true, false, true), 1);
    EXPECT_EQ(CHoverButton::FrameIndex(true, false, false), 0);
}

TEST(UpdaterPictures, BarShadesStepBy51)
{
    const auto shades = CProgressBar::MakeShades(QColor(255, 189, 129));
    EXPECT_EQ(shades[0], QColor(255, 189, 129));
    EXPECT_EQ(shades[1], QColor(255, 240, 180));
    EXPECT_EQ(shades[2], QColor(255, 240, 231));
    EXPECT_EQ(shades[3], QColor(255, 240, 231));
    EXPECT_EQ(shades[4], QColor(204, 138, 78));
    EXPECT_EQ(shades[5], QColor(153, 87, 27));
    EXPECT_EQ(CProgressBar::FilledWidth(280, 1, 100, 1), 0);
    EXPECT_EQ(CProgressBar::FilledWidth(280, 1, 100, 100), 280);
    EXPECT_EQ(CProgressBar::FilledWidth(280, 1, 100, 50), 138);
}
}  // namespace
