// The version check and the installer download against the stand-in service's own routes,
// run in-process on an ephemeral port.
#include "platform/WorkerPost.h"
#include "net/CurlTConnect.h"
#include "core/LauncherEvents.h"
#include "LauncherTestLog.h"
#include "core/OrvantaStartApp.h"
#include "UpdateService.h"
#include "core/U_HttpDown.h"
#include "core/VersionCheck.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class EventRecorder : public QObject
{
public:
    bool event(QEvent* e) override
    {
        AcceptWorkerPosts();
        types.push_back(e->type());
        return true;
    }
    size_t Count(QEvent::Type type) const
    {
        return static_cast<size_t>(std::count(types.begin(), types.end(), type));
    }
    std::vector<QEvent::Type> types;
};

class StandInService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        m_installer = ReadFileBytes(SERVICE_INSTALLER);
        ASSERT_FALSE(m_installer.empty());
        ASSERT_GT(m_service.Port(), 0);
    }

    Json::Value Control(const std::string& json)
    {
        httplib::Client client = m_service.Client();
        auto res = client.Post("/demo/update", json, "application/json");
        Json::Value v;
        if (res && res->status == 200) {
            Json::Reader().parse(res->body, v);
        }
        return v;
    }

    Json::Value State() { return Control("{}"); }

    std::wstring Server() const { return L"127.0.0.1:" + std::to_wstring(m_service.Port()); }
    // An engine that asks the stand-in, with the production check.
    VersionCheckConfig Config() const { return {Server(), 0}; }
    std::wstring CheckUrl() const { return MakeVersionCheckUrl(Server()); }
    std::wstring DownloadUrl() const
    {
        return L"http://" + Server() + L"/iCliVer/download/Orva_Update.exe?progId=Orvan_Vexa&srvVer=001000001&isVerTest=0";
    }

    InProcessService m_service{UpdateRoutesOnly({"--update-installer", SERVICE_INSTALLER})};
    std::string m_installer;
    // The check chooses its temporary folder here.
    TempDir m_tmp;
    ScopedTmpDir m_tmpEnv{m_tmp.QPath().toStdString()};
    ScopedEnv m_runtimeEnv{"XDG_RUNTIME_DIR", std::nullopt};
    LauncherTestLog m_log;
    MemorySettingsStore m_store;
};

struct CheckCase
{
    const char* name;
    std::string control;
    bool expectUpdate;
    int expectFlag;
    int expectChecks;
    std::vector<unsigned int> expectWaits;
};

std::ostream& operator<<(std::ostream& os, const CheckCase& c)
{
    return os << c.name;
}

class GetFileVersionTable : public StandInService, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(GetFileVersionTable, TurnsEveryAnswerIntoTheFlag)
{
    const CheckCase& c = GetParam();
    Control(c.control);
    U_HttpDown engine(Config(), &m_store, &m_log.log);
    std::vector<unsigned int> waits;
    engine.SetSleep([&waits](unsigned int ms) { waits.push_back(ms); });

