#pragma once
#include <ctime>
#include <string>

// Front of the crash dump's path; the client sets it before installing the handler, the
// launcher leaves it empty so the dump is named after the program in the current folder.
extern std::string g_strDumpPrefix;

// Installs CrashDumpFilter for the fatal signals. It writes an ELF core image of the process
// under the dated dump name and ends the process with exit code 0.
void InstallCrashDumpFilter();

// Every worker thread of ours calls this first, so a stack overflow there still leaves a dump.
void PrepareThreadForCrashDump();

// The dump's file name for the given local date, from g_strDumpPrefix or the program name;
// empty when neither is available.
std::string CrashDumpFileName(const std::tm& localDate);

// The local date the handler uses at time `now`, computed without the C library's time zone
// code (which may not run inside a signal handler) from the UTC offset taken at install time.
std::tm CrashDumpLocalDate(std::time_t now, long utcOffsetSeconds);
