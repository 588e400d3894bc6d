#include "net/CurlTConnect.h"
#include "LauncherTestLog.h"
#include "ScriptedHttpServer.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using Kind = ScriptedReply::Kind;
using Clock = std::chrono::steady_clock;

ScriptedReply Answer(int status, std::string body, std::string extra = {})
{
    ScriptedReply r;
    r.status = status;
    r.body = std::move(body);
    r.extraHeaders = std::move(extra);
    return r;
}

ScriptedReply Stall(int ms)
{
    ScriptedReply r;
    r.kind = Kind::Stall;
    r.stallMs = ms;
    return r;
}

ScriptedReply Unframed(int status, std::string body)
{
    ScriptedReply r;
    r.kind = Kind::Unframed;
    r.status = status;
    r.body = std::move(body);
    return r;
}

ScriptedReply Drop()
{
    ScriptedReply r;
    r.kind = Kind::Drop;
    return r;
}

std::string FileBytes(const std::wstring& path)
{
    return ReadFileBytes(WideToUtf8(path));
}

struct PostCase
{
    const char* name;
    std::vector<ScriptedReply> replies;
    int nRetry;
    size_t expectRequests;
    std::vector<unsigned int> expectWaits;
    std::string expectResult;  // "" with expectCurlError: the library's text
    int expectCurlResult;
    int expectHttpCode;
    size_t expectFailLines;  // one per attempt the library failed
};

std::ostream& operator<<(std::ostream& os, const PostCase& c)
{
    return os << c.name;
}

class CurlPostTable : public ::testing::TestWithParam<PostCase>
{
};

TEST_P(CurlPostTable, AttemptsAndWaitsByResultAndStatus)
{
    const PostCase& c = GetParam();
    ScriptedHttpServer server(c.replies);
    LauncherTestLog log;
    CCurlTConnect curl(&log.log);
    std::vector<unsigned int> waits;
    curl.SetSleep([&waits](unsigned int ms) { waits.push_back(ms); });

    const std::string result = curl.CurlPostA(L"{\"a\": 1}", server.Url("/p"), c.nRetry, L"");

    const std::string expected =
        c.expectCurlResult != 0 ? curl_easy_strerror(static_cast<CURLcode>(c.expectCurlResult)) : c.expectResult;
    EXPECT_EQ(result, expected);
    EXPECT_EQ(server.Requests().size(), c.expectRequests);
    EXPECT_EQ(waits, c.expectWaits);
    EXPECT_EQ(curl.m_nCurlResult, c.expectCurlResult);
    EXPECT_EQ(curl.m_nHttpCode, c.expectHttpCode);
    // One failure line per failed attempt.
    EXPECT_EQ(log.CountStartingWith(L"[CurlPost]URL: " + server.Url("/p") + L", res: "), c.expectFailLines);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, CurlPostTable,
    ::testing::Values(
        PostCase{"Ok", {Answer(200, "{\"checkResult\": 0}")}, 1, 1, {}, "{\"checkResult\": 0}", 0, 200, 0},
        PostCase{"NotFoundIsFinal", {Answer(404, "<html>404</html>")}, 1, 1, {}, "<html>404</html>", 0, 404, 0},
        PostCase{"ServerErrorRetriedAfterTwoSeconds", {Answer(500, "e1"), Answer(500, "e2")}, 1, 2,
                 {2000, 2000}, "e2", 0, 500, 0},
        PostCase{"ServerErrorThenOk", {Answer(500, "e1"), Answer(200, "ok")}, 1, 2, {2000}, "ok", 0, 200, 0},
        // The second answer is empty: the text of the first one stays.
        PostCase{"EmptyRetryKeepsEarlierText", {Answer(503, "busy"), Answer(200, "")}, 1, 2, {2000}, "busy", 0, 200, 0},
        PostCase{"DroppedConnectionWaitsTwoSeconds", {Drop(), Drop()}, 1, 2, {2000, 2000}, "", CURLE_GOT_NOTHING, 0, 2},
        PostCase{"DropThenOk", {Drop(), Answer(200, "ok")}, 1, 2, {2000}, "ok", 0, 200, 1},
        PostCase{"NoRetry", {Answer(500, "e1")}, 0, 1, {2000}, "e1", 0, 500, 0},
        PostCase{"NegativeRetryMakesNoAttempt", {Answer(200, "ok")}, -1, 0, {}, "", 0, 0, 0}),
    [](const ::testing::TestParamInfo<PostCase>& info) { return std::string(info.param.name); });

