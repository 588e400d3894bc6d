#include "core/UpdaterRules.h"

#include "platform/ProgramNames.h"
#include "core/VersionCheck.h"

#include <algorithm>
#include <cwchar>

CloseAction DecideCloseAction(int nUpdateFlag)
{
    if (nUpdateFlag == kUpdateFlagUpdate) {
        return CloseAction::AskToStopUpdate;
    }
    if (nUpdateFlag == kUpdateFlagFinished) {
        return CloseAction::EndProcess;
    }
    return CloseAction::StartClient;
}

std::wstring MakeStopUpdateQuestion()
{
    const std::wstring strName = kUpdaterCaption;
    return L"\"" + strName + L"\" 필수 업데이트 입니다.\n이 업데이트를 수행하지 않으면 \"" + strName +
           L"\"은 실행 되지 않습니다.\n\n\"" + strName + L"\" 필수 업데이트를 중단 하시겠습니까?";
}

std::wstring MakeVersionLabel(const std::wstring& strSrvVer)
{
    if (strSrvVer.size() != 9) {
        return L"업데이트";
    }
    return L"Ver." + strSrvVer.substr(0, 3) + L"." + strSrvVer.substr(3, 3) + L"." + strSrvVer.substr(6, 3);
}

std::wstring GroupThousands(int32_t nValue)
{
    const std::wstring strDigits = std::to_wstring(nValue);
    const size_t nSign = (!strDigits.empty() && strDigits[0] == L'-') ? 1 : 0;
    std::wstring strOut;
    const size_t nCount = strDigits.size() - nSign;
    for (size_t i = 0; i < nCount; ++i) {
        if (i != 0 && (nCount - i) % 3 == 0) {
            strOut += L',';
        }
        strOut += strDigits[nSign + i];
    }
    return strDigits.substr(0, nSign) + strOut;
}

std::wstring MakeByteCountText(int32_t nDone, uint32_t nTotal)
{
    // Both as signed numbers, as the window reads the message's parameters.
    const int32_t nTotalSigned = static_cast<int32_t>(nTotal);
    return GroupThousands(nDone / 1024) + L" K" + L" / " + GroupThousands(nTotalSigned / 1024) + L" K";
}

int ProgressPosition(int32_t nDone, uint32_t nTotal)
{
    if (nTotal == 0) {
        return 0;
    }
    const float fPos = (static_cast<float>(nDone) / static_cast<float>(nTotal)) * 100.0F;
    return std::clamp(static_cast<int>(fPos), 0, 100);
}

std::wstring MakeRetryText(unsigned int nRestartCount)
{
    wchar_t szText[160];
    std::swprintf(szText, sizeof szText / sizeof szText[0],
                  L"업데이트 파일을 다운로드 중 입니다.\n잠시만 기다려 주십시오. 재시도 횟수(%d/%d)",
                  static_cast<int>(nRestartCount), static_cast<int>(kMaxDownloadAttempts));
    return szText;
}

std::vector<std::wstring> MakeClientArguments(const std::vector<std::wstring>& launcherArgs)
{
    std::vector<std::wstring> args;
    args.reserve(launcherArgs.size() + 1);
    args.push_back(L"[" + std::wstring(kLaunchToken) + L"]");
    args.insert(args.end(), launcherArgs.begin(), launcherArgs.end());
    return args;
}

std::wstring MakeClientParameters(const std::wstring& strCmdLine)
{
    return L"[" + std::wstring(kLaunchToken) + L"] " + strCmdLine;
}

CentredPos CentreOnScreen(int nScreenWidth, int nScreenHeight, int nWidth, int nHeight)
{
    return {nScreenWidth / 2 - nWidth / 2, nScreenHeight / 2 - nHeight / 2};
}

bool IsStandingStill(uint32_t nDownNow, bool bMoved, uint32_t nTotalSize)
{
    if (nTotalSize != 0 && nTotalSize == nDownNow) {
        return false;
    }
    return nDownNow == 0 || !bMoved;
}

MonitorAction DecideMonitorAction(unsigned int nRestartCount, unsigned int nReleased, bool bWindowExists,
                                  bool bDownEnded)
{
    if (!bWindowExists || !bDownEnded) {
        return MonitorAction::None;
    }
    if (nRestartCount >= kMaxDownloadAttempts) {
        return MonitorAction::GiveUp;
    }
    return nReleased == nRestartCount ? MonitorAction::Release : MonitorAction::None;
}

bool ShouldPostProgress(uint32_t nSample, uint32_t nDownTotal, bool bMoved, bool bWindowExists, bool bDownEnded)
{
    return nSample != 0 && nDownTotal > 0 && bMoved && bWindowExists && !bDownEnded;
}
