// The download engine against local servers: a scripted one for exact failures and Range
// lines, the stand-in service's own routes for a paced download.
#include "platform/WorkerPost.h"
#include "net/CurlTConnect.h"
#include "core/LauncherEvents.h"
#include "LauncherTestLog.h"
#include "ScriptedHttpServer.h"
#include "UpdateService.h"
#include "WaitUntil.h"
#include "core/InstallerFile.h"
#include "core/U_HttpDown.h"
#include "core/UpdaterRules.h"
#include "core/VersionCheck.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The window as the engine sees it: records each message, with the restart count a retry
// finds when it is handled.
class WindowRecorder : public QObject
{
public:
    struct Message
    {
        QEvent::Type type;
        qintptr wParam;
        qintptr lParam;
        int nRestartCount;
    };

    explicit WindowRecorder(const U_HttpDown* pEngine) : m_pEngine(pEngine) {}

    bool event(QEvent* e) override
    {
        AcceptWorkerPosts();
        if (const auto* p = dynamic_cast<LauncherMessageEvent*>(e)) {
            messages.push_back({e->type(), p->WParam(), p->LParam(), m_pEngine->Download().m_nRestartCount.load()});
            return true;
        }
        return QObject::event(e);
    }

    std::vector<QEvent::Type> Types() const
    {
        std::vector<QEvent::Type> out;
        for (const auto& m : messages) {
            out.push_back(m.type);
        }
        return out;
    }
    size_t Count(QEvent::Type type) const
    {
        size_t n = 0;
        for (const auto& m : messages) {
            n += m.type == type ? 1 : 0;
        }
        return n;
    }
    bool Has(QEvent::Type type) const { return Count(type) != 0; }

    std::vector<Message> messages;

private:
    const U_HttpDown* m_pEngine;
};

// The download's workers need a few seconds for the retries; this is generous.
constexpr int kLimitMs = 60000;

// Lets the window handle what arrives for nMilliseconds.
void PumpFor(int nMilliseconds)
{
    WaitUntil([] { return false; }, nMilliseconds);
}

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(WideToUtf8(path), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
    }
    return s;
}

std::string RangeLineOf(const std::string& raw)
{
    const std::string head = RequestHead(raw);
    const size_t pos = head.find("Range:");
    if (pos == std::string::npos) {
        return {};
    }
    return head.substr(pos, head.find("\r\n", pos) - pos);
}

class DownloadEngine : public ::testing::Test
{
protected:
    void SetUp() override { EnsureCoreApplication(); }

    // An engine as the check leaves it for an update from the given address, saving into the
    // temporary folder, its window recorder in place.
    std::unique_ptr<U_HttpDown> MakeEngine(const std::wstring& strUrl)
    {
        auto engine = std::make_unique<U_HttpDown>(VersionCheckConfig{}, &m_log.store, &m_log.log);
        engine->m_strSrvVer = L"001000002";
        engine->State().strUpdateUrl = strUrl;
        engine->State().strDownFilePath = m_path;
        m_window = std::make_unique<WindowRecorder>(engine.get());
        engine->SetWindow(m_window.get());
        return engine;
    }

    TempDir m_tmp;
    const std::wstring m_path = m_tmp.Path() + L"Orva_Update.exe";
    LauncherTestLog m_log;
    std::unique_ptr<WindowRecorder> m_window;
};

TEST_F(DownloadEngine, SmallInstallerArrivesInOneRequestAndEndsWithTheWholeSize)
{
    const std::string body = Pattern(40000);
    ScriptedHttpServer server({{ScriptedReply::Kind::Answer, 200, body, "", 0, 0}});
    auto engine = MakeEngine(server.Url("/iCliVer/download/Orva_Update.exe"));

    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitUntil([&] { return m_window->Has(WM_VERSIONCHECK_EXIT); }, kLimitMs));

    EXPECT_EQ(ReadAll(m_path), body);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(RangeLineOf(requests[0]), "");
    EXPECT_NE(RequestHead(requests[0]).find("GET /iCliVer/download/Orva_Update.exe?progId=Orvan_Vexa&srvVer=001000002&isVerTest=0 "),
              std::string::npos);
    const auto& m = m_window->messages;
    ASSERT_GE(m.size(), 3u);
    EXPECT_EQ(m.front().type, WM_DOWN_START);
    EXPECT_EQ(m[m.size() - 2].type, WM_DOWN_PROGRESS);
    EXPECT_EQ(m[m.size() - 2].wParam, 40000);
    EXPECT_EQ(m[m.size() - 2].lParam, 40000);
    EXPECT_EQ(m.back().type, WM_VERSIONCHECK_EXIT);
    EXPECT_EQ(m.back().wParam, kExitRunInstaller);
    EXPECT_EQ(m_window->Count(WM_DOWN_START), 1u);
    EXPECT_EQ(m_window->Count(WM_DOWN_RETRY), 0u);
}

