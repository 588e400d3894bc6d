// The running client killed by SIGSEGV: what support gets (a private dump the debugger reads)
// and what the next start finds (no socket file, nothing to clean up).
#include "E2eSupport.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/stat.h>

namespace {

const QString kToken = QStringLiteral("[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8]");
const QString kTitle = QStringLiteral("라벤토");
const QString kMessengerName = QStringLiteral("/ORVANTA_VEXA-74744AA9-DECA-4877-AC53-1703C170986A");

// The names of the Unix sockets the kernel lists for the machine ("@…" is abstract).
QStringList UnixSocketNames()
{
    QFile table(QStringLiteral("/proc/net/unix"));
    QStringList names;
    if (!table.open(QIODevice::ReadOnly)) {
        return names;
    }
    table.readLine();  // heading
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().trimmed().split(' ');
        if (fields.size() >= 8) {
            names << QString::fromUtf8(fields.last());
        }
    }
    return names;
}

// Socket files below `root`, which holds the test's home, settings, temporary folder and the
// program folder.
QStringList SocketFilesBelow(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        if (lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode)) {
            found << path;
        }
    }
    return found;
}

QString Gdb(const QString& program, const QString& core)
{
    QProcess gdb;
    gdb.setProcessChannelMode(QProcess::MergedChannels);
    gdb.start(QStringLiteral("gdb"), {"--batch", "-nx", "-ex", "info threads", "-ex", "bt", program, core});
    if (!gdb.waitForFinished(120000)) {
        gdb.kill();
        return {};
    }
    return QString::fromUtf8(gdb.readAll());
}

TEST(ClientCrash, SegvLeavesAPrivateDumpTheDebuggerReadsAndNoSocketFile)
{
    if (!HaveDisplay()) {
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    }
    StandInService service;
    ASSERT_TRUE(service.Start());
    ProgramFolder folder;
    QProcess client;
    folder.Start(client, QStringLiteral("Orvanta_Vexa"),
                 {kToken, QStringLiteral("[LogEnable=Y]"), QStringLiteral("[URL=http://127.0.0.1]"),
                  QStringLiteral("[PORT=%1]").arg(service.Port())});
    // Up with its page, so the browser's threads and processes are all there.
    ASSERT_TRUE(WaitUntil([] { return !VisibleWindows(kTitle).isEmpty(); }, 60000, 200))
        << "the frame never became visible";

    const QString name = folder.TempFolder() + kMessengerName;
    const QStringList sockets = UnixSocketNames();
    EXPECT_TRUE(sockets.contains(QLatin1Char('@') + name)) << "the messenger is not served in the abstract namespace";
    EXPECT_FALSE(sockets.contains(name));

    ASSERT_EQ(0, ::kill(static_cast<pid_t>(client.processId()), SIGSEGV));
    ASSERT_TRUE(client.waitForFinished(120000)) << "the client did not end after SIGSEGV";
    EXPECT_EQ(QProcess::NormalExit, client.exitStatus());
    EXPECT_EQ(0, client.exitCode());

    const QString dump = folder.Path() + QStringLiteral("Orvamta") +
                         QDate::currentDate().toString(QStringLiteral("yyyy.MM.dd")) + QStringLiteral(".dmp");
    struct stat st {};
    ASSERT_EQ(0, lstat(QFile::encodeName(dump).constData(), &st)) << "no dump at " << dump.toStdString();
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(0600U, st.st_mode & 07777);
    // Registers and stacks, not the heap the browser fills with hundreds of megabytes.
    EXPECT_LT(st.st_size, 64LL * 1024 * 1024);
    RecordProperty("dump_bytes", std::to_string(st.st_size));
    std::printf("client dump: %lld bytes\n", static_cast<long long>(st.st_size));
    const QStringList leftovers = QDir(folder.Path()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(leftovers.isEmpty()) << leftovers.join(' ').toStdString();

    const QString gdb = Gdb(folder.Path() + QStringLiteral("Orvanta_Vexa"), dump);
    EXPECT_TRUE(gdb.contains(QStringLiteral("terminated with signal SIGSEGV"))) << gdb.toStdString();
    EXPECT_TRUE(gdb.contains(QStringLiteral("\n#0 "))) << gdb.toStdString();
    // The threads of the browser are in it too, each with its registers.
    EXPECT_GT(gdb.count(QStringLiteral(" LWP ")), 5) << gdb.toStdString();

    EXPECT_FALSE(QFileInfo::exists(name));
    EXPECT_TRUE(SocketFilesBelow(QDir::cleanPath(folder.Path() + QStringLiteral("/.."))).isEmpty());
    EXPECT_FALSE(UnixSocketNames().contains(QLatin1Char('@') + name)) << "the dead client's name is still served";
}

}  // namespace