    const std::wstring body = MakeVersionCheckBody(L"001000000", 0);
    EXPECT_EQ(engine.GetFileVersion(CheckUrl(), body), c.expectUpdate);
    EXPECT_EQ(engine.m_nUpdateFlag.load(), c.expectFlag);
    EXPECT_EQ(State()["checks"].asInt(), c.expectChecks);
    EXPECT_EQ(waits, c.expectWaits);
    EXPECT_EQ(m_log.CountStartingWith(L"U_HttpDown::GetFileVersion [SEND] " + CheckUrl() + L", " + body + L"[line: "),
              // an empty answer is asked for once more
              static_cast<size_t>(std::count(c.expectWaits.begin(), c.expectWaits.end(), 5000u) + 1));
    EXPECT_EQ(m_log.CountStartingWith(L"U_HttpDown::GetFileVersion flag 0 [line: "), c.expectUpdate ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, GetFileVersionTable,
    ::testing::Values(
        CheckCase{"Update", R"({"checkResult": 1})", true, 0, 1, {}},
        CheckCase{"NoUpdate", R"({"checkResult": 0})", false, -10110, 1, {}},
        CheckCase{"LimitDate", R"({"checkResult": -21})", false, -10110, 1, {}},
        CheckCase{"NotJson", R"({"checkMode": "text"})", false, -10101, 1, {}},
        CheckCase{"NotFound", R"({"checkMode": "404"})", false, -10101, 1, {}},
        CheckCase{"ServerErrorRetriedOnce", R"({"checkMode": "500"})", false, -10101, 2, {2000, 2000}},
        CheckCase{"ServerErrorOnceThenUpdate", R"({"checkMode": "500", "checkFailCount": 1, "checkResult": 1})",
                  true, 0, 2, {2000}},
        CheckCase{"DroppedAnswer", R"({"checkMode": "drop"})", false, -10101, 2, {2000, 2000}},
        CheckCase{"EmptyAskedAgainAfterFiveSeconds", R"({"checkMode": "empty"})", false, -10101, 2, {5000}},
        CheckCase{"EmptyOnceThenUpdate", R"({"checkMode": "empty", "checkFailCount": 1, "checkResult": 1})", true,
                  0, 2, {5000}},
        // Two attempts of two seconds; a timeout is retried without waiting.
        CheckCase{"Stall", R"({"checkMode": "stall", "stallMs": 2600})", false, -10101, 2, {}}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST_F(StandInService, CheckSendsTheCommandLinesServerAndTestFlagAndClosesWithoutUpdate)
{
    m_store.WriteString(L"Install", L"Version", L"001002003");
    COrvantaStartApp app(&m_log.log);
    app.SetInitialInfo(L"[IsVerTest=1] [VerSrvIpPort=" + Server() + L"]");
    Control(R"({"checkResult": 0, "srvVer": "001002003"})");

    EventRecorder window;
    U_HttpDown engine(app.GetVersionCheckConfig(), &m_store, &m_log.log);
    engine.SetWindow(&window);
    engine.VersionCheckStart();
    engine.WaitVersionCheck();
    QCoreApplication::sendPostedEvents(&window);

    const Json::Value state = State();
    EXPECT_EQ(state["checks"].asInt(), 1);
    EXPECT_EQ(state["lastCheckBody"].asString(),
              R"({"progId": "Orvan_Vexa", "cliVer": "001002003", "isVerTest": 1})");
    EXPECT_EQ(state["lastCheckContentType"].asString(), "application/x-www-form-urlencoded");
    EXPECT_EQ(engine.m_nUpdateFlag.load(), kUpdateFlagNoUpdate);
    EXPECT_EQ(window.types, std::vector<QEvent::Type>{QEvent::Close});
    EXPECT_EQ(m_log.CountStartingWith(L"U_HttpDown::GetVersionThread() 패치파일 다운로드 필요없음.[line: "), 1u);
    EXPECT_EQ(m_log.Count(L"U_HttpDown::StartHTTPDown() end"), 1u);
}

TEST_F(StandInService, StaleInstallerIsDeletedBeforeTheCheck)
{
    m_store.WriteString(L"Install", L"Version", L"001002003");
    const std::wstring folder = m_tmp.Path() + L"ORVANTA_VEXA-" + std::to_wstring(::geteuid());
    ASSERT_EQ(::mkdir(WideToUtf8(folder).c_str(), 0700), 0);
    const std::wstring stale = folder + L"/Orva_Update.exe";
    std::ofstream(WideToUtf8(stale)) << "left from an earlier run";
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdWString(stale)));

    U_HttpDown engine(Config(), &m_store, &m_log.log);
    engine.VersionCheckStart();
    engine.WaitVersionCheck();

    EXPECT_FALSE(QFileInfo::exists(QString::fromStdWString(stale)));
    EXPECT_EQ(engine.GetDownFilePath(), stale);
}

TEST_F(StandInService, UpdateStartsTheDownloadWorkerAndKeepsTheWindowOpen)
{
    m_store.WriteString(L"Install", L"Version", L"001000000");
    Control(R"({"checkResult": 1, "srvVer": "001000001"})");
    EventRecorder window;
    U_HttpDown engine(Config(), &m_store, &m_log.log);
    engine.SetWindow(&window);
    int starts = 0;
    engine.SetDownloadStarter([&starts] {
        ++starts;
        return true;
    });

    engine.VersionCheckStart();
    engine.WaitVersionCheck();
    QCoreApplication::sendPostedEvents(&window);

    EXPECT_EQ(starts, 1);
    EXPECT_EQ(engine.m_nUpdateFlag.load(), kUpdateFlagUpdate);
    EXPECT_EQ(engine.m_strSrvVer, L"001000001");
    EXPECT_EQ(engine.State().strUpdateUrl, L"http://" + Server() + L"/iCliVer/download/Orva_Update.exe");
    EXPECT_TRUE(window.types.empty());
    EXPECT_EQ(m_log.CountStartingWith(L"U_HttpDown::GetVersionThread() 패치파일 다운로드 요청 스레드 시작 요청, 패치파일 다운로드 URL=" +
                                      engine.State().strUpdateUrl + L"[line: "),
              1u);
}

TEST_F(StandInService, UpdateWithoutADownloadWorkerStartsTheClient)
{
    m_store.WriteString(L"Install", L"Version", L"001000000");
    Control(R"({"checkResult": 1})");
    EventRecorder window;
    U_HttpDown engine(Config(), &m_store, &m_log.log);
    engine.SetWindow(&window);

    engine.VersionCheckStart();
    engine.WaitVersionCheck();
    QCoreApplication::sendPostedEvents(&window);

    EXPECT_EQ(engine.m_nUpdateFlag.load(), kUpdateFlagStopped);
    EXPECT_EQ(window.types, std::vector<QEvent::Type>{QEvent::Close});
}

TEST_F(StandInService, UnreadableVersionClosesAtOnceAndStillChecksWithAnEmptyVersion)
{
    m_store.WriteString(L"Install", L"Version", L"1.0");
    EventRecorder window;
    U_HttpDown engine(Config(), &m_store, &m_log.log);
    engine.SetWindow(&window);

    engine.VersionCheckStart();
    // Posted before the check's answer can be there.
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.Count(QEvent::Close), 1u);
    engine.WaitVersionCheck();
    QCoreApplication::sendPostedEvents(&window);

