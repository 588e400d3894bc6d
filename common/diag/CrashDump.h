#pragma once
#include "diag/CrashDumpName.h"

// Installs CrashDumpFilter for the fatal signals. It writes an ELF core image of the process
// under the dated dump name and ends the process with exit code 0.
void InstallCrashDumpFilter();

// Every worker thread of ours calls this first, so a stack overflow there still leaves a dump.
void PrepareThreadForCrashDump();