TEST(CurlPost, TimeoutIsRetriedAtOnceAndReturnsTheLibrarysText)
{
    ScriptedHttpServer server({Stall(3000)});
    LauncherTestLog log;
    CCurlTConnect curl(&log.log);
    std::vector<unsigned int> waits;
    curl.SetSleep([&waits](unsigned int ms) { waits.push_back(ms); });

    const auto start = Clock::now();
    const std::string result = curl.CurlPostA(L"{}", server.Url("/p"), 1, L"");
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();

    EXPECT_EQ(result, curl_easy_strerror(CURLE_OPERATION_TIMEDOUT));
    EXPECT_EQ(curl.m_nCurlResult, CURLE_OPERATION_TIMEDOUT);
    EXPECT_TRUE(waits.empty());
    EXPECT_EQ(server.Requests().size(), 2u);
    // Two attempts of two seconds each.
    EXPECT_GE(elapsed, 3900);
    EXPECT_LT(elapsed, 6000);
    EXPECT_EQ(log.CountStartingWith(L"[CurlPost]URL: " + server.Url("/p") + L", res: 28, retry: 0[line: "), 1u);
    EXPECT_EQ(log.CountStartingWith(L"[CurlPost]URL: " + server.Url("/p") + L", res: 28, retry: 1[line: "), 1u);
}

TEST(CurlPost, RequestOnTheWireIsExact)
{
    ScriptedHttpServer server({Answer(200, "ok")});
    CCurlTConnect curl;
    const std::wstring body = L"{\"progId\": \"Orvan_Vexa\", \"cliVer\": \"버전\", \"isVerTest\": 1}";
    curl.CurlPostA(body, server.Url("/iCliVer/version/checkVersion.jsp"), 1, L"");

    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string raw = server.Requests()[0];
    EXPECT_EQ(RequestBody(raw), WideToUtf8(body));  // UTF-8, byte for byte
    const std::string head = RequestHead(raw);
    EXPECT_EQ(head.rfind("POST /iCliVer/version/checkVersion.jsp HTTP/1.1\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nContent-Type: application/x-www-form-urlencoded"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(WideToUtf8(body).size())), std::string::npos);
    EXPECT_EQ(head.find("Authorization"), std::string::npos);
}

TEST(CurlPost, TokenIsSentAsBearer)
{
    ScriptedHttpServer server({Answer(200, "ok")});
    CCurlTConnect curl;
    curl.CurlPostA(L"x=1", server.Url("/p"), 0, L"tok-123");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_NE(RequestHead(server.Requests()[0]).find("\r\nAuthorization: Bearer tok-123"), std::string::npos);
}

class CurlDownloadTest : public ::testing::Test
{
protected:
    std::wstring Path() const { return m_dir.Path() + L"Orva_Update.exe"; }
    // A file of an earlier attempt, private as the layer leaves it.
    void WriteExisting(const std::string& bytes) const
    {
        std::ofstream(WideToUtf8(Path()), std::ios::binary) << bytes;
        ::chmod(WideToUtf8(Path()).c_str(), 0600);
    }
    TempDir m_dir;
    LauncherTestLog m_log;
};

