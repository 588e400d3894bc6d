#pragma once
#include <json/value.h>

#include <cstdint>
#include <string>

// JSON as the page windows exchange it with their pages: 8-bit text in the locale's character
// set inside, the classic reader in its default mode, the styled writer for what goes back.
//
// The typed reads take a default for a missing member and throw Json::LogicError when a member
// (or the value itself, when it is not an object) cannot be converted; the external method
// table catches that at the handler boundary, so a handler simply stops there.

// Parses wide page text (converted to 8-bit first) or 8-bit text. False when it does not parse,
// also for nesting deeper than the reader allows; never throws.
bool ParseJsonText(const std::wstring& strText, Json::Value& root);
bool ParseJsonTextA(const std::string& strText, Json::Value& root);

// Styled rendering: members sorted by name, 3-space indent, right margin 74, trailing line break.
std::string StyledJsonTextA(const Json::Value& value);
std::wstring StyledJsonText(const Json::Value& value);

int JsonGetInt(const Json::Value& object, const char* pszKey, int nDefault);
int64_t JsonGetInt64(const Json::Value& object, const char* pszKey, int64_t llDefault);
bool JsonGetBool(const Json::Value& object, const char* pszKey, bool bDefault);
std::string JsonGetTextA(const Json::Value& object, const char* pszKey,
                         const std::string& strDefault = {});
std::wstring JsonGetText(const Json::Value& object, const char* pszKey,
                         const std::wstring& strDefault = {});
// The member when it is a JSON object, else null (missing, or of another type).
const Json::Value* JsonGetObject(const Json::Value& object, const char* pszKey);

// 8-bit (locale) text of a wide text for a JSON text member, and back.
Json::Value JsonTextValue(const std::wstring& strText);
