#pragma once
#include <cstddef>

#include <signal.h>
#include <sys/procfs.h>
#include <sys/types.h>
#include <ucontext.h>

// Writes an x86_64 ELF core image of the calling process that gdb reads: the faulting
// thread's registers, the signal, the process's auxiliary vector and mapped files, and the
// memory a debugger needs (writable data, heap, stacks, the first page of each loaded file).

// What the image needs that the signal handler cannot gather safely; taken at install time.
struct CoreProcessInfo
{
    long pageSize = 0;                 // set with the rest by CollectCoreProcessInfo
    unsigned char auxv[8192] = {};     // /proc/self/auxv
    size_t auxvLen = 0;
    char progName[16] = {};            // the executable's file name, cut to fit, NUL-padded
    char progArgs[ELF_PRARGSZ] = {};   // the command line, arguments joined by one blank
};

// Fills `info` from /proc/self for a process whose page size is `pageSize`.
void CollectCoreProcessInfo(CoreProcessInfo& info, long pageSize);

// Writes the image to fd for signal `sig` taken by thread `tid` with the handler's info and
// context. Async-signal-safe: no allocation besides one mmap, no locks, no stdio; its buffers
// are static, so only one thread may run it at a time. Leaves fd open.
void WriteCoreImage(int fd, int sig, const siginfo_t* info, const ucontext_t* uc, pid_t tid,
                    const CoreProcessInfo& process);
