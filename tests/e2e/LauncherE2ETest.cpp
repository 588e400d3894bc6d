// The system from the launcher's start, as a user starts it: the real launcher, client and
// demo installer against the stand-in service on a virtual display.
#include "E2eSupport.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>

namespace {

const QString kToken = QStringLiteral("[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8]");

// The processes running a program of this folder; the client and a restarted launcher are
// detached from the test, so they are found by their program file.
QList<qint64> ProcessesOf(const ProgramFolder& folder, const QString& program)
{
    QList<qint64> pids;
    const QString target = QFileInfo(folder.Path() + program).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).canonicalFilePath() == target) {
            pids << pid;
        }
    }
    return pids;
}

void KillPrograms(const ProgramFolder& folder)
{
    for (const QString& program : {QStringLiteral("OrvantaStart_Vexa"), QStringLiteral("Orvanta_Vexa")}) {
        for (const qint64 pid : ProcessesOf(folder, program)) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
    }
    WaitUntil([&] {
        return ProcessesOf(folder, QStringLiteral("Orvanta_Vexa")).isEmpty() &&
               ProcessesOf(folder, QStringLiteral("OrvantaStart_Vexa")).isEmpty();
    }, 5000, 100);
}

void WriteSettings(const ProgramFolder& folder, const QString& version)
{
    QDir().mkpath(folder.ConfigHome() + QStringLiteral("/ORVANTA_VEXA"));
    QFile file(folder.ConfigHome() + QStringLiteral("/ORVANTA_VEXA/settings.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Logs on for every run, also the ones the installer starts.
    file.write(QStringLiteral("[LogOption]\nOrvanta.txt=1\nOrvantaStart.txt=1\n[Install]\nVersion=%1\n")
                   .arg(version)
                   .toUtf8());
}

QString ReadSettings(const ProgramFolder& folder)
{
    QFile file(folder.ConfigHome() + QStringLiteral("/ORVANTA_VEXA/settings.ini"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool LogHas(const ProgramFolder& folder, const QString& log, const QString& text)
{
    return ProgramLogHas(folder.Path(), log, text);
}

// The launcher's command line for a version server and service both at 127.0.0.1:nPort.
QStringList LauncherArgsFor(int nPort)
{
    const QString port = QString::number(nPort);
    return {QStringLiteral("[LogEnable=Y]"), QStringLiteral("[VerSrvIpPort=127.0.0.1:%1]").arg(port),
            QStringLiteral("[URL=http://127.0.0.1]"), QStringLiteral("[PORT=%1]").arg(port)};
}

class LauncherE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveDisplay()) {
            GTEST_SKIP() << "no display";
        }
    }
    void TearDown() override { KillPrograms(m_folder); }

    QStringList LauncherArgs() const { return LauncherArgsFor(m_service.Port()); }
    QString ClientCommandLine() const { return kToken + QLatin1Char(' ') + LauncherArgs().join(QLatin1Char(' ')); }

    ProgramFolder m_folder;
    StandInService m_service;
};

TEST_F(LauncherE2E, NoUpdateStartsTheClientWithTheTokenAndTheWholeCommandLine)
{
    ASSERT_TRUE(m_service.Start());
    WriteSettings(m_folder, QStringLiteral("001000001"));

    int exitCode = -1;
    ASSERT_TRUE(m_folder.Run(QStringLiteral("OrvantaStart_Vexa"), LauncherArgs(), 30000, &exitCode));
    EXPECT_EQ(exitCode, 0);

    EXPECT_TRUE(WaitForLogLine(m_folder.Path(), QStringLiteral("Orvanta"),
                               QStringLiteral("strCmdLine=") + ClientCommandLine(), 20000));
    EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(m_folder, QStringLiteral("Orvanta_Vexa")).size() == 1; }, 20000, 100));
    EXPECT_TRUE(LogHas(m_folder, QStringLiteral("OrvantaStart"),
                       QStringLiteral("COrvantaStartDlg::ExecMainCid() Orvanta.exe=") + m_folder.Path() +
                           QStringLiteral("Orvanta_Vexa cmd=") + ClientCommandLine() + QStringLiteral("[line: ")));
    EXPECT_FALSE(LogHas(m_folder, QStringLiteral("OrvantaStart"), QStringLiteral("다운로드 시작 : 화면 Show.")));
}