TEST_F(CurlDownloadTest, FreshDownloadSendsNoRangeAndReportsProgress)
{
    const std::string file(5000, 'x');
    ScriptedHttpServer server({Answer(200, file)});
    CCurlTConnect curl(&m_log.log);

    EXPECT_TRUE(curl.CurlDownload(server.Url("/d?progId=Orvan_Vexa"), Path(), 0));
    EXPECT_EQ(curl.m_nCurlResult, 0);
    EXPECT_EQ(curl.m_nHttpCode, 200);
    EXPECT_EQ(FileBytes(Path()), file);
    EXPECT_EQ(curl.m_nDownNow.load(), 5000u);
    EXPECT_EQ(curl.m_nDownTotal.load(), 5000u);
    struct stat info{};
    ASSERT_EQ(::stat(WideToUtf8(Path()).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "private, and not runnable before it is checked";
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string raw = server.Requests()[0];
    EXPECT_EQ(raw.rfind("GET /d?progId=Orvan_Vexa HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(raw.find("Range"), std::string::npos);
    EXPECT_EQ(m_log.CountStartingWith(L"[CurlDownload]URL: " + server.Url("/d?progId=Orvan_Vexa") + L", res: 0[line: "), 1u);
}

TEST_F(CurlDownloadTest, ResumeSendsTheRangeLineAndAppends)
{
    WriteExisting(std::string(1000, 'a'));
    ScriptedHttpServer server({Answer(206, std::string(500, 'b'), "Content-Range: bytes 1000-1499/1500\r\n")});
    CCurlTConnect curl(&m_log.log);

    EXPECT_TRUE(curl.CurlDownload(server.Url("/d"), Path(), 1000));
    EXPECT_EQ(curl.m_nHttpCode, 206);
    EXPECT_FALSE(curl.m_bRestartedFromZero);
    EXPECT_EQ(FileBytes(Path()), std::string(1000, 'a') + std::string(500, 'b'));
    EXPECT_EQ(curl.m_nDownTotal.load(), 500u);  // the remaining part, as announced
    EXPECT_EQ(curl.m_nRequestBase.load(), 1000u);
    EXPECT_EQ(curl.m_llTotalSize, 1500);
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string raw = server.Requests()[0];
    // The line carries its own CR LF in front of the one the library adds.
    EXPECT_EQ(RequestHead(raw).substr(RequestHead(raw).rfind("\r\n") + 2), "Range:bytes=1000-") << raw;
    EXPECT_NE(raw.find("\r\nRange:bytes=1000-\r\n\r\n"), std::string::npos) << raw;
}

struct RefusedCase
{
    const char* name;
    ScriptedReply reply;
    int nOffset;             // the file holds this many bytes of the installer already
    long long llExpected;    // the answer's size, -1 none
    CCurlTConnect::Refusal refusal;
    int expectCurlResult;
    int expectHttpCode;
    size_t expectFileSize;   // what stays: never any byte of a refused response
};

std::ostream& operator<<(std::ostream& os, const RefusedCase& c)
{
    return os << c.name;
}

class RefusedResponses : public CurlDownloadTest, public ::testing::WithParamInterface<RefusedCase>
{
};

const std::string kWhole = std::string(1000, 'a') + std::string(500, 'b');

TEST_P(RefusedResponses, FailTheRequestAndLeaveTheFileAsItWas)
{
    const RefusedCase& c = GetParam();
    if (c.nOffset != 0) {
        WriteExisting(kWhole.substr(0, static_cast<size_t>(c.nOffset)));
    }
    ScriptedHttpServer server({c.reply});
    CCurlTConnect curl(&m_log.log);
    curl.SetExpectedSize(c.llExpected);

    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), Path(), c.nOffset));
    EXPECT_EQ(curl.m_refusal, c.refusal);
    EXPECT_EQ(curl.m_nCurlResult, c.expectCurlResult);
    EXPECT_EQ(curl.m_nHttpCode, c.expectHttpCode);
    EXPECT_EQ(FileBytes(Path()), kWhole.substr(0, c.expectFileSize));
    EXPECT_EQ(m_log.CountStartingWith(L"[CurlDownload]URL: " + server.Url("/d") + L", res: "), 1u);
}

using Refusal = CCurlTConnect::Refusal;
INSTANTIATE_TEST_SUITE_P(
    Launcher, RefusedResponses,
    ::testing::Values(
        RefusedCase{"NotFound", Answer(404, "<html>missing</html>"), 0, -1, Refusal::Status, CURLE_HTTP_RETURNED_ERROR, 404, 0},
        RefusedCase{"Forbidden", Answer(403, "<html>no</html>"), 0, 1500, Refusal::Status, CURLE_HTTP_RETURNED_ERROR, 403, 0},
        RefusedCase{"ServerErrorOnResume", Answer(500, "<html>oops</html>"), 1000, 1500, Refusal::Status,
                    CURLE_HTTP_RETURNED_ERROR, 500, 1000},
        RefusedCase{"UnavailableOnResume", Answer(503, "<html>busy</html>"), 1000, -1, Refusal::Status,
                    CURLE_HTTP_RETURNED_ERROR, 503, 1000},
        RefusedCase{"EmptyNotFound", Answer(404, ""), 1000, -1, Refusal::Status, CURLE_HTTP_RETURNED_ERROR, 404, 1000},
        RefusedCase{"RangeNotSatisfiable", Answer(416, "<html>416</html>", "Content-Range: bytes */1500\r\n"), 1000, 1500,
                    Refusal::Status, CURLE_HTTP_RETURNED_ERROR, 416, 1000},
        RefusedCase{"PartFromTheWrongOffset", Answer(206, kWhole, "Content-Range: bytes 0-1499/1500\r\n"), 1000, 1500,
                    Refusal::Range, CURLE_RANGE_ERROR, 206, 1000},
        RefusedCase{"PartWithoutContentRange", Answer(206, kWhole.substr(1000)), 1000, -1, Refusal::Range,
                    CURLE_RANGE_ERROR, 206, 1000},
        RefusedCase{"PartOfAnotherSize", Answer(206, kWhole.substr(1000), "Content-Range: bytes 1000-1499/9999\r\n"), 1000,
                    1500, Refusal::Size, CURLE_WRITE_ERROR, 206, 1000},
        RefusedCase{"WholeOfAnotherSize", Answer(200, kWhole + "<html>"), 0, 1500, Refusal::Size, CURLE_WRITE_ERROR, 200, 0},
        // Installer bytes with an error page behind them, on a connection without a length.
        RefusedCase{"BytesPastTheSize", Unframed(200, kWhole + "<html>error</html>"), 0, 1500, Refusal::TooLong,
                    CURLE_WRITE_ERROR, 200, 0},
        RefusedCase{"BytesPastTheSizeOnResume", Unframed(200, kWhole + "<html>error</html>"), 1000, 1500, Refusal::TooLong,
                    CURLE_WRITE_ERROR, 200, 0},
        // A body cut short on a connection without a length: what came is the installer's and
        // stays for the resume, but the request did not bring it all.
        RefusedCase{"CutShortWithoutLength", Unframed(200, kWhole.substr(0, 700)), 0, 1500, Refusal::None,
                    CURLE_PARTIAL_FILE, 200, 700}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(CurlDownloadTest, UnframedWholeFileWithoutAKnownSizeIsTakenAsItCame)
{
    ScriptedHttpServer server({Unframed(200, kWhole)});
    CCurlTConnect curl(&m_log.log);
    EXPECT_TRUE(curl.CurlDownload(server.Url("/d"), Path(), 0));
    EXPECT_EQ(FileBytes(Path()), kWhole);
    EXPECT_EQ(curl.m_llTotalSize, -1);
}

struct PlantedCase
{
    const char* name;
    int nOffset;
};

class PlantedFile : public CurlDownloadTest, public ::testing::WithParamInterface<PlantedCase>
{
};

TEST_P(PlantedFile, IsNeitherFollowedNorWrittenAndNothingIsRequested)
{
    ScriptedHttpServer server({Answer(200, kWhole)});
    const std::string strPath = WideToUtf8(Path());
    const std::string strName = GetParam().name;
    const std::string strTarget = WideToUtf8(m_dir.Path()) + "target";
    std::ofstream(strTarget, std::ios::binary) << std::string(static_cast<size_t>(GetParam().nOffset), 'x');
    ::chmod(strTarget.c_str(), 0600);
    if (strName.rfind("Link", 0) == 0) {
        ASSERT_EQ(::symlink(strTarget.c_str(), strPath.c_str()), 0);
    } else if (strName.rfind("OtherUsers", 0) == 0) {
        ASSERT_EQ(::rename(strTarget.c_str(), strPath.c_str()), 0);
        if (::chown(strPath.c_str(), 65534, 65534) != 0) {
            GTEST_SKIP() << "needs root to plant a file of another user";
        }
    } else if (strName.rfind("OpenToOthers", 0) == 0) {
        ASSERT_EQ(::rename(strTarget.c_str(), strPath.c_str()), 0);
        ASSERT_EQ(::chmod(strPath.c_str(), 0666), 0);
    } else {  // a second name of a file elsewhere
        ASSERT_EQ(::link(strTarget.c_str(), strPath.c_str()), 0);
    }
    CCurlTConnect curl(&m_log.log);

    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), Path(), GetParam().nOffset));
    EXPECT_EQ(curl.m_refusal, CCurlTConnect::Refusal::File);
    EXPECT_NE(curl.m_nCurlResult, 0);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(FileBytes(Path()), std::string(static_cast<size_t>(GetParam().nOffset), 'x'));
}

