// What a log call costs the caller: switched off (the common case in the field), on to file,
// and with a whole JSON argument as the page handlers log it.
#include "diag/DbgLog.h"
#include "platform/SettingsStore.h"
#include "text/TextConv.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct BenchLog
{
    explicit BenchLog(uint32_t regValue)
        : store(dir.path() + QStringLiteral("/settings.ini"))
    {
        store.WriteDword(L"LogOption", L"Orvanta.txt", regValue);
        log = std::make_unique<CDbgLog>(&store, nullptr);
        log->SetDebugOutput([](const std::wstring&) {});
        log->SetLogDir(dir.path().toStdWString() + L"/Log");
        log->SetLogFileName(L"Orvanta.txt");
        log->InitLog();
    }
    QTemporaryDir dir;
    IniSettingsStore store;
    std::unique_ptr<CDbgLog> log;
};

void LogOff(benchmark::State& state)
{
    BenchLog bench(0);
    for (auto _ : state) {
        bench.log->GD_DebugPrintW(1, L"CCidDlg::FE_CID_Open", L"CidDlg", L"start... %ls", L"{\"type\":21}");
    }
}
BENCHMARK(LogOff);

void LogToFileShortLine(benchmark::State& state)
{
    BenchLog bench(1);
    for (auto _ : state) {
        bench.log->GD_DebugPrintW(1, L"CCidDlg::FE_CID_Open", L"CidDlg", L"start... %ls", L"{\"type\":21}");
    }
}
BENCHMARK(LogToFileShortLine);

void LogToFileJsonArgument(benchmark::State& state)
{
    BenchLog bench(1);
    const std::wstring json = L"{\"callInfo\":{\"peerName\":\"" + std::wstring(4000, L'가') + L"\"}}";
    for (auto _ : state) {
        bench.log->GD_DebugPrintW(1, L"COrvantaMainDlg::FE_MAIN_Call_Recv_Noti", L"OrvantaMainDlg",
                                  L"start... %ls", json.c_str());
    }
}
BENCHMARK(LogToFileJsonArgument);

// The comparator of a logged line: a bare open + write + close of the same bytes at the same
// path. Writes one line through the log first to learn the file and what one line costs in bytes.
void BareWrite(benchmark::State& state, const std::wstring& arg)
{
    BenchLog bench(1);
    const QDir logDir(bench.dir.path() + QStringLiteral("/Log"));
    const auto sizeOf = [&] {
        const QStringList files = logDir.entryList(QDir::Files);
        return files.isEmpty() ? qint64(0) : QFileInfo(logDir.filePath(files.first())).size();
    };
    bench.log->GD_DebugPrintW(1, L"CCidDlg::FE_CID_Open", L"CidDlg", L"start... %ls", arg.c_str());
    const qint64 nFirst = sizeOf();
    bench.log->GD_DebugPrintW(1, L"CCidDlg::FE_CID_Open", L"CidDlg", L"start... %ls", arg.c_str());
    const qint64 nLine = sizeOf() - nFirst;
    const QStringList files = logDir.entryList(QDir::Files);
    if (files.isEmpty() || nLine <= 0) {
        state.SkipWithError("the log wrote no file");
        return;
    }
    const QByteArray path = QFile::encodeName(logDir.filePath(files.first()));
    const std::string line(static_cast<size_t>(nLine), 'x');
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
            ::close(fd);
        }
    }
    state.counters["bytes_per_line"] = static_cast<double>(nLine);
}

void BareShortLine(benchmark::State& state)
{
    BareWrite(state, L"{\"type\":21}");
}
BENCHMARK(BareShortLine);

void BareJsonArgument(benchmark::State& state)
{
    BareWrite(state, L"{\"callInfo\":{\"peerName\":\"" + std::wstring(4000, L'가') + L"\"}}");
}
BENCHMARK(BareJsonArgument);

}  // namespace

int main(int argc, char** argv)
{
    EnsureUtf8Locale();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
