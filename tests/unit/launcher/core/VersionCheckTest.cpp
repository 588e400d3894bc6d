#include "LauncherTestLog.h"
#include "platform/ModulePath.h"
#include "core/U_HttpDown.h"
#include "core/InstallerFile.h"
#include "core/VersionCheck.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <QDir>
#include <QFileInfo>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct AnswerCase
{
    const char* name;
    std::string answer;
    int expectFlag;
    int expectCheckResult;  // when readable
    std::string expectSrvVer;
    std::string expectUrl;
};

std::ostream& operator<<(std::ostream& os, const AnswerCase& c)
{
    return os << c.name;
}

class VersionAnswerTable : public ::testing::TestWithParam<AnswerCase>
{
};

TEST_P(VersionAnswerTable, ParsesAndDecides)
{
    const AnswerCase& c = GetParam();
    const auto answer = ParseVersionAnswer(c.answer);
    EXPECT_EQ(DecideUpdateFlag(answer), c.expectFlag);
    if (c.expectFlag != kUpdateFlagNotJson) {
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->nCheckResult, c.expectCheckResult);
        EXPECT_EQ(answer->strSrvVer, c.expectSrvVer);
        EXPECT_EQ(answer->strUpdateUrl, c.expectUrl);
    } else {
        EXPECT_FALSE(answer.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, VersionAnswerTable,
    ::testing::Values(
        AnswerCase{"Update", R"({"checkResult": 1, "srvVer": "001002004", "updateReq_url": "http://d/u.exe", "progMeta": "m"})",
                   kUpdateFlagUpdate, 1, "001002004", "http://d/u.exe"},
        AnswerCase{"NoUpdate", R"({"checkResult": 0, "srvVer": "001002003"})", kUpdateFlagNoUpdate, 0, "001002003", ""},
        AnswerCase{"UnregistVersion", R"({"checkResult": -11})", kUpdateFlagNoUpdate, -11, "", ""},
        AnswerCase{"LimitDate", R"({"checkResult": -21, "updateReq_url": "http://d/u.exe"})", kUpdateFlagNoUpdate, -21, "", "http://d/u.exe"},
        AnswerCase{"LimitTotal", R"({"checkResult": -31})", kUpdateFlagNoUpdate, -31, "", ""},
        AnswerCase{"LimitDaily", R"({"checkResult": -32})", kUpdateFlagNoUpdate, -32, "", ""},
        AnswerCase{"LimitTraffic", R"({"checkResult": -41})", kUpdateFlagNoUpdate, -41, "", ""},
        AnswerCase{"UnknownCode", R"({"checkResult": 2})", kUpdateFlagNoUpdate, 2, "", ""},
        AnswerCase{"MissingResultCountsAsMinusOne", R"({"srvVer": "001002003"})", kUpdateFlagNoUpdate, -1, "001002003", ""},
        AnswerCase{"IntegralRealCounts", R"({"checkResult": 1.0})", kUpdateFlagUpdate, 1, "", ""},
        AnswerCase{"OtherMembersIgnored", R"({"checkResult": 1, "extra": [1, {"a": null}]})", kUpdateFlagUpdate, 1, "", ""},
        AnswerCase{"HtmlErrorPage", "<html><body>500 Internal Server Error</body></html>", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"LibraryErrorText", "Timeout was reached", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"Empty", "", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"CutOff", R"({"checkResult": 1, "srvVer": "00)", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"RootArray", R"([{"checkResult": 1}])", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"RootNumber", "1", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"RootString", R"("update")", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"ResultAsText", R"({"checkResult": "1"})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"ResultNull", R"({"checkResult": null})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"ResultBool", R"({"checkResult": true})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"ResultFraction", R"({"checkResult": 1.5})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"ResultBeyondInt", R"({"checkResult": 1e30})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"SrvVerNumber", R"({"checkResult": 1, "srvVer": 1002003})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"SrvVerNull", R"({"checkResult": 1, "srvVer": null})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"UrlObject", R"({"checkResult": 1, "updateReq_url": {}})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"ProgMetaArray", R"({"checkResult": 0, "progMeta": []})", kUpdateFlagNotJson, 0, "", ""},
        // Nesting past the reader's depth limit is an unreadable answer, not a crash.
        AnswerCase{"DeeplyNestedArray", std::string(5000, '[') + std::string(5000, ']'), kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"DeeplyNestedMember", R"({"checkResult": 1, "x": )" + std::string(2000, '[') + std::string(2000, ']') + "}",
                   kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"SizeAndDigest", R"({"checkResult": 1, "updateSize": 42, "updateSha256": ")" + std::string(64, 'a') + R"("})",
                   kUpdateFlagUpdate, 1, "", ""},
        AnswerCase{"SizeNegative", R"({"checkResult": 1, "updateSize": -1})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"SizeFraction", R"({"checkResult": 1, "updateSize": 4.5})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"SizeText", R"({"checkResult": 1, "updateSize": "42"})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"SizeBeyondTheDesign", R"({"checkResult": 1, "updateSize": 2147483648})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"DigestShort", R"({"checkResult": 1, "updateSha256": "abc"})", kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"DigestNotHex", R"({"checkResult": 1, "updateSha256": ")" + std::string(64, 'g') + R"("})",
                   kUpdateFlagNotJson, 0, "", ""},
        AnswerCase{"DigestNumber", R"({"checkResult": 1, "updateSha256": 7})", kUpdateFlagNotJson, 0, "", ""}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST(VersionCheckRequest, BodyIsTheExactTextTheServerExpects)
{
    EXPECT_EQ(MakeVersionCheckBody(L"001002003", 0),
              L"{\"progId\": \"Orvan_Vexa\", \"cliVer\": \"001002003\", \"isVerTest\": 0}");
    EXPECT_EQ(MakeVersionCheckBody(L"", 1), L"{\"progId\": \"Orvan_Vexa\", \"cliVer\": \"\", \"isVerTest\": 1}");
}

TEST(VersionCheckRequest, StoredTextCannotChangeTheBodysShape)
{
    // A hand-edited settings value with quotes, a backslash, a control character and Korean.
    for (const std::wstring& strVersion : {std::wstring(L"a\"b"), std::wstring(L"1\", \"isVerTest\": 9, \"x\": \""),
                                          std::wstring(L"\\\n\t"), std::wstring(L"버전값")}) {
        const std::string strBody = WideToUtf8(MakeVersionCheckBody(strVersion, 1));
        Json::Value root;
        ASSERT_TRUE(Json::Reader().parse(strBody, root)) << strBody;
        EXPECT_EQ(root.size(), 3u) << strBody;
        EXPECT_EQ(root["cliVer"].asString(), WideToUtf8(strVersion));
        EXPECT_EQ(root["isVerTest"].asInt(), 1);
        EXPECT_EQ(root["progId"].asString(), "Orvan_Vexa");
    }
}

TEST(VersionCheckRequest, AddressTakesTheServerVerbatim)
{
    EXPECT_EQ(MakeVersionCheckUrl(L"10.1.2.3"), L"http://10.1.2.3/iCliVer/version/checkVersion.jsp");
    EXPECT_EQ(MakeVersionCheckUrl(L"10.1.2.3:8470"), L"http://10.1.2.3:8470/iCliVer/version/checkVersion.jsp");
    // A setting that names https keeps it, and the check goes over TLS.
    EXPECT_EQ(MakeVersionCheckUrl(L"https://ver.example:8443"), L"https://ver.example:8443/iCliVer/version/checkVersion.jsp");
    EXPECT_EQ(MakeVersionCheckUrl(L"https://ver.example/"), L"https://ver.example/iCliVer/version/checkVersion.jsp");
    EXPECT_EQ(MakeVersionCheckUrl(L"http://10.1.2.3"), L"http://10.1.2.3/iCliVer/version/checkVersion.jsp");
}

struct StoredVersionCase
{
    const char* name;
    bool bKey;
    std::optional<std::wstring> value;
    int expectRet;
};

std::ostream& operator<<(std::ostream& os, const StoredVersionCase& c)
{
    return os << c.name;
}

class ClientVersionTable : public ::testing::TestWithParam<StoredVersionCase>
{
};

TEST_P(ClientVersionTable, ReadsTheInstalledVersion)
{
    const StoredVersionCase& c = GetParam();
    MemorySettingsStore store;
    if (c.bKey) {
        store.keys.insert(L"Install");
        store.WriteString(L"Install", L"Other", L"x");
    }
    if (c.value) {
        store.WriteString(L"Install", L"Version", *c.value);
    }
    LauncherTestLog log;
    U_HttpDown engine({}, &store, &log.log);
    std::wstring version = L"untouched";
    EXPECT_EQ(engine.GetClientVersion(version), c.expectRet);
    EXPECT_EQ(version, c.expectRet == 0 ? *c.value : L"untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, ClientVersionTable,
    ::testing::Values(StoredVersionCase{"NineDigits", true, L"001002003", 0},
                      StoredVersionCase{"NoKey", false, std::nullopt, -1},
                      StoredVersionCase{"NoValue", true, std::nullopt, -2},
                      StoredVersionCase{"Empty", true, L"", -3},
                      StoredVersionCase{"Eight", true, L"00100200", -3},
                      StoredVersionCase{"Ten", true, L"0010020030", -3},
                      StoredVersionCase{"Dotted", true, L"1.2.3", -3},
                      StoredVersionCase{"FillsTheBuffer", true, std::wstring(255, L'1'), -3},
                      StoredVersionCase{"LongerThanTheBuffer", true, std::wstring(256, L'1'), -2},
                      // Three Korean characters are nine bytes of 8-bit text.
                      StoredVersionCase{"NineBytes", true, L"버전값", 0}),
    [](const ::testing::TestParamInfo<StoredVersionCase>& info) { return std::string(info.param.name); });

class GetResponseTest : public ::testing::Test
{
protected:
    // An engine whose check has sent the installed version and holds an earlier address.
    std::unique_ptr<U_HttpDown> MakeEngine(CDbgLog& log)
    {
        auto engine = std::make_unique<U_HttpDown>(VersionCheckConfig{}, &m_store, &log);
        engine->State().strCliVer = L"001002003";
        engine->State().strUpdateUrl = L"old";
        return engine;
    }
    LauncherTestLog m_log;
    MemorySettingsStore m_store;
};

TEST_F(GetResponseTest, UpdateSetsTheServerVersionAndAddressAndLogsBoth)
{
    auto engine = MakeEngine(m_log.log);
    EXPECT_EQ(engine->GetResponse(R"({"checkResult": 1, "srvVer": "001002004", "updateReq_url": "http://d:81/버전.exe", "progMeta": "메타"})"),
              0);
    EXPECT_EQ(engine->m_strSrvVer, L"001002004");
    EXPECT_EQ(engine->State().strUpdateUrl, L"http://d:81/버전.exe");

    const auto messages = m_log.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0],
              L"U_HttpDown::GetResponse() nCheckResult=1 (0 No update, 1 Update, -21 Limit date, -31 Limit total, "
              L"-32 Limit daily, -41 Limit traffic, -11 Unregist version, ...), strSrvVer=001002004, "
              L"strUpdate_Url=http://d:81/버전.exe, strProgMeta=메타");
    EXPECT_EQ(messages[1].rfind(L"U_HttpDown::GetResponse() 다운로드 필요함. 관리버전 : 클라이언트 001002003, 서버 001002004[line: ", 0), 0u)
        << WideToUtf8(messages[1]);
    EXPECT_NE(messages[1].find(L", function: U_HttpDown::GetResponse, file: U_HttpDown]"), std::wstring::npos);
}

TEST_F(GetResponseTest, OtherCodesMeanNoUpdate)
{
    for (const char* answer : {R"({"checkResult": 0, "srvVer": "001002003"})", R"({"checkResult": -21})", "{}"}) {
        LauncherTestLog log;
        auto engine = MakeEngine(log.log);
        EXPECT_EQ(engine->GetResponse(answer), -10110) << answer;
        EXPECT_EQ(log.CountStartingWith(L"U_HttpDown::GetResponse() 다운로드 필요 없음. 관리버전 : 클라이언트 001002003, 서버 "), 1u)
            << answer;
    }
}

TEST_F(GetResponseTest, UnreadableAnswerLogsTheParseErrorAndChangesNothing)
{
    auto engine = MakeEngine(m_log.log);
    engine->m_strSrvVer = L"keep";
    for (const char* answer : {"<html>404</html>", "", "[1]", R"({"checkResult": 1, "srvVer": null})"}) {
        EXPECT_EQ(engine->GetResponse(answer), -10101) << answer;
    }
    EXPECT_EQ(engine->m_strSrvVer, L"keep");
    EXPECT_EQ(engine->State().strUpdateUrl, L"old");
    EXPECT_EQ(m_log.Count(L"U_HttpDown::GetResponse() ERROR. 버전체크서버 응답 JSON 파싱에러 발생."), 4u);
    EXPECT_EQ(m_log.Messages().size(), 4u);
}

TEST(DownloadFolder, IsTheTextBeforeTheLastSeparator)
{
    EXPECT_EQ(DownloadFolderOf(L"/tmp/Orva_Update.exe"), L"/tmp");
    EXPECT_EQ(DownloadFolderOf(L"/tmp//Orva_Update.exe"), L"/tmp/");
    EXPECT_EQ(DownloadFolderOf(L"C:\\Temp\\Orva_Update.exe"), L"C:\\Temp");
    EXPECT_EQ(DownloadFolderOf(L"a\\b/c\\d"), L"a\\b");  // "/" wins when there is one
    EXPECT_EQ(DownloadFolderOf(L"Orva_Update.exe"), L"");
    EXPECT_EQ(DownloadFolderOf(L"/"), L"");
}

TEST(DownloadFolder, MissingLevelsAreCreated)
{
    TempDir dir;
    const std::wstring path = dir.Path() + L"one/two/three/Orva_Update.exe";
    U_HttpDown::PrepareDownloadFolder(path);
    EXPECT_TRUE(QFileInfo(QString::fromStdWString(dir.Path() + L"one/two/three")).isDir());
    // An existing folder is fine.
    U_HttpDown::PrepareDownloadFolder(path);
    EXPECT_TRUE(U_HttpDown::CreateDirectoryPath(dir.Path() + L"one/two/three"));
}

TEST(DownloadFolder, GivesUpAfterTenAttempts)
{
    TempDir dir;
    // Six missing levels need twelve attempts: six to find the existing parent, six to create.
    const std::wstring deep = dir.Path() + L"a/b/c/d/e/f";
    EXPECT_FALSE(U_HttpDown::CreateDirectoryPath(deep));
    EXPECT_FALSE(QFileInfo(QString::fromStdWString(deep)).exists());
    // Four missing levels need eight.
    const std::wstring shallow = dir.Path() + L"w/x/y/z";
    EXPECT_TRUE(U_HttpDown::CreateDirectoryPath(shallow));
    EXPECT_TRUE(QFileInfo(QString::fromStdWString(shallow)).isDir());
}

TEST(DownloadFolder, AFileInTheWayIsAFailure)
{
    TempDir dir;
    const std::wstring blocker = dir.Path() + L"file";
    ASSERT_EQ(std::system(("touch '" + WideToUtf8(blocker) + "'").c_str()), 0);
    EXPECT_FALSE(U_HttpDown::CreateDirectoryPath(blocker + L"/sub"));
}

// The launcher's download folder as a test environment sets it up.
class TempFolderTest : public ::testing::Test
{
protected:
    std::string Tmp() const { return m_dir.QPath().toStdString(); }
    TempDir m_dir;
    ScopedTmpDir m_tmpEnv{m_dir.QPath().toStdString()};
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", std::nullopt};
    LauncherTestLog m_log;
    MemorySettingsStore m_store;
};

TEST_F(TempFolderTest, IsAPrivateFolderOfTheUserInTheTemporaryFolderAndLogged)
{
    U_HttpDown engine({}, &m_store, &m_log.log);
    const std::wstring expected = m_dir.Path() + L"ORVANTA_VEXA-" + std::to_wstring(::geteuid()) + L"/";
    EXPECT_EQ(engine.ChooseTempFolder(), expected);
    EXPECT_TRUE(IsPrivateFolder(WideToUtf8(expected)));
    EXPECT_EQ(m_log.Count(L"COrvantaStartDlg::VersionCheckStart() szTempDir=" + expected), 1u);
    // The same folder again on the next run.
    EXPECT_EQ(engine.ChooseTempFolder(), expected);
}

TEST_F(TempFolderTest, PrefersTheUsersRuntimeFolder)
{
    TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.QPath().toStdString());
    U_HttpDown engine({}, &m_store, &m_log.log);
    EXPECT_EQ(engine.ChooseTempFolder(), runtime.Path() + L"ORVANTA_VEXA/");
}

TEST_F(TempFolderTest, OpenFolderOfOursIsClosedToOthers)
{
    const std::string strFolder = Tmp() + "/ORVANTA_VEXA-" + std::to_string(::geteuid());
    ASSERT_EQ(::mkdir(strFolder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(strFolder.c_str(), 0777), 0);
    U_HttpDown engine({}, &m_store, &m_log.log);
    EXPECT_EQ(engine.ChooseTempFolder(), Utf8ToWide(strFolder + "/"));
    EXPECT_TRUE(IsPrivateFolder(strFolder));
}

struct PlantedFolderCase
{
    const char* name;
    bool bLink;  // a link to a folder of ours; otherwise a folder of another user
};

class PlantedFolder : public TempFolderTest, public ::testing::WithParamInterface<PlantedFolderCase>
{
};

TEST_P(PlantedFolder, IsNeverEnteredAFreshPrivateFolderIsMadeBesideIt)
{
    const std::string strFolder = Tmp() + "/ORVANTA_VEXA-" + std::to_string(::geteuid());
    const std::string strElsewhere = Tmp() + "/elsewhere";
    ASSERT_EQ(::mkdir(strElsewhere.c_str(), 0700), 0);
    if (GetParam().bLink) {
        ASSERT_EQ(::symlink(strElsewhere.c_str(), strFolder.c_str()), 0);
    } else {
        ASSERT_EQ(::mkdir(strFolder.c_str(), 0777), 0);
        if (::chown(strFolder.c_str(), 65534, 65534) != 0) {
            GTEST_SKIP() << "needs root to plant a folder of another user";
        }
    }
    U_HttpDown engine({}, &m_store, &m_log.log);
    const std::string strChosen = WideToUtf8(engine.ChooseTempFolder());
    ASSERT_FALSE(strChosen.empty());
    EXPECT_EQ(strChosen.rfind(strFolder + "-", 0), 0u) << strChosen;
    EXPECT_TRUE(IsPrivateFolder(strChosen.substr(0, strChosen.size() - 1)));
    EXPECT_TRUE(QDir(QString::fromStdString(strElsewhere)).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Launcher, PlantedFolder,
                         ::testing::Values(PlantedFolderCase{"Link", true}, PlantedFolderCase{"OtherUsers", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TempFolderFallback, IsInsideTheProgramFolderWithoutATemporaryFolder)
{
    ScopedTmpDir tmpEnv("/nonexistent/orvanta-temp");
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    LauncherTestLog log;
    MemorySettingsStore store;
    U_HttpDown engine({}, &store, &log.log);
    EXPECT_EQ(engine.ChooseTempFolder(),
              GetModuleFolder() + L"Temp Files/ORVANTA_VEXA-" + std::to_wstring(::geteuid()) + L"/");
}
}  // namespace
