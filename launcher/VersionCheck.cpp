#include "VersionCheck.h"

#include <json/json.h>

#include <cwchar>

std::optional<VersionAnswer> ParseVersionAnswer(const std::string& strAnswer)
{
    Json::Value root;
    Json::Reader reader;
    if (!reader.parse(strAnswer, root) || !root.isObject()) {
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
    return L"http://" + strServerIpPort + L"/iCliVer/version/checkVersion.jsp";
}

std::wstring MakeVersionCheckBody(const std::wstring& strCliVer, int nIsVerTest)
{
    return std::wstring(L"{\"progId\": \"") + kProgId + L"\", \"cliVer\": \"" + strCliVer +
           L"\", \"isVerTest\": " + std::to_wstring(nIsVerTest) + L"}";
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
