#pragma once
#include <QString>
#include <string>

// The programs keep text wide inside; the "ANSI" side is the C library locale's character set,
// which EnsureUtf8Locale makes UTF-8 so Korean text survives both directions.
void EnsureUtf8Locale();

// Invalid or cut-off sequences become U+FFFD instead of failing the whole text.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// UTF-16LE bytes, surrogate pairs for characters beyond the basic plane.
std::string WideToUtf16Le(const std::wstring& text);

inline QString ToQString(const std::wstring& text) { return QString::fromStdWString(text); }
inline std::wstring ToWide(const QString& text) { return text.toStdWString(); }
