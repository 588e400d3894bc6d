#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The updater window's decisions and texts, as plain functions so tests need no display.

inline constexpr const wchar_t* kUpdaterCaption = L"라벤토 - 업데이트";
inline constexpr const wchar_t* kDownloadingText =
    L"업데이트 파일을 다운로드 중 입니다.\n잠시만 기다려 주십시오.";
inline constexpr const wchar_t* kDownloadErrorText =
    L"버전 검사를 실패 했습니다.\n인터넷(네트웍)이 연결되어 있는지 확인 하시고, 잠시 후에 다시 시도 해 주십시오.";
// A download is given up after this many failed attempts.
inline constexpr unsigned int kMaxDownloadAttempts = 4;
inline constexpr unsigned int kRestartDelayMs = 1000;
inline constexpr unsigned int kMonitorPeriodMs = 50;
inline constexpr int kDownloadErrorCode = 102;
// WM_VERSIONCHECK_EXIT's nRet values.
inline constexpr int kExitStartClient = 1;
inline constexpr int kExitRunInstaller = 2;
// ExecMainCid's waits for the client's window.
inline constexpr int kClientWaitCount = 10;
inline constexpr unsigned int kClientWaitMs = 100;

// What Check_CancelExit does for the engine's flag.
enum class CloseAction
{
    AskToStopUpdate,  // 0: a mandatory update is downloading
    EndProcess,       // 1: finished
    StartClient,      // any other flag: start the client, then let the window close
};
CloseAction DecideCloseAction(int nUpdateFlag);

// The question asked before a mandatory update is stopped.
std::wstring MakeStopUpdateQuestion();

// "Ver.abc.def.ghi" for a 9-character server version, "업데이트" for anything else.
std::wstring MakeVersionLabel(const std::wstring& strSrvVer);

// Decimal digits with "," before every group of three counted from the right.
std::wstring GroupThousands(int32_t nValue);

// The byte counts "D K / T K", both in whole KiB rounded toward zero.
std::wstring MakeByteCountText(int32_t nDone, uint32_t nTotal);

// The bar position 0..100 (cut, not rounded); 0 when the total is unknown, never below 0 nor
// above 100 whatever the counts say.
int ProgressPosition(int32_t nDone, uint32_t nTotal);

std::wstring MakeRetryText(unsigned int nRestartCount);

// The client's arguments: the bracketed launch token, then the launcher's own arguments. The
// client joins them with one blank, so it reads "[token] " + the launcher's command line.
std::vector<std::wstring> MakeClientArguments(const std::vector<std::wstring>& launcherArgs);
// The same as one text, for the log.
std::wstring MakeClientParameters(const std::wstring& strCmdLine);

// Top-left corner that centres a window of the given size on a screen of the given size.
struct CentredPos
{
    int x;
    int y;
};
CentredPos CentreOnScreen(int nScreenWidth, int nScreenHeight, int nWidth, int nHeight);

// The monitor's view of one 50 ms turn.
enum class MonitorAction
{
    None,
    Release,  // wait the restart delay, then release the next attempt
    GiveUp,   // post the download error and end the monitor
};

// The transfer stands still when nothing has arrived or nothing moved since the last turn,
// except for a finished first attempt whose counter equals the whole size.
bool IsStandingStill(uint32_t nDownNow, bool bMoved, uint32_t nTotalSize);

// nRestartCount failed attempts so far; nReleased the failures already answered plus one.
// Decided whenever an attempt has ended, moving or not, so an attempt that fails after all
// of its bytes arrived is released like any other.
MonitorAction DecideMonitorAction(unsigned int nRestartCount, unsigned int nReleased, bool bWindowExists,
                                  bool bDownEnded);

bool ShouldPostProgress(uint32_t nSample, uint32_t nDownTotal, bool bMoved, bool bWindowExists,
                        bool bDownEnded);