INSTANTIATE_TEST_SUITE_P(Launcher, PlantedFile,
                         ::testing::Values(PlantedCase{"LinkFresh", 0}, PlantedCase{"LinkResumed", 1000},
                                           PlantedCase{"OtherUsersFresh", 0}, PlantedCase{"OtherUsersResumed", 1000},
                                           PlantedCase{"OpenToOthersResumed", 1000},
                                           PlantedCase{"HardLinkResumed", 1000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurlDownloadTest, LeftoverIsContinuedOnlyAtItsOwnSize)
{
    WriteExisting(kWhole.substr(0, 800));
    ScriptedHttpServer server({Answer(206, kWhole.substr(1000), "Content-Range: bytes 1000-1499/1500\r\n")});
    CCurlTConnect curl(&m_log.log);
    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), Path(), 1000));
    EXPECT_EQ(curl.m_refusal, CCurlTConnect::Refusal::File);
    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), Path(), 0)) << "not emptied either";
    EXPECT_EQ(FileBytes(Path()), kWhole.substr(0, 800));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CurlDownloadTest, OnlyHttpAndHttpsAreFetchedAlsoBehindARedirect)
{
    const std::string strSecret = WideToUtf8(m_dir.Path()) + "secret";
    std::ofstream(strSecret) << "not for the installer";
    ScriptedHttpServer front({Answer(302, "", "Location: file://" + strSecret + "\r\n")});
    for (const std::wstring& url : {L"file://" + Utf8ToWide(strSecret), std::wstring(L"ftp://127.0.0.1:1/x"),
                                    front.Url("/d")}) {
        CCurlTConnect curl(&m_log.log);
        EXPECT_FALSE(curl.CurlDownload(url, Path(), 0)) << WideToUtf8(url);
        EXPECT_EQ(curl.m_nCurlResult, CURLE_UNSUPPORTED_PROTOCOL) << WideToUtf8(url);
        EXPECT_EQ(FileBytes(Path()), "") << WideToUtf8(url);
    }
    EXPECT_EQ(front.Requests().size(), 1u);
}