    EXPECT_EQ(State()["lastCheckBody"].asString(), R"({"progId": "Orvan_Vexa", "cliVer": "", "isVerTest": 0})");
    EXPECT_EQ(m_log.CountStartingWith(L"COrvantaStartDlg::VersionCheckStart() Debug 1. nRet=-3[line: "), 1u);
    EXPECT_EQ(window.Count(QEvent::Close), 2u);  // the worker's own close request follows
}

TEST_F(StandInService, VersionIsLoggedAndSent)
{
    m_store.WriteString(L"Install", L"Version", L"001002003");
    U_HttpDown engine(Config(), &m_store, &m_log.log);
    engine.VersionCheckStart();
    engine.WaitVersionCheck();
    EXPECT_EQ(engine.State().strCliVer, L"001002003");
    EXPECT_EQ(m_log.CountStartingWith(L"COrvantaStartDlg::StartCheckVersion() strCliVer=001002003[line: "), 1u);
    EXPECT_EQ(m_log.Count(L"COrvantaStartDlg::VersionCheckStart() start"), 1u);
    EXPECT_EQ(m_log.Count(L"COrvantaStartDlg::VersionCheckStart() end"), 1u);
}

TEST_F(StandInService, DroppedDownloadResumesWithRangeToTheWholeInstaller)
{
    const std::wstring path = m_tmp.Path() + L"Orva_Update.exe";
    Control(R"({"downloadMode": "drop", "downloadFailCount": 1, "dropAfter": 100})");
    CCurlTConnect curl(&m_log.log);

    EXPECT_FALSE(curl.CurlDownload(DownloadUrl(), path, 0));
    EXPECT_NE(curl.m_nCurlResult, 0);
    const std::string part = ReadFileBytes(WideToUtf8(path));
    ASSERT_EQ(part, m_installer.substr(0, 100));

    EXPECT_TRUE(curl.CurlDownload(DownloadUrl(), path, static_cast<int>(part.size())));
    EXPECT_EQ(curl.m_nHttpCode, 206);
    EXPECT_EQ(ReadFileBytes(WideToUtf8(path)), m_installer);
    const Json::Value state = State();
    EXPECT_EQ(state["lastRange"].asString(), "bytes=100-");
    EXPECT_EQ(state["lastQuery"].asString(), "isVerTest=0&progId=Orvan_Vexa&srvVer=001000001");
}