TEST_F(DownloadEngine, ResumesFromTheFilesSizeAlsoAfterAnAttemptThatBroughtNothing)
{
    // A drop half-way, then an attempt that gets no answer at all (the progress counters of
    // the first attempt must not be counted twice), then the rest.
    const std::string body = Pattern(60000);
    const size_t half = 25000;
    std::vector<ScriptedReply> replies;
    replies.push_back({ScriptedReply::Kind::Partial, 200, body.substr(0, half), "", 0, body.size()});
    replies.push_back({ScriptedReply::Kind::Drop, 0, "", "", 0, 0});
    replies.push_back({ScriptedReply::Kind::Answer, 206, body.substr(half),
                       "Content-Range: bytes " + std::to_string(half) + "-" + std::to_string(body.size() - 1) + "/" +
                           std::to_string(body.size()) + "\r\n",
                       0, 0});
    ScriptedHttpServer server(replies);
    auto engine = MakeEngine(server.Url("/d"));

    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(
        WaitUntil([&] { return m_window->Has(WM_VERSIONCHECK_EXIT) || m_window->Has(WM_DOWN_ERROR); }, kLimitMs));

    EXPECT_EQ(ReadAll(m_path), body);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(RangeLineOf(requests[0]), "");
    EXPECT_EQ(RangeLineOf(requests[1]), "Range:bytes=25000-");
    EXPECT_EQ(RangeLineOf(requests[2]), "Range:bytes=25000-");
    // The retry texts showed 1 and 2 of 4; the end reports the first request's whole size.
    std::vector<int> retryCounts;
    for (const auto& m : m_window->messages) {
        if (m.type == WM_DOWN_RETRY) {
            retryCounts.push_back(m.nRestartCount);
        }
    }
    EXPECT_EQ(retryCounts, (std::vector<int>{1, 2}));
    const auto& last = m_window->messages.back();
    EXPECT_EQ(last.type, WM_VERSIONCHECK_EXIT);
    const auto& final = m_window->messages[m_window->messages.size() - 2];
    EXPECT_EQ(final.type, WM_DOWN_PROGRESS);
    EXPECT_EQ(final.wParam, static_cast<qintptr>(body.size()));
    EXPECT_EQ(final.lParam, static_cast<qintptr>(body.size()));
}

enum class Plant
{
    Nothing,
    Link,        // the download path is a link to a file elsewhere
    OtherUsers,  // the download path holds another user's file
    Leftover,    // a file of ours from an earlier run: the installer's first half
    WrongLeftover,  // the same, with other bytes: resumed, then found wrong
};

struct MisbehaviourCase
{
    const char* name;
    std::vector<ScriptedReply> replies;  // the last one repeats
    size_t expectRequests;
    size_t expectRetries;  // retry texts the user saw
    bool expectRun;        // the installer was handed over, verified
    Plant plant = Plant::Nothing;
    bool bAnswerNamesTheInstaller = true;  // "updateSize" and "updateSha256"
};

std::ostream& operator<<(std::ostream& os, const MisbehaviourCase& c)
{
    return os << c.name;
}

const std::string kInstaller = Pattern(60000);
const size_t kHalf = 25000;

ScriptedReply Reply(ScriptedReply::Kind kind, int status, std::string body, std::string extra = {},
                    size_t contentLength = 0)
{
    ScriptedReply r;
    r.kind = kind;
    r.status = status;
    r.body = std::move(body);
    r.extraHeaders = std::move(extra);
    r.contentLength = contentLength;
    return r;
}

// The first half of the installer, then the connection closes.
ScriptedReply FirstHalf()
{
    return Reply(ScriptedReply::Kind::Partial, 200, kInstaller.substr(0, kHalf), "", kInstaller.size());
}

