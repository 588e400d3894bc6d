// The stop question during a live download: the real window, engine and transfer against a
// local server, with a desktop that answers the question after a chosen time.
#include "core/LauncherEvents.h"
#include "core/UpdaterRules.h"
#include "core/VersionCheck.h"
#include "LauncherTestLog.h"
#include "ScriptedHttpServer.h"
#include "UpdateService.h"
#include "WaitUntil.h"
#include "ui/LauncherShell.h"
#include "ui/OrvantaStartDlg.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <QCryptographicHash>
#include <QLabel>

#include <fstream>
#include <functional>

namespace {

// The desktop: records what is started; the question stays open (its event loop running, as a
// real box's does) for holdMs, then answers.
class QuestionShell : public ILauncherShell
{
public:
    bool ClientWindowExists() override { return false; }
    bool SendDuplicateProcessMessage(const std::wstring&) override { return true; }
    void StartClient(const std::wstring&, const std::vector<std::wstring>&) override { ++nClientStarts; }
    bool RunInstaller(const std::wstring&, const InstallerHandOver&) override
    {
        ++nInstallerRuns;
        bInstallerRunUnderQuestion = bInstallerRunUnderQuestion || bAsking;
        return true;
    }
    void Sleep(unsigned int) override {}
    void EndProcess(int) override { bEnded = true; }
    bool AskYesNo(QWidget*, const std::wstring&, const std::wstring&) override
    {
        bAsking = true;
        if (whileAsking) {
            whileAsking();
        }
        WaitUntil([] { return false; }, holdMs);
        bAsking = false;
        return answerYes;
    }
    void ShowInformation(QWidget*, const std::wstring&, const std::wstring&) override { ++nInformation; }

    int holdMs = 0;
    bool answerYes = false;
    std::function<void()> whileAsking;
    bool bAsking = false;
    int nClientStarts = 0;
    int nInstallerRuns = 0;
    bool bInstallerRunUnderQuestion = false;
    bool bEnded = false;
    int nInformation = 0;
};

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('a' + (i * 13 + i / 977) % 26);
    }
    return s;
}

