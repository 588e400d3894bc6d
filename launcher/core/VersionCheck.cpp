#include "core/VersionCheck.h"

#include "text/TextConv.h"

#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <memory>

namespace {
// The one parse point of the launcher's JSON: bounded depth, and whatever the reader throws
// stays here.
bool ParseBounded(const std::string& strText, Json::Value& root)
{
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = kAnswerDepthLimit;
    builder["collectComments"] = false;
    try {
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string strErrors;
        return reader->parse(strText.data(), strText.data() + strText.size(), &root, &strErrors);
    } catch (const std::exception&) {
        return false;
    }
}

bool IsSha256Hex(const std::string& strText)
{
    return strText.size() == 64 && std::all_of(strText.begin(), strText.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

std::string WriteJsonString(const std::wstring& strValue)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, Json::Value(WideToUtf8(strValue)));
}
}  // namespace

std::optional<VersionAnswer> ParseVersionAnswer(const std::string& strAnswer)
{
    Json::Value root;
    if (!ParseBounded(strAnswer, root) || !root.isObject()) {
        return std::nullopt;
    }
    VersionAnswer answer;
    // A member that is present must have its type; null counts as present. isInt admits 1.0
    // but neither 1.5 nor values beyond 32 bits, on which asInt would throw.
    if (root.isMember("checkResult")) {
        const Json::Value& result = root["checkResult"];
        if (!result.isInt()) {
            return std::nullopt;
        }
        answer.nCheckResult = result.asInt();
    }
    const auto readText = [&root](const char* pszName, std::string& strOut) {
        if (!root.isMember(pszName)) {
            return true;
        }
        const Json::Value& value = root[pszName];
        if (!value.isString()) {
            return false;
        }
        strOut = value.asString();
        return true;
    };
    if (!readText("srvVer", answer.strSrvVer) || !readText("updateReq_url", answer.strUpdateUrl) ||
        !readText("progMeta", answer.strProgMeta)) {
        return std::nullopt;
    }
    if (root.isMember("updateSize")) {
        const Json::Value& size = root["updateSize"];
        if (!size.isIntegral() || !size.isInt64() || size.asInt64() < 0 || size.asInt64() > kMaxUpdateSize) {
            return std::nullopt;
        }
        answer.llUpdateSize = size.asInt64();
    }
    if (root.isMember("updateSha256")) {
        if (!readText("updateSha256", answer.strUpdateSha256) || !IsSha256Hex(answer.strUpdateSha256)) {
            return std::nullopt;
        }
        std::transform(answer.strUpdateSha256.begin(), answer.strUpdateSha256.end(), answer.strUpdateSha256.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    }
    return answer;
}

int DecideUpdateFlag(const std::optional<VersionAnswer>& answer)
{
    if (!answer) {
        return kUpdateFlagNotJson;
    }
    return answer->nCheckResult == 1 ? kUpdateFlagUpdate : kUpdateFlagNoUpdate;
}

std::wstring MakeVersionCheckUrl(const std::wstring& strServerIpPort)
{
    std::wstring strBase = strServerIpPort;
    if (strBase.rfind(L"https://", 0) != 0 && strBase.rfind(L"http://", 0) != 0) {
        strBase = L"http://" + strBase;
    }
    while (!strBase.empty() && strBase.back() == L'/') {
        strBase.pop_back();
    }
    return strBase + L"/iCliVer/version/checkVersion.jsp";
}

std::wstring MakeVersionCheckBody(const std::wstring& strCliVer, int nIsVerTest)
{
    const std::string strBody = "{\"progId\": " + WriteJsonString(kProgId) + ", \"cliVer\": " +
                                WriteJsonString(strCliVer) + ", \"isVerTest\": " + std::to_string(nIsVerTest) + "}";
    return Utf8ToWide(strBody);
}

std::wstring DownloadFolderOf(const std::wstring& strPath)
{
    if (strPath.size() <= 1) {
        return {};
    }
    size_t cut = strPath.rfind(L'/');
    if (cut == std::wstring::npos) {
        cut = strPath.rfind(L'\\');
    }
    if (cut == std::wstring::npos) {
        return {};
    }
    return strPath.substr(0, cut);
}

int CheckStoredVersion(const std::string& strStored)
{
    const size_t kBufferBytes = 255;
    if (strStored.size() > kBufferBytes) {
        return -2;
    }
    return strStored.size() == 9 ? 0 : -3;
}
