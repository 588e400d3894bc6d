#include "logic/JsonText.h"

#include "text/TextConv.h"

#include <exception>

// The handlers keep the classic reader and the styled writer on purpose: their exact parsing
// mode and rendering are what the pages see. Both are marked deprecated by the library.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <json/reader.h>
#include <json/writer.h>

bool ParseJsonTextA(const std::string& strText, Json::Value& root)
{
    Json::Reader reader;
    root = Json::Value();
    // The reader throws past its nesting limit; page text that deep is simply not JSON here.
    try {
        if (reader.parse(strText, root)) {
            return true;
        }
    } catch (const std::exception&) {
    }
    root = Json::Value();
    return false;
}

std::string StyledJsonTextA(const Json::Value& value)
{
    Json::StyledWriter writer;
    return writer.write(value);
}
#pragma GCC diagnostic pop

bool ParseJsonText(const std::wstring& strText, Json::Value& root)
{
    return ParseJsonTextA(WideToAnsi(strText), root);
}

std::wstring StyledJsonText(const Json::Value& value)
{
    return AnsiToWide(StyledJsonTextA(value));
}

int JsonGetInt(const Json::Value& object, const char* pszKey, int nDefault)
{
    return object.get(pszKey, nDefault).asInt();
}

int64_t JsonGetInt64(const Json::Value& object, const char* pszKey, int64_t llDefault)
{
    return object.get(pszKey, Json::Value(static_cast<Json::Int64>(llDefault))).asInt64();
}

bool JsonGetBool(const Json::Value& object, const char* pszKey, bool bDefault)
{
    return object.get(pszKey, bDefault).asBool();
}

std::string JsonGetTextA(const Json::Value& object, const char* pszKey,
                         const std::string& strDefault)
{
    return object.get(pszKey, strDefault).asString();
}

std::wstring JsonGetText(const Json::Value& object, const char* pszKey,
                         const std::wstring& strDefault)
{
    return AnsiToWide(JsonGetTextA(object, pszKey, WideToAnsi(strDefault)));
}

const Json::Value* JsonGetObject(const Json::Value& object, const char* pszKey)
{
    const Json::Value& member = object.get(pszKey, Json::Value());
    if (!member.isObject()) {
        return nullptr;
    }
    return object.find(pszKey, pszKey + std::char_traits<char>::length(pszKey));
}

Json::Value JsonTextValue(const std::wstring& strText)
{
    return Json::Value(WideToAnsi(strText));
}