TEST(CurlPost, OnlyHttpAndHttpsAreAsked)
{
    TempDir dir;
    const std::string strAnswer = WideToUtf8(dir.Path()) + "answer.json";
    std::ofstream(strAnswer) << R"({"checkResult": 1})";
    CCurlTConnect curl;
    curl.SetSleep([](unsigned int) {});
    EXPECT_EQ(curl.CurlPostA(L"{}", L"file://" + Utf8ToWide(strAnswer), 0, L""),
              curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL));
}

TEST(CurlPost, HttpsAddressSpeaksTlsAndChecksTheCertificate)
{
    // A plain server receives the TLS greeting; nothing it says is taken as an answer.
    ScriptedHttpServer server({Answer(200, R"({"checkResult": 1})")});
    CCurlTConnect curl;
    curl.SetSleep([](unsigned int) {});
    const std::string result =
        curl.CurlPostA(L"{}", L"https://127.0.0.1:" + std::to_wstring(server.Port()) + L"/p", 0, L"");
    EXPECT_NE(result, R"({"checkResult": 1})");
    EXPECT_NE(curl.m_nCurlResult, 0);
    // The server records the greeting when the client gives up on it, on its own thread.
    ASSERT_TRUE(WaitUntil([&] { return !server.Requests().empty(); }, 5000));
    EXPECT_EQ(static_cast<unsigned char>(server.Requests()[0].at(0)), 0x16u) << "a TLS handshake record";
}

TEST_F(CurlDownloadTest, WholeFileInsteadOfPartStartsTheFileAgain)
{
    const std::string whole = "0123456789ABCDEFGHIJ";
    WriteExisting(whole.substr(0, 8));
    ScriptedHttpServer server({Answer(200, whole)});
    CCurlTConnect curl(&m_log.log);

    EXPECT_TRUE(curl.CurlDownload(server.Url("/d"), Path(), 8));
    EXPECT_TRUE(curl.m_bRestartedFromZero);
    EXPECT_EQ(FileBytes(Path()), whole);
}

