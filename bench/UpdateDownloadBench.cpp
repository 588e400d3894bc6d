// The launcher's installer download, timed: asks the version check at the given server, then
// runs the download engine (requests, monitor, private file, size and SHA-256 check) until it
// hands the installer over. Prints the seconds from the start of the download to the hand-over.
#include "core/LauncherEvents.h"
#include "core/U_HttpDown.h"
#include "core/VersionCheck.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
class HandOver : public QObject
{
public:
    bool event(QEvent* e) override
    {
        if (e->type() == WM_VERSIONCHECK_EXIT || e->type() == WM_DOWN_ERROR) {
            bOk = e->type() == WM_VERSIONCHECK_EXIT;
            loop.quit();
        }
        return true;
    }
    QEventLoop loop;
    bool bOk = false;
};
}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: update_bench HOST:PORT DOWNLOAD_FOLDER\n");
        return 2;
    }
    ::setenv("TMPDIR", argv[2], 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    U_HttpDown engine(VersionCheckConfig{QString::fromLocal8Bit(argv[1]).toStdWString(), 0});
    engine.State().strDownFilePath = engine.ChooseTempFolder() + kInstallerFileName;
    if (!engine.GetFileVersion(MakeVersionCheckUrl(engine.GetVersionCheckConfig().strServerIpPort),
                               MakeVersionCheckBody(L"000000000", 0))) {
        std::fprintf(stderr, "the check asked for no update\n");
        return 1;
    }
    HandOver window;
    engine.SetWindow(&window);
    QElapsedTimer timer;
    timer.start();
    if (!engine.StartThread()) {
        return 1;
    }
    QTimer::singleShot(120000, &window.loop, &QEventLoop::quit);
    window.loop.exec();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (!window.bOk || !engine.IsInstallerVerified()) {
        std::fprintf(stderr, "download failed\n");
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