TEST_F(LauncherE2E, UpdateShowsTheProgressWindowRunsTheInstallerAndEndsInTheNewClient)
{
    // The demo installer, padded so that its paced download keeps the window up a while.
    const QString installer = m_folder.TempFolder() + QStringLiteral("/../served_Orva_Update.exe");
    {
        // The service's own demo installer, from the source tree.
        QFile source(QStringLiteral(ORVANTA_DEMO_INSTALLER));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << source.fileName().toStdString();
        QByteArray script = source.readAll();
        for (int i = 0; i < 4000; ++i) {
            script += "# padding of the demo installer, so its download takes a few seconds\n";
        }
        QFile out(installer);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(script);
    }
    ASSERT_TRUE(m_service.Start({QStringLiteral("--update-check-result"), QStringLiteral("1"),
                                 QStringLiteral("--update-srv-ver"), QStringLiteral("001000002"),
                                 QStringLiteral("--update-installer"), installer,
                                 QStringLiteral("--update-bandwidth"), QStringLiteral("60000")}));
    WriteSettings(m_folder, QStringLiteral("001000001"));

    QProcess launcher;
    m_folder.Start(launcher, QStringLiteral("OrvantaStart_Vexa"), LauncherArgs());

    QList<WindowGeometry> windows;
    ASSERT_TRUE(WaitUntil([&] {
        windows = VisibleWindows(QStringLiteral("라벤토 - 업데이트"));
        return !windows.isEmpty();
    }, 20000, 100)) << "the progress window did not show";
    EXPECT_EQ(windows.first().rect.size(), QSize(324, 206));

    // The download ends in the installer: the launcher ends, the new version is recorded,
    // the restarted launcher finds no update and starts the client.
    EXPECT_TRUE(launcher.waitForFinished(60000));
    EXPECT_EQ(launcher.exitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadSettings(m_folder).contains(QStringLiteral("Version=001000002")); }, 20000, 100))
        << ReadSettings(m_folder).toStdString();
    EXPECT_TRUE(WaitForLogLine(m_folder.Path(), QStringLiteral("Orvanta"),
                               QStringLiteral("strCmdLine=") + ClientCommandLine(), 30000));
    EXPECT_TRUE(LogHas(m_folder, QStringLiteral("OrvantaStart"),
                       QStringLiteral("COrvantaStartDlg::On_VersionCheck_Exit() 다운로드 받은 업데이트파일 실행.")));
    EXPECT_TRUE(LogHas(m_folder, QStringLiteral("OrvantaStart"), QStringLiteral("다운로드 필요 없음.")));
    // A client that is slow to serve its socket (a loaded machine) may be started twice by the
    // launcher's close rules; the second gives way to the first, so one remains.
    EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(m_folder, QStringLiteral("Orvanta_Vexa")).size() == 1; }, 20000, 100))
        << ProcessesOf(m_folder, QStringLiteral("Orvanta_Vexa")).size();
}

