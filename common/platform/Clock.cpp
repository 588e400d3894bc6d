#include "platform/Clock.h"

#include <chrono>

std::tm SystemClock::LocalNow() const
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

uint32_t SystemClock::TickMs() const
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return static_cast<uint32_t>(ms);
}

SystemClock& SystemClock::Instance()
{
    static SystemClock clock;
    return clock;
}
