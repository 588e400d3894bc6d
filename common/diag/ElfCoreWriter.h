#pragma once
#include "diag/CoreThread.h"

#include <cstddef>
#include <cstdint>

#include <signal.h>
#include <sys/procfs.h>
#include <sys/types.h>
#include <sys/user.h>
#include <ucontext.h>

// Writes an x86_64 ELF core image of the calling process that gdb reads for a backtrace of
// every thread: each thread's registers, the signal and faulting address, the auxiliary vector
// and the mapped files, and of memory only what the backtraces and the loaded-library list
// need. The heap and other anonymous memory stay out: they hold the session's secrets and
// pages, and would make the dump hundreds of MB.

// What the image needs that the signal handler cannot gather safely; taken at install time.
struct CoreProcessInfo
{
    long pageSize = 0;                 // set with the rest by CollectCoreProcessInfo
    unsigned char auxv[8192] = {};     // /proc/self/auxv
    size_t auxvLen = 0;
    char progName[16] = {};            // the executable's file name, cut to fit, NUL-padded
    char progArgs[ELF_PRARGSZ] = {};   // the command line, arguments joined by one blank
    const void* rDebug = nullptr;      // the dynamic linker's list of loaded objects
};

// Fills `info` from /proc/self for a process whose page size is `pageSize`.
void CollectCoreProcessInfo(CoreProcessInfo& info, long pageSize);

// Fills `thread` from the context of a signal handler running on the calling thread `tid`.
// Async-signal-safe.
void CaptureCoreThread(CoreThread& thread, const ucontext_t* uc, pid_t tid);

// Writes the image to fd for signal `sig` with the faulting handler's info; threads[0] is the
// faulting thread. Each thread's stack is kept from its stack pointer up, at most
// kCoreStackMax bytes (CoreSegments.h). Async-signal-safe: no allocation besides one mmap, no locks, no stdio;
// its buffers are static, so only one thread may run it at a time. Leaves fd open.
void WriteCoreImage(int fd, int sig, const siginfo_t* info, const CoreThread* threads,
                    size_t threadCount, const CoreProcessInfo& process);
