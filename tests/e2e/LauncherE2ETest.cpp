// The system from the launcher's start, as a user starts it: the real launcher, client and
// demo installer against the stand-in service on a virtual display.
#include "E2eSupport.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>

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

    QStringList LauncherArgs() const
    {
        const QString port = QString::number(m_service.Port());
        return {QStringLiteral("[LogEnable=Y]"), QStringLiteral("[VerSrvIpPort=127.0.0.1:%1]").arg(port),
                QStringLiteral("[URL=http://127.0.0.1]"), QStringLiteral("[PORT=%1]").arg(port)};
    }
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
        // The service's own demo installer, from the source tree beside this test.
        QFile source(QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                     QStringLiteral("/../../service/installer/Orva_Update.exe"));
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
}  // namespace
