#pragma once
#include <signal.h>
#include <sys/types.h>
#include <sys/user.h>

// One thread's state as its signal handler saw it.
struct CoreThread
{
    pid_t tid;
    bool hasFp;
    struct user_regs_struct regs;
    struct user_fpregs_struct fp;
    sigset_t sigmask;
};
