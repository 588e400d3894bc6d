#pragma once
#include <optional>
#include <string>

// What the version check sends and how its answer is read: plain functions on text, no I/O.

inline constexpr const wchar_t* kProgId = L"Orvan_Vexa";
inline constexpr const wchar_t* kInstallerFileName = L"Orva_Update.exe";

// m_nUpdateFlag values.
inline constexpr int kUpdateFlagNoAnswer = -999999;
inline constexpr int kUpdateFlagUpdate = 0;
inline constexpr int kUpdateFlagNoUpdate = -10110;
inline constexpr int kUpdateFlagNotJson = -10101;
inline constexpr int kUpdateFlagStopped = 10110;
inline constexpr int kUpdateFlagFinished = 1;

// The members of an answer; missing ones take their defaults.
struct VersionAnswer
{
    int nCheckResult = -1;
    std::string strSrvVer;
    std::string strUpdateUrl;
    std::string strProgMeta;
};

// nullopt when the text is not JSON, its root is not an object, "checkResult" is not an
// integer, or "srvVer", "updateReq_url" or "progMeta" is present but not a string.
std::optional<VersionAnswer> ParseVersionAnswer(const std::string& strAnswer);

// 0 (update required), -10110 (no update) or -10101 (unreadable answer).
int DecideUpdateFlag(const std::optional<VersionAnswer>& answer);

std::wstring MakeVersionCheckUrl(const std::wstring& strServerIpPort);
// Values go in unescaped, exactly as the server expects them.
std::wstring MakeVersionCheckBody(const std::wstring& strCliVer, int nIsVerTest);

// The folder part of an installer path: the text before the last "/", or before the last "\"
// when there is no "/"; empty when there is none or the path is at most one character long.
std::wstring DownloadFolderOf(const std::wstring& strPath);

// The installed-version rule on the stored 8-bit text: 0 when it is exactly 9 bytes, -2 when
// it does not fit the 255-byte buffer, -3 otherwise.
int CheckStoredVersion(const std::string& strStored);