TEST_F(LauncherE2E, RunningClientMakesTheLauncherStartNothingAndEnd)
{
    ASSERT_TRUE(m_service.Start());
    WriteSettings(m_folder, QStringLiteral("001000001"));
    QProcess client;
    QStringList clientArgs{kToken};
    clientArgs << LauncherArgs();
    m_folder.Start(client, QStringLiteral("Orvanta_Vexa"), clientArgs);
    // The client serves its messenger once its main frame exists.
    ASSERT_TRUE(WaitUntil([&] {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(m_folder.TempFolder() +
                               QStringLiteral("/ORVANTA_VEXA-74744AA9-DECA-4877-AC53-1703C170986A"));
        return socket.waitForConnected(200);
    }, 30000, 100));

    int exitCode = -1;
    ASSERT_TRUE(m_folder.Run(QStringLiteral("OrvantaStart_Vexa"), LauncherArgs(), 30000, &exitCode));
    EXPECT_EQ(exitCode, 0);

    EXPECT_TRUE(LogHas(m_folder, QStringLiteral("OrvantaStart"), QStringLiteral("OrvantaStart is Running...")));
    EXPECT_FALSE(LogHas(m_folder, QStringLiteral("OrvantaStart"), QStringLiteral("COrvantaStartDlg::ExecMainCid()")));
    EXPECT_EQ(ProcessesOf(m_folder, QStringLiteral("Orvanta_Vexa")), QList<qint64>{client.processId()});
    client.kill();
    client.waitForFinished(5000);
}