std::string Sha256Hex(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

class StopQuestion : public ::testing::Test
{
protected:
    void SetUp() override { EnsureCoreApplication(); }

    // The window as a running update leaves it, its engine about to fetch strUrl.
    std::unique_ptr<COrvantaStartDlg> MakeWindow(const std::wstring& strUrl, const std::string& installer)
    {
        LaunchContext context{L"", {}, L"/p/", [](const std::wstring&) { return 1; }, {L"127.0.0.1:1", 0}};
        auto dlg = std::make_unique<COrvantaStartDlg>(context, &m_shell, &m_log.store, &m_log.log);
        U_HttpDown& engine = dlg->m_HttpDown;
        engine.m_nUpdateFlag = kUpdateFlagUpdate;
        engine.m_strSrvVer = L"001000002";
        engine.State().strUpdateUrl = strUrl;
        engine.State().strDownFilePath = m_path;
        engine.State().llExpectedSize = static_cast<long long>(installer.size());
        engine.State().strExpectedSha256 = Sha256Hex(installer);
        engine.SetWindow(dlg.get());
        return dlg;
    }

    std::string FileBytes() const { return ReadFileBytes(WideToUtf8(m_path)); }

    QuestionShell m_shell;
    LauncherTestLog m_log;
    TempDir m_tmp;
    const std::wstring m_path = m_tmp.Path() + L"Orva_Update.exe";
};

// A paced download of the stand-in service: about four seconds for the whole installer.
class LiveDownload : public StopQuestion
{
protected:
    void SetUp() override
    {
        StopQuestion::SetUp();
        m_installer = Pattern(400000);
        const std::string served = m_tmp.QPath().toStdString() + "/served.bin";
        std::ofstream(served, std::ios::binary) << m_installer;
        m_service = std::make_unique<InProcessService>(
            UpdateRoutesOnly({"--update-installer", served, "--update-bandwidth", "100000"}));
        ASSERT_GT(m_service->Port(), 0);
    }
    std::wstring Url() const { return m_service->Url("/iCliVer/download/Orva_Update.exe"); }
    Json::Value ServiceState()
    {
        auto res = m_service->Client().Get("/demo/update");
        Json::Value v;
        if (res) {
            Json::Reader().parse(res->body, v);
        }
        return v;
    }
    bool Arriving(COrvantaStartDlg& dlg) const
    {
        return dlg.m_pByteCounts->text() != QStringLiteral("0 K / 0 K");
    }

    std::string m_installer;
    std::unique_ptr<InProcessService> m_service;
};

TEST_F(LiveDownload, LateNoCostsNoTryAndTheFileEndsByteIdentical)
{
    auto dlg = MakeWindow(Url(), m_installer);
    ASSERT_TRUE(dlg->m_HttpDown.StartThread());
    ASSERT_TRUE(WaitUntil([&] { return Arriving(*dlg); }, 20000));
    // Longer than a request's ten-second limit.
    m_shell.holdMs = 11000;
    m_shell.answerYes = false;
    size_t nSizeUnderQuestion = 0;
    m_shell.whileAsking = [&] {
        WaitUntil([] { return false; }, 1000);  // a write under way lands
        nSizeUnderQuestion = FileBytes().size();
    };

    dlg->OnCancel();
    EXPECT_FALSE(dlg->HasEnded());
    EXPECT_EQ(m_shell.nInstallerRuns, 0);
    EXPECT_EQ(FileBytes().size(), nSizeUnderQuestion) << "nothing arrives while the user decides";
    EXPECT_GT(nSizeUnderQuestion, 0u);
    EXPECT_LT(nSizeUnderQuestion, m_installer.size());

    ASSERT_TRUE(WaitUntil([&] { return m_shell.nInstallerRuns > 0; }, 30000));
    EXPECT_EQ(m_shell.nInstallerRuns, 1);
    EXPECT_FALSE(m_shell.bInstallerRunUnderQuestion);
    EXPECT_EQ(dlg->m_HttpDown.Download().m_nRestartCount.load(), 0) << "the question cost no try";
    EXPECT_EQ(dlg->m_pStatusText->text().toStdWString().find(L"재시도"), std::wstring::npos);
    EXPECT_EQ(FileBytes(), m_installer);
    // The rest was asked for from the file's size.
    const Json::Value state = ServiceState();
    EXPECT_EQ(state["downloads"].asInt(), 2);
    EXPECT_EQ(state["lastRange"].asString().rfind("bytes=", 0), 0u);
    EXPECT_GE(std::stoul(state["lastRange"].asString().substr(6)), nSizeUnderQuestion);
    EXPECT_EQ(m_shell.nClientStarts, 0);
}

TEST_F(LiveDownload, YesRunsNothingAndStartsTheOldClient)
{
    auto dlg = MakeWindow(Url(), m_installer);
    ASSERT_TRUE(dlg->m_HttpDown.StartThread());
    ASSERT_TRUE(WaitUntil([&] { return Arriving(*dlg); }, 20000));
    m_shell.holdMs = 1500;
    m_shell.answerYes = true;

    dlg->OnCancel();
    // Longer than the rest of the download would have taken.
    WaitUntil([] { return false; }, 5000);

    EXPECT_EQ(m_shell.nInstallerRuns, 0);
    EXPECT_EQ(m_shell.nClientStarts, 1);
    EXPECT_TRUE(dlg->HasEnded());
    EXPECT_EQ(dlg->m_HttpDown.m_nUpdateFlag.load(), kUpdateFlagStopped);
    EXPECT_FALSE(dlg->m_HttpDown.IsInstallerVerified());
    EXPECT_LT(FileBytes().size(), m_installer.size());
}

TEST_F(StopQuestion, QuestionBetweenTwoAttemptsHoldsTheNextOne)
{
    const std::string installer = Pattern(30000);
    ScriptedReply drop;
    drop.kind = ScriptedReply::Kind::Drop;
    ScriptedReply whole;
    whole.body = installer;
    ScriptedHttpServer server({drop, whole});
    auto dlg = MakeWindow(server.Url("/d"), installer);
    ASSERT_TRUE(dlg->m_HttpDown.StartThread());
    // The first attempt failed; its release is a second away.
    ASSERT_TRUE(WaitUntil([&] { return dlg->m_HttpDown.Download().m_nRestartCount.load() == 1; }, 20000));
    m_shell.holdMs = 3000;
    size_t nRequestsUnderQuestion = 0;
    m_shell.whileAsking = [&] {
        WaitUntil([] { return false; }, 2900);
        nRequestsUnderQuestion = server.Requests().size();
    };

    dlg->OnCancel();
    EXPECT_EQ(nRequestsUnderQuestion, 1u) << "no attempt starts under the question";
    EXPECT_EQ(m_shell.nInstallerRuns, 0);

    ASSERT_TRUE(WaitUntil([&] { return m_shell.nInstallerRuns > 0; }, 20000));
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(dlg->m_HttpDown.Download().m_nRestartCount.load(), 1);
    EXPECT_FALSE(m_shell.bInstallerRunUnderQuestion);
    EXPECT_EQ(FileBytes(), installer);
}
}  // namespace