ScriptedReply Page(int status)
{
    return Reply(ScriptedReply::Kind::Answer, status, "<html><body>error " + std::to_string(status) + "</body></html>");
}

std::string Sha256Hex(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

class ServerMisbehaviour : public DownloadEngine, public ::testing::WithParamInterface<MisbehaviourCase>
{
};

TEST_P(ServerMisbehaviour, NothingUnverifiedRunsAndTheUserSeesEachTry)
{
    const MisbehaviourCase& c = GetParam();
    ScriptedHttpServer server(c.replies);
    auto engine = MakeEngine(server.Url("/iCliVer/download/Orva_Update.exe"));
    if (c.bAnswerNamesTheInstaller) {
        engine->State().llExpectedSize = static_cast<long long>(kInstaller.size());
        engine->State().strExpectedSha256 = Sha256Hex(kInstaller);
    }
    const std::string strPath = WideToUtf8(m_path);
    const std::string strElsewhere = WideToUtf8(m_tmp.Path()) + "elsewhere";
    const bool bPlantedByOthers = c.plant == Plant::Link || c.plant == Plant::OtherUsers;
    if (c.plant == Plant::Leftover || c.plant == Plant::WrongLeftover) {
        std::ofstream(strPath, std::ios::binary)
            << (c.plant == Plant::Leftover ? kInstaller.substr(0, kHalf) : Pattern(kHalf + 1).substr(1));
        ASSERT_EQ(::chmod(strPath.c_str(), 0600), 0);
    } else if (bPlantedByOthers) {
        std::ofstream(strElsewhere, std::ios::binary) << "#!/bin/sh\necho planted\n";
        if (c.plant == Plant::Link) {
            ASSERT_EQ(::symlink(strElsewhere.c_str(), strPath.c_str()), 0);
        } else {
            ASSERT_EQ(::rename(strElsewhere.c_str(), strPath.c_str()), 0);
            if (::chown(strPath.c_str(), 65534, 65534) != 0) {
                GTEST_SKIP() << "needs root to plant a file of another user";
            }
        }
    }

    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(
        WaitUntil([&] { return m_window->Has(WM_VERSIONCHECK_EXIT) || m_window->Has(WM_DOWN_ERROR); }, kLimitMs));
    // Give a wrongly released further attempt the time to show itself.
    PumpFor(1500);

    EXPECT_EQ(server.Requests().size(), c.expectRequests);
    EXPECT_EQ(m_window->Count(WM_DOWN_RETRY), c.expectRetries);
    EXPECT_EQ(m_window->Count(WM_DOWN_START), 1u);
    EXPECT_EQ(m_window->Has(WM_VERSIONCHECK_EXIT), c.expectRun);
    EXPECT_EQ(m_window->Count(WM_DOWN_ERROR), c.expectRun ? 0u : 1u) << "the give-up message";
    EXPECT_EQ(engine->IsInstallerVerified(), c.expectRun);
    for (const auto& m : m_window->messages) {
        if (m.type == WM_DOWN_PROGRESS) {
            EXPECT_LE(m.lParam, m.wParam) << "the bar never passes its end";
        }
    }
    struct stat info{};
    if (c.expectRun) {
        EXPECT_EQ(ReadAll(m_path), kInstaller);
        ASSERT_EQ(::stat(strPath.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    } else if (!bPlantedByOthers) {
        // Whatever is left is the start of the installer and cannot be run.
        const std::string left = ReadAll(m_path);
        EXPECT_EQ(left, kInstaller.substr(0, left.size()));
        if (::stat(strPath.c_str(), &info) == 0) {
            EXPECT_EQ(info.st_mode & 0111, 0u);
        }
    } else {
        EXPECT_EQ(ReadAll(c.plant == Plant::Link ? Utf8ToWide(strElsewhere) : m_path), "#!/bin/sh\necho planted\n");
        ASSERT_EQ(::stat((c.plant == Plant::Link ? strElsewhere : strPath).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0111, 0u) << "made runnable for nobody";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, ServerMisbehaviour,
    ::testing::Values(
        // A missing installer ends the download at once.
        MisbehaviourCase{"NotFound", {Page(404)}, 1, 0, false},
        MisbehaviourCase{"Forbidden", {Page(403)}, 4, 4, false},
        MisbehaviourCase{"ServerError", {Page(500)}, 4, 4, false},
        MisbehaviourCase{"NotFoundOnResume", {FirstHalf(), Page(404)}, 2, 1, false},
        MisbehaviourCase{"ServerErrorOnResume", {FirstHalf(), Page(500)}, 4, 4, false},
        MisbehaviourCase{"UnavailableOnResume", {FirstHalf(), Page(503)}, 4, 4, false},
        MisbehaviourCase{"RangeNotSatisfiable",
                         {FirstHalf(), Reply(ScriptedReply::Kind::Answer, 416, "<html>416</html>",
                                             "Content-Range: bytes */" + std::to_string(kInstaller.size()) + "\r\n")},
                         4, 4, false},
        MisbehaviourCase{"CutShortWithoutLength", {Reply(ScriptedReply::Kind::Unframed, 200, kInstaller.substr(0, kHalf))},
                         4, 4, false},
        MisbehaviourCase{"PartFromTheWrongOffset",
                         {FirstHalf(), Reply(ScriptedReply::Kind::Answer, 206, kInstaller,
                                             "Content-Range: bytes 0-" + std::to_string(kInstaller.size() - 1) + "/" +
                                                 std::to_string(kInstaller.size()) + "\r\n")},
                         4, 4, false},
        // The whole file again instead of the rest: started over, and it is the installer.
        MisbehaviourCase{"IgnoresRange", {FirstHalf(), Reply(ScriptedReply::Kind::Answer, 200, kInstaller)}, 2, 1, true},
        MisbehaviourCase{"IgnoresRangeWithoutSizeInTheAnswer",
                         {FirstHalf(), Reply(ScriptedReply::Kind::Answer, 200, kInstaller)}, 2, 1, true, Plant::Nothing,
                         false},
        MisbehaviourCase{"ErrorPageBehindTheInstaller",
                         {Reply(ScriptedReply::Kind::Unframed, 200, kInstaller + "<html>error</html>")}, 4, 4, false},
        MisbehaviourCase{"LengthOfAnotherFile", {Reply(ScriptedReply::Kind::Answer, 200, kInstaller + "<html>")}, 4, 4,
                         false},
        // Right size, wrong bytes: deleted, and every try starts from zero.
        MisbehaviourCase{"DigestMismatch", {Reply(ScriptedReply::Kind::Answer, 200, Pattern(kInstaller.size() + 1).substr(1))},
                         4, 4, false},
        // Our own leftover is continued; its bytes count in the digest, a wrong start fails it.
        MisbehaviourCase{"ResumesOurLeftover",
                         {Reply(ScriptedReply::Kind::Answer, 206, kInstaller.substr(kHalf),
                                "Content-Range: bytes " + std::to_string(kHalf) + "-" +
                                    std::to_string(kInstaller.size() - 1) + "/" + std::to_string(kInstaller.size()) +
                                    "\r\n")},
                         1, 0, true, Plant::Leftover},
        MisbehaviourCase{"ResumesAWrongLeftover",
                         {Reply(ScriptedReply::Kind::Answer, 206, kInstaller.substr(kHalf),
                                "Content-Range: bytes " + std::to_string(kHalf) + "-" +
                                    std::to_string(kInstaller.size() - 1) + "/" + std::to_string(kInstaller.size()) +
                                    "\r\n")},
                         4, 4, false, Plant::WrongLeftover},
        MisbehaviourCase{"PlantedLink", {Reply(ScriptedReply::Kind::Answer, 200, kInstaller)}, 0, 4, false, Plant::Link},
        MisbehaviourCase{"PlantedFileOfAnotherUser", {Reply(ScriptedReply::Kind::Answer, 200, kInstaller)}, 0, 4, false,
                         Plant::OtherUsers}),
    [](const ::testing::TestParamInfo<MisbehaviourCase>& info) { return std::string(info.param.name); });

// What the download writes, in order, and what the file then holds.
struct DigestStep
{
    // Where the bytes go; -1: the file is cut back to llCut (after taking the bytes, when some
    // are given, behind the digest's back) and the digest synced with it.
    long long llOffset;
    std::string bytes;
    long long llCut = 0;
};

struct DigestCase
{
    const char* name;
    std::vector<DigestStep> steps;
    bool expectCovered;  // the running digest stands for the file without reading it again
};

std::ostream& operator<<(std::ostream& os, const DigestCase& c)
{
    return os << c.name;
}

class RunningDigestFollowsTheFile : public ::testing::TestWithParam<DigestCase>
{
protected:
    TempDir m_tmp;
};

TEST_P(RunningDigestFollowsTheFile, MatchesTheFilesDigestOrAdmitsItLostTrack)
{
    const std::wstring path = m_tmp.Path() + L"Orva_Update.exe";
    const std::string strPath = WideToUtf8(path);
    std::string file;
    std::ofstream(strPath, std::ios::binary).flush();
    RunningDigest digest(path);
    for (const DigestStep& step : GetParam().steps) {
        if (step.llOffset < 0) {
            if (!step.bytes.empty()) {
                file = step.bytes;
            }
            file.resize(static_cast<size_t>(step.llCut));
            std::ofstream(strPath, std::ios::binary) << file;
            ASSERT_TRUE(digest.SyncWithFile(step.llCut));
            continue;
        }
        if (step.llOffset == 0) {
            file.clear();
        }
        // The engine reports pieces of whatever size the transfer brought, each once it is
        // in the file.
        for (size_t at = 0; at < step.bytes.size(); at += 70000) {
            const std::string piece = step.bytes.substr(at, 70000);
            const size_t nAt = static_cast<size_t>(step.llOffset) + at;
            if (nAt == file.size() && nAt > 0) {
                // As the transfer writes: appended, while the digest may be reading.
                file += piece;
                std::ofstream(strPath, std::ios::binary | std::ios::app) << piece;
            } else {
                file.resize(std::max(file.size(), nAt), '?');
                file.replace(nAt, piece.size(), piece);
                std::ofstream(strPath, std::ios::binary) << file;
            }
            digest.Add(static_cast<long long>(nAt), piece.size());
        }
    }
    const long long llSize = static_cast<long long>(file.size());
    EXPECT_EQ(digest.Covers(llSize), GetParam().expectCovered);
    if (GetParam().expectCovered) {
        EXPECT_EQ(digest.Hex(), Sha256Hex(file));
    }
    // Either way the check says what the file holds.
    std::string strWhy;
    EXPECT_TRUE(VerifyInstaller(path, llSize, Sha256Hex(file), strWhy, &digest)) << strWhy;
    EXPECT_FALSE(VerifyInstaller(path, llSize, Sha256Hex(file + "x"), strWhy, &digest));
}

const std::string kBig = Pattern(3 * 1024 * 1024 + 17);

INSTANTIATE_TEST_SUITE_P(
    Launcher, RunningDigestFollowsTheFile,
    ::testing::Values(
        DigestCase{"InOneGo", {{0, kBig}}, true},
        DigestCase{"ResumedInParts", {{0, kBig.substr(0, 1000)}, {1000, kBig.substr(1000)}}, true},
        // The server ignored the Range line: the file starts again, and so does the digest.
        DigestCase{"StartedAgain", {{0, kBig.substr(0, 5000)}, {0, kBig}}, true},
        // A refused answer's bytes are cut back out: the digest is rebuilt from the file.
        DigestCase{"CutBack", {{0, kBig.substr(0, 9000)}, {9000, "<html>error</html>"}, {-1, "", 9000},
                               {9000, kBig.substr(9000)}}, true},
        DigestCase{"LeftoverResumed", {{-1, kBig.substr(0, 4000), 4000}, {4000, kBig.substr(4000)}}, true},
        // Bytes that do not continue the file: it reads the file instead.
        DigestCase{"Gap", {{0, kBig.substr(0, 4000)}, {4100, kBig.substr(4100)}}, false},
        DigestCase{"Overlap", {{0, kBig.substr(0, 4000)}, {3000, kBig.substr(3000)}}, false},
        DigestCase{"Empty", {}, true}),
    [](const ::testing::TestParamInfo<DigestCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadEngine, GivesUpAfterTheFourthFailureWithTheMessagesInOrder)
{
    ScriptedHttpServer server({{ScriptedReply::Kind::Drop, 0, "", "", 0, 0}});
    auto engine = MakeEngine(server.Url("/d"));

    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitUntil([&] { return m_window->Has(WM_DOWN_ERROR); }, kLimitMs));
    PumpFor(1500);

    std::vector<QEvent::Type> types;
    std::vector<int> retryCounts;
    for (const auto& m : m_window->messages) {
        if (m.type != WM_DOWN_PROGRESS) {
            types.push_back(m.type);
        }
        if (m.type == WM_DOWN_RETRY) {
            retryCounts.push_back(m.nRestartCount);
        }
    }
    EXPECT_EQ(types, (std::vector<QEvent::Type>{WM_DOWN_START, WM_DOWN_RETRY, WM_DOWN_RETRY, WM_DOWN_RETRY,
                                                WM_DOWN_RETRY, WM_DOWN_ERROR}));
    EXPECT_EQ(retryCounts, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(m_window->messages.back().wParam, kDownloadErrorCode);
    EXPECT_EQ(server.Requests().size(), 4u);
    EXPECT_EQ(m_log.CountStartingWith(L"U_HttpDown::ReStartDown() error msg[line: "), 1u);
    // The worker waits for a release that never comes; destruction still ends it.
    engine.reset();
}

class PacedDownload : public DownloadEngine
{
protected:
    void SetUp() override
    {
        DownloadEngine::SetUp();
        m_installer = Pattern(150000);
        const std::string installerPath = m_tmp.QPath().toStdString() + "/served.bin";
        std::ofstream(installerPath, std::ios::binary) << m_installer;
        // About 1.5 seconds for the whole file.
        m_service = std::make_unique<InProcessService>(
            UpdateRoutesOnly({"--update-installer", installerPath, "--update-bandwidth", "100000"}));
        ASSERT_GT(m_service->Port(), 0);
    }
    std::wstring Url() const { return m_service->Url("/iCliVer/download/Orva_Update.exe"); }

    std::unique_ptr<InProcessService> m_service;
    std::string m_installer;
};

TEST_F(PacedDownload, MonitorReportsGrowingProgressAgainstTheWholeSize)
{
    auto engine = MakeEngine(Url());
    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitUntil([&] { return m_window->Has(WM_VERSIONCHECK_EXIT); }, kLimitMs));

    EXPECT_EQ(ReadAll(m_path), m_installer);
    std::vector<qintptr> done;
    for (const auto& m : m_window->messages) {
        if (m.type == WM_DOWN_PROGRESS) {
            EXPECT_EQ(m.wParam, 150000);
            done.push_back(m.lParam);
        }
    }
    // Several reports while the bytes arrive, never going back, the last one complete.
    ASSERT_GE(done.size(), 5u);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_GT(done.front(), 0);
    EXPECT_LT(done.front(), 150000);
    EXPECT_EQ(done.back(), 150000);
    EXPECT_GE(m_log.CountStartingWith(L"U_HttpDown::MonitorStatusThread [line: "), 4u);
}

TEST_F(PacedDownload, PausedDownloadReportsNothingUntilResumed)
{
    auto engine = MakeEngine(Url());
    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitUntil([&] { return m_window->Has(WM_DOWN_PROGRESS); }, kLimitMs));
    engine->PauseDownload();
    const size_t nBefore = m_window->messages.size();
    // Long enough for the whole file to have arrived, had the worker gone on reporting.
    PumpFor(3000);

    EXPECT_FALSE(m_window->Has(WM_VERSIONCHECK_EXIT));
    EXPECT_LE(m_window->messages.size(), nBefore + 1) << "at most a report already under way";

    engine->ResumeDownload();
    ASSERT_TRUE(WaitUntil([&] { return m_window->Has(WM_VERSIONCHECK_EXIT); }, kLimitMs));
    EXPECT_EQ(ReadAll(m_path), m_installer);
    EXPECT_EQ(m_window->Count(WM_DOWN_RETRY), 0u) << "a pause is not a failed try";
}

TEST_F(PacedDownload, DestructionDuringAnAttemptStopsAndJoinsTheWorkers)
{
    auto engine = MakeEngine(Url());
    ASSERT_TRUE(engine->StartThread());
    ASSERT_TRUE(WaitUntil([&] { return m_window->Has(WM_DOWN_PROGRESS); }, kLimitMs));
    // As the window's destruction does it: no window first, then the engine goes.
    engine->SetWindow(nullptr);
    engine.reset();
    // Nothing reaches the window after the engine is gone.
    const size_t nAfter = m_window->messages.size();
    PumpFor(300);
    EXPECT_EQ(m_window->messages.size(), nAfter);
}
}  // namespace