TEST_F(CurlDownloadTest, RedirectsAreFollowed)
{
    ScriptedHttpServer target({Answer(200, "payload")});
    ScriptedHttpServer front({Answer(302, "", "Location: " + WideToUtf8(target.Url("/real")) + "\r\n")});
    CCurlTConnect curl(&m_log.log);
    EXPECT_TRUE(curl.CurlDownload(front.Url("/d"), Path(), 0));
    EXPECT_EQ(curl.m_nHttpCode, 200);
    EXPECT_EQ(FileBytes(Path()), "payload");
}

TEST_F(CurlDownloadTest, TransferFailureReportsCodeAndText)
{
    ScriptedHttpServer server({Drop()});
    CCurlTConnect curl(&m_log.log);
    curl.m_nHttpCode = 123;
    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), Path(), 0));
    EXPECT_EQ(curl.m_nCurlResult, CURLE_GOT_NOTHING);
    EXPECT_EQ(curl.m_strError, curl_easy_strerror(CURLE_GOT_NOTHING));
    EXPECT_EQ(curl.m_nHttpCode, 0);  // no response came
    EXPECT_EQ(m_log.CountStartingWith(L"[CurlDownload]URL: " + server.Url("/d") + L", res: " +
                                      Utf8ToWide(curl.m_strError) + L"[line: "),
              1u);
}

TEST_F(CurlDownloadTest, FileThatCannotBeOpenedIsAFailureNotASuccess)
{
    ScriptedHttpServer server({Answer(200, "payload")});
    CCurlTConnect curl(&m_log.log);
    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), m_dir.Path() + L"missing/folder/file.exe", 0));
    EXPECT_NE(curl.m_nCurlResult, 0);
    EXPECT_FALSE(curl.m_strError.empty());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CurlDownloadTest, ShortPathIsRefusedSilently)
{
    ScriptedHttpServer server({Answer(200, "payload")});
    CCurlTConnect curl(&m_log.log);
    curl.m_nCurlResult = 77;
    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), L"ab", 0));
    EXPECT_EQ(curl.m_nCurlResult, 77);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(m_log.Messages().empty());
}

// Uses the real ten-second limit.
TEST_F(CurlDownloadTest, SlowServerEndsAfterTenSecondsKeepingItsBytes)
{
    ScriptedReply partial;
    partial.kind = Kind::Partial;
    partial.status = 200;
    partial.body = std::string(300, 'p');
    partial.contentLength = 1000;
    partial.stallMs = 15000;
    ScriptedHttpServer server({partial});
    CCurlTConnect curl(&m_log.log);

    const auto start = Clock::now();
    EXPECT_FALSE(curl.CurlDownload(server.Url("/d"), Path(), 0));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();

    EXPECT_EQ(curl.m_nCurlResult, CURLE_OPERATION_TIMEDOUT);
    EXPECT_GE(elapsed, 9900);
    EXPECT_LT(elapsed, 12000);
    EXPECT_EQ(FileBytes(Path()), std::string(300, 'p'));
    EXPECT_EQ(curl.m_nDownNow.load(), 300u);
    EXPECT_EQ(curl.m_nDownTotal.load(), 1000u);

    // The timing line comes at most every three seconds of transfer time: at 3, 6 and 9.
    std::vector<double> times;
    for (const auto& m : m_log.Messages()) {
        const std::wstring head = L"[CurlDownload]TOTAL TIME: ";
        if (m.rfind(head, 0) == 0) {
            times.push_back(std::stod(m.substr(head.size())));
            EXPECT_NE(m.find(L"[line: "), std::wstring::npos);
            EXPECT_NE(m.find(L", function: CCurlTConnect::xferinfo, file: common\\CurlTConnect]"), std::wstring::npos);
        }
    }
    ASSERT_EQ(times.size(), 3u);
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_GE(times[i], 3000000.0 * static_cast<double>(i + 1));
        EXPECT_LT(times[i], 3000000.0 * static_cast<double>(i + 1) + 1500000.0);
    }
}
}  // namespace