// The same launcher against a web server that is not the project's: nginx from the system,
// serving the installer as a static file (with its own Range handling) and the version answer
// as a static JSON file.
class StaticServer
{
public:
    ~StaticServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }
    QString Root() const { return m_dir.path() + QStringLiteral("/www"); }
    int Port() const { return m_port; }
    QString Url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }

    bool Start()
    {
        const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
        if (nginx.isEmpty()) {
            return false;
        }
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        const QString dir = m_dir.path();
        QDir().mkpath(Root() + QStringLiteral("/files"));
        QFile conf(dir + QStringLiteral("/nginx.conf"));
        if (!conf.open(QIODevice::WriteOnly)) {
            return false;
        }
        // One process, no user switch: as root it still reads the test's private files.
        conf.write(QStringLiteral(
                       "master_process off;\n"
                       "pid %1/nginx.pid;\n"
                       "error_log %1/error.log info;\n"
                       "events { worker_connections 64; }\n"
                       "http {\n"
                       "  access_log %1/access.log;\n"
                       "  client_body_temp_path %1/body; proxy_temp_path %1/proxy; fastcgi_temp_path %1/fastcgi;\n"
                       "  uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;\n"
                       "  default_type application/octet-stream;\n"
                       "  server {\n"
                       "    listen 127.0.0.1:%2;\n"
                       "    root %3;\n"
                       "    location = /iCliVer/version/checkVersion.jsp {\n"
                       "      default_type application/json;\n"
                       "      alias %3/answer.json;\n"
                       // The check is a POST; a static file answers that with 405 unless told.
                       "      error_page 405 =200 $uri;\n"
                       "    }\n"
                       "    location /forbidden/ { return 403; }\n"
                       "  }\n"
                       "}\n")
                       .arg(dir)
                       .arg(m_port)
                       .arg(Root())
                       .toUtf8());
        conf.close();
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(nginx, {QStringLiteral("-p"), dir, QStringLiteral("-c"), conf.fileName(), QStringLiteral("-e"),
                                dir + QStringLiteral("/error.log"), QStringLiteral("-g"), QStringLiteral("daemon off;")});
        if (!m_process.waitForStarted(5000)) {
            return false;
        }
        return WaitForLocalPort(m_port, 10000);
    }

    bool WriteFile(const QString& path, const QByteArray& content) const
    {
        QFile file(Root() + path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    // The requests of the access log whose request line names the path.
    int RequestsFor(const QString& method, const QString& path) const
    {
        QFile file(m_dir.path() + QStringLiteral("/access.log"));
        if (!file.open(QIODevice::ReadOnly)) {
            return 0;
        }
        const QByteArray line = ('"' + method + QLatin1Char(' ') + path).toUtf8();
        return static_cast<int>(file.readAll().count(line));
    }
    QString StatusesFor(const QString& path) const
    {
        QFile file(m_dir.path() + QStringLiteral("/access.log"));
        QStringList statuses;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (line.contains(("GET " + path).toUtf8())) {
                    statuses << QString::fromUtf8(line).section(QLatin1Char('"'), 2, 2).trimmed().section(QLatin1Char(' '), 0, 0);
                }
            }
        }
        return statuses.join(QLatin1Char(','));
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

struct ForeignServerCase
{
    const char* name;
    const char* downloadPath;  // what the answer's "updateReq_url" names
    long long sizeDelta;       // "updateSize" is the installer's size plus this
    bool wrongDigest;
    bool installerRuns;
    int downloads;        // requests for the installer the server sees
    const char* statuses;  // their statuses, in order
    const char* logText;  // what the launcher's log says about the download
};

const ForeignServerCase kForeignServerCases[] = {
    {"GoodUpdate", "/files/Orva_Update.exe", 0, false, true, 1, "200",
     "COrvantaStartDlg::On_VersionCheck_Exit() 다운로드 받은 업데이트파일 실행."},
    // A 404 ends the download at once; every other failure is tried four times.
    {"Download404", "/files/missing.exe", 0, false, false, 1, "404", "HTTP status 404"},
    {"Download403", "/forbidden/Orva_Update.exe", 0, false, false, 4, "403,403,403,403", "HTTP status 403"},
    {"DigestMismatch", "/files/Orva_Update.exe", 0, true, false, 4, "200,200,200,200",
     "U_HttpDown::Process() installer check failed: SHA-256 "},
    {"SizeMismatch", "/files/Orva_Update.exe", 1, false, false, 4, "200,200,200,200", "is not the installer's"},
};

class LauncherForeignServerE2E : public ::testing::TestWithParam<ForeignServerCase>
{
protected:
    void SetUp() override
    {
        if (!HaveDisplay()) {
            GTEST_SKIP() << "no display";
        }
    }
    void TearDown() override { KillPrograms(m_folder); }

    QStringList LauncherArgs() const { return LauncherArgsFor(m_server.Port()); }
    QString LauncherOutput() const
    {
        QFile file(m_folder.OutputFile(QStringLiteral("OrvantaStart_Vexa")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    ProgramFolder m_folder;
    StaticServer m_server;
};

TEST_P(LauncherForeignServerE2E, RunsOnlyTheInstallerTheAnswerNamedAndElseTheInstalledClient)
{
    const ForeignServerCase& c = GetParam();
    ASSERT_TRUE(m_server.Start()) << "nginx (scripts/setup installs it) did not start";

    // A static server cannot compare versions: the demo installer, with a first line that
    // makes its answer "no update" once it has run, as a real server's would be then.
    QFile source(QStringLiteral(ORVANTA_DEMO_INSTALLER));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << source.fileName().toStdString();
    QByteArray installer = source.readAll();
    const qsizetype firstLine = installer.indexOf('\n') + 1;
    installer.insert(firstLine, "mv -f '" + m_server.Root().toUtf8() + "/answer-after.json' '" +
                                    m_server.Root().toUtf8() + "/answer.json'\n");
    ASSERT_TRUE(m_server.WriteFile(QStringLiteral("/files/Orva_Update.exe"), installer));
    const QByteArray digest = c.wrongDigest ? QByteArray(64, '0')
                                            : QCryptographicHash::hash(installer, QCryptographicHash::Sha256).toHex();
    ASSERT_TRUE(m_server.WriteFile(
        QStringLiteral("/answer.json"),
        QStringLiteral(R"({"checkResult": 1, "srvVer": "001000002", "updateReq_url": "%1", "progMeta": "", )"
                       R"("updateSize": %2, "updateSha256": "%3"})")
            .arg(m_server.Url(QString::fromLatin1(c.downloadPath)))
            .arg(installer.size() + c.sizeDelta)
            .arg(QString::fromLatin1(digest))
            .toUtf8()));
    ASSERT_TRUE(m_server.WriteFile(QStringLiteral("/answer-after.json"),
                                   R"({"checkResult": 0, "srvVer": "001000002", "updateReq_url": "", "progMeta": ""})"));
    WriteSettings(m_folder, QStringLiteral("001000001"));

    QProcess launcher;
    m_folder.Start(launcher, QStringLiteral("OrvantaStart_Vexa"), LauncherArgs());

    if (c.installerRuns) {
        EXPECT_TRUE(launcher.waitForFinished(60000));
        EXPECT_TRUE(WaitUntil([&] { return ReadSettings(m_folder).contains(QStringLiteral("Version=001000002")); }, 30000, 100))
            << ReadSettings(m_folder).toStdString();
        // The restarted launcher finds no update and starts the client.
        EXPECT_TRUE(WaitForLogLine(m_folder.Path(), QStringLiteral("OrvantaStart"), QStringLiteral("다운로드 필요 없음."), 30000));
    } else {
        // The user is told the update failed; the box's OK goes on to the installed client.
        bool sawMessage = false;
        EXPECT_TRUE(WaitUntil([&] {
            if (launcher.state() == QProcess::NotRunning) {
                return true;
            }
            if (ProgramLogHas(m_folder.Path(), QStringLiteral("OrvantaStart"), QStringLiteral("COrvantaStartDlg::On_DownloadError()"))) {
                for (const WindowGeometry& window : VisibleWindows(QString::fromWCharArray(L"라벤토 - 업데이트"))) {
                    if (window.rect.size() != QSize(324, 206)) {
                        sawMessage = true;
                        SendKey(window.id, QStringLiteral("Return"));
                    }
                }
            }
            return launcher.waitForFinished(200);
        }, 90000, 100));
        EXPECT_TRUE(sawMessage) << "no message box";
        EXPECT_EQ(launcher.exitCode(), 0);
        EXPECT_TRUE(ReadSettings(m_folder).contains(QStringLiteral("Version=001000001"))) << ReadSettings(m_folder).toStdString();
        EXPECT_FALSE(LogHas(m_folder, QStringLiteral("OrvantaStart"), QStringLiteral("다운로드 받은 업데이트파일 실행.")));
        EXPECT_FALSE(LauncherOutput().contains(QStringLiteral("Orva_Update: demo installer started")));
        EXPECT_TRUE(LogHas(m_folder, QStringLiteral("OrvantaStart"), QStringLiteral("COrvantaStartDlg::On_DownloadError() exec main")));
    }
    EXPECT_TRUE(LogHas(m_folder, QStringLiteral("OrvantaStart"), QString::fromUtf8(c.logText)));
    EXPECT_EQ(LauncherOutput().contains(QStringLiteral("Orva_Update: demo installer started")), c.installerRuns);
    EXPECT_EQ(m_server.RequestsFor(QStringLiteral("GET"), QString::fromLatin1(c.downloadPath)), c.downloads);
    EXPECT_EQ(m_server.StatusesFor(QString::fromLatin1(c.downloadPath)), QString::fromLatin1(c.statuses));
    // Either way the client of the folder ends up running, started with the launcher's line.
    EXPECT_TRUE(WaitForLogLine(m_folder.Path(), QStringLiteral("Orvanta"),
                               QStringLiteral("strCmdLine=") + kToken + QLatin1Char(' ') + LauncherArgs().join(QLatin1Char(' ')),
                               30000));
    EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(m_folder, QStringLiteral("Orvanta_Vexa")).size() == 1; }, 20000, 100))
        << ProcessesOf(m_folder, QStringLiteral("Orvanta_Vexa")).size();
}

INSTANTIATE_TEST_SUITE_P(Cases, LauncherForeignServerE2E, ::testing::ValuesIn(kForeignServerCases),
                         [](const ::testing::TestParamInfo<ForeignServerCase>& info) { return std::string(info.param.name); });
}  // namespace
