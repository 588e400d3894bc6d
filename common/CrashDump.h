#pragma once
#include <ctime>
#include <string>

// Front of the crash dump's path; the client sets it before installing the handler, the
// launcher leaves it empty so the dump is named after the program in the current folder.
extern std::string g_strDumpPrefix;

// Installs CrashDumpFilter for the fatal signals. It writes an ELF core image of the process
// under the dated dump name and ends the process with exit code 0.
void InstallCrashDumpFilter();

// The dump's file name for the given local date, from g_strDumpPrefix or the program name.
std::string CrashDumpFileName(const std::tm& localDate);
