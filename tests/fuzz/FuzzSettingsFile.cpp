// A settings file as support staff may leave it: written to a file and read back through the
// store the programs use, with the keys and values the programs read.
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

QString Folder()
{
    static const QString folder = [] {
        QString path = QDir::tempPath() + QStringLiteral("/orvanta-fuzz-settings-%1").arg(::getpid());
        QDir().mkpath(path);
        return path;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A new name for each input: the settings cache keys on the path and its time stamp.
    static uint64_t nSerial = 0;
    const QString path = Folder() + QStringLiteral("/settings-%1.ini").arg(++nSerial);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::abort();
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    IniSettingsStore store(path);
    for (const wchar_t* key : {L"LogOption", L"Install"}) {
        (void)store.KeyExists(key);
    }
    (void)store.ReadString(L"Install", L"Version");
    (void)store.ReadDword(L"Install", L"InitStart");
    for (const wchar_t* name : {L"Dbg2.txt", L"Orvanta.txt", L"OrvantaStart.txt"}) {
        (void)store.ReadDword(L"LogOption", name);
        (void)store.ReadString(L"LogOption", name);
    }
    QFile::remove(path);
    return 0;
}
