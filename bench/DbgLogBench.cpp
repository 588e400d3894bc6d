// What a log call costs the caller: switched off (the common case in the field), on to file,
// and with a whole JSON argument as the page handlers log it.
#include "diag/DbgLog.h"
#include "platform/SettingsStore.h"
#include "text/TextConv.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

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

}  // namespace

int main(int argc, char** argv)
{
    EnsureUtf8Locale();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
