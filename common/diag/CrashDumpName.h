#pragma once
#include <cstddef>
#include <ctime>
#include <string>

// Front of the crash dump's path; the client sets it before installing the handler, the
// launcher leaves it empty so the dump is named after the program in the current folder.
extern std::string g_strDumpPrefix;

// The dump's file name for the given local date, from g_strDumpPrefix or the program name;
// empty when neither is available.
std::string CrashDumpFileName(const std::tm& localDate);

// The local date the handler uses at time `now`, computed without the C library's time zone
// code (which may not run inside a signal handler) from the UTC offset taken at install time.
std::tm CrashDumpLocalDate(std::time_t now, long utcOffsetSeconds);

// The front of the dump's path: g_strDumpPrefix when set, else the executable's file name
// without its folder; empty when neither is available. Allocates: install time only.
std::string CrashDumpFront();

// front + "%d.%02d.%02d" (year, month, day) + ".dmp" into buf, NUL-terminated; false when it
// does not fit in `size` bytes. No allocation, no locks: safe inside the signal handler.
bool ComposeCrashDumpName(char* buf, size_t size, const char* front, int year, int month, int day);
