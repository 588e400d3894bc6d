#pragma once
#include "BuildConfig.h"

#include <optional>
#include <string>

// What the version check sends and how its answer is read: plain functions on text, no I/O.

// Where the check asks and whether it is the test check. The launcher's command line may set
// both; the start-up hands them to the updater window, which hands them to the engine.
struct VersionCheckConfig
{
    // The host part of the check's address, optionally with ":port".
    std::wstring strServerIpPort = ORVANTA_DEFAULT_VERSION_SERVER;
    // 0 production check, 1 test check; also sent with the download.
    int nIsVerTest = 0;
};

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
    // The installer's size in bytes and its SHA-256 (64 lower-case hex digits), when the
    // answer names them; the finished file must match both.
    long long llUpdateSize = -1;
    std::string strUpdateSha256;
};

// Installers of 2 GiB or more are outside the design: the counters are 32-bit.
inline constexpr long long kMaxUpdateSize = 0x7FFFFFFF;
// How deeply an answer may nest; a real one is a single flat object.
inline constexpr int kAnswerDepthLimit = 32;

// nullopt when the text is not JSON (nesting deeper than kAnswerDepthLimit included), its root
// is not an object, "checkResult" is not an integer, "srvVer", "updateReq_url" or "progMeta"
// is present but not a string, "updateSize" is present but not a whole number from 0 to
// kMaxUpdateSize, or "updateSha256" is present but not 64 hex digits. Never throws.
std::optional<VersionAnswer> ParseVersionAnswer(const std::string& strAnswer);

// 0 (update required), -10110 (no update) or -10101 (unreadable answer).
int DecideUpdateFlag(const std::optional<VersionAnswer>& answer);

// "host[:port]" asks over http; a setting that names "https://host[:port]" (or "http://")
// keeps its scheme.
std::wstring MakeVersionCheckUrl(const std::wstring& strServerIpPort);
// The body in the server's own layout (one blank after each colon and comma), every value
// written by the JSON writer, so no stored text can change its shape.
std::wstring MakeVersionCheckBody(const std::wstring& strCliVer, int nIsVerTest);

// The folder part of an installer path: the text before the last "/", or before the last "\"
// when there is no "/"; empty when there is none or the path is at most one character long.
std::wstring DownloadFolderOf(const std::wstring& strPath);

// The installed-version rule on the stored 8-bit text: 0 when it is exactly 9 bytes, -2 when
// it does not fit the 255-byte buffer, -3 otherwise.
int CheckStoredVersion(const std::string& strStored);