TEST_F(StandInService, ServerIgnoringTheRangeStillGivesOneWholeInstaller)
{
    const std::wstring path = m_tmp.Path() + L"Orva_Update.exe";
    std::ofstream(WideToUtf8(path), std::ios::binary) << m_installer.substr(0, 50);
    ::chmod(WideToUtf8(path).c_str(), 0600);
    Control(R"({"downloadMode": "norange"})");
    CCurlTConnect curl(&m_log.log);

    EXPECT_TRUE(curl.CurlDownload(DownloadUrl(), path, 50));
    EXPECT_EQ(curl.m_nHttpCode, 200);
    EXPECT_TRUE(curl.m_bRestartedFromZero);
    EXPECT_EQ(ReadFileBytes(WideToUtf8(path)), m_installer);
}

TEST_F(StandInService, DownloadErrorPageIsRefusedAndLeavesNothingInTheFile)
{
    const std::wstring path = m_tmp.Path() + L"Orva_Update.exe";
    Control(R"({"downloadMode": "404"})");
    CCurlTConnect curl(&m_log.log);
    EXPECT_FALSE(curl.CurlDownload(DownloadUrl(), path, 0));
    EXPECT_EQ(curl.m_nHttpCode, 404);
    EXPECT_EQ(curl.m_refusal, CCurlTConnect::Refusal::Status);
    EXPECT_EQ(ReadFileBytes(WideToUtf8(path)), "");
}

TEST_F(StandInService, UpdateAnswerNamesTheInstallersSizeAndDigest)
{
    Control(R"({"checkResult": 1})");
    U_HttpDown engine(Config(), &m_store, &m_log.log);
    ASSERT_TRUE(engine.GetFileVersion(CheckUrl(), MakeVersionCheckBody(L"001000000", 0)));
    EXPECT_EQ(engine.State().llExpectedSize.load(), static_cast<long long>(m_installer.size()));
    EXPECT_EQ(engine.State().strExpectedSha256,
              QCryptographicHash::hash(QByteArray::fromStdString(m_installer), QCryptographicHash::Sha256)
                  .toHex()
                  .toStdString());

    // Left out on request, and never named for an address elsewhere.
    for (const char* control : {R"({"integrity": "off"})", R"({"integrity": "on", "updateUrl": "http://elsewhere/x"})"}) {
        Control(control);
        U_HttpDown other(Config(), &m_store, &m_log.log);
        ASSERT_TRUE(other.GetFileVersion(CheckUrl(), MakeVersionCheckBody(L"001000000", 0))) << control;
        EXPECT_EQ(other.State().llExpectedSize.load(), -1) << control;
        EXPECT_EQ(other.State().strExpectedSha256, "") << control;
    }
}
}  // namespace

namespace {
// The stand-in answers like a real server after an update: the version the client now has
// needs no update, so the restarted launcher goes on to the client.
TEST_F(StandInService, ClientThatAlreadyHasTheServersVersionIsNotAskedToUpdate)
{
    Control(R"({"checkResult": 1, "srvVer": "001000002"})");
    U_HttpDown engine(Config(), &m_store, &m_log.log);

    EXPECT_FALSE(engine.GetFileVersion(CheckUrl(), MakeVersionCheckBody(L"001000002", 0)));
    EXPECT_EQ(engine.m_nUpdateFlag.load(), kUpdateFlagNoUpdate);
    EXPECT_TRUE(engine.GetFileVersion(CheckUrl(), MakeVersionCheckBody(L"001000001", 0)));
    EXPECT_EQ(engine.m_nUpdateFlag.load(), kUpdateFlagUpdate);
}
}  // namespace
