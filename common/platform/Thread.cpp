#include "platform/Thread.h"

#include "diag/CrashDump.h"

#include <utility>

std::thread StartThread(std::function<void()> body)
{
    return std::thread([body = std::move(body)] {
        PrepareThreadForCrashDump();
        body();
    });
}
