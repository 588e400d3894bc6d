#include "CrashDump.h"

std::string g_strDumpPrefix;

void InstallCrashDumpFilter() {}

std::string CrashDumpFileName(const std::tm&) { return {}; }
