#include "LauncherTestLog.h"
#include "platform/ModulePath.h"
#include "core/U_HttpDown.h"
#include "core/VersionCheck.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cstdlib>
#include <sys/stat.h>

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
        AnswerCase{"ProgMetaArray", R"({"checkResult": 0, "progMeta": []})", kUpdateFlagNotJson, 0, "", ""}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST(VersionCheckRequest, BodyIsTheExactTextTheServerExpects)
{
    EXPECT_EQ(MakeVersionCheckBody(L"001002003", 0),
              L"{\"progId\": \"Orvan_Vexa\", \"cliVer\": \"001002003\", \"isVerTest\": 0}");
    EXPECT_EQ(MakeVersionCheckBody(L"", 1), L"{\"progId\": \"Orvan_Vexa\", \"cliVer\": \"\", \"isVerTest\": 1}");
    // Inserted as they are, without escaping.
    EXPECT_EQ(MakeVersionCheckBody(L"a\"b", -3), L"{\"progId\": \"Orvan_Vexa\", \"cliVer\": \"a\"b\", \"isVerTest\": -3}");
}

TEST(VersionCheckRequest, AddressTakesTheServerVerbatim)
{
    EXPECT_EQ(MakeVersionCheckUrl(L"10.1.2.3"), L"http://10.1.2.3/iCliVer/version/checkVersion.jsp");
    EXPECT_EQ(MakeVersionCheckUrl(L"10.1.2.3:8470"), L"http://10.1.2.3:8470/iCliVer/version/checkVersion.jsp");
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

TEST(TempFolderTest, IsTheSystemsTemporaryFolderAndLogged)
{
    TempDir dir;
    ScopedTmpDir tmpEnv(dir.QPath().toStdString());
    LauncherTestLog log;
    MemorySettingsStore store;
    U_HttpDown engine({}, &store, &log.log);
    EXPECT_EQ(engine.ChooseTempFolder(), dir.Path());
    EXPECT_EQ(log.Count(L"COrvantaStartDlg::VersionCheckStart() szTempDir=" + dir.Path()), 1u);

    tmpEnv.Unset();
    EXPECT_EQ(engine.ChooseTempFolder(), L"/tmp/");
}

TEST(TempFolderTest, FallsBackToTheProgramFolderWithoutOne)
{
    ScopedTmpDir tmpEnv("/nonexistent/orvanta-temp");
    LauncherTestLog log;
    MemorySettingsStore store;
    U_HttpDown engine({}, &store, &log.log);
    EXPECT_EQ(engine.ChooseTempFolder(), GetModuleFolder() + L"Temp Files");
}
}  // namespace
