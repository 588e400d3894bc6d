#pragma once
#include <optional>
#include <string>

// Reads "[Name=value]" style command-line tokens. Only the first occurrence of the opening
// text counts; a missing "]" or an empty value means the token is ignored (nullopt).
std::optional<std::wstring> FindBracketToken(const std::wstring& commandLine,
                                             const std::wstring& opening);

// Decimal reading with the C runtime's _wtoi rules: leading blanks, an optional sign, then as
// many digits as there are; no digits gives 0; out-of-range values saturate.
int WideToInt(const std::wstring& text);

// Whether the program's own arguments ask for its help text ("--help" or "-h").
bool HasHelpOption(int argc, char* argv[]);
