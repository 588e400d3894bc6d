#pragma once
#include "platform/Clock.h"

#include <cstring>

// A clock the test sets and moves by hand.
class FakeClock : public IClock
{
public:
    FakeClock(int year, int month, int day, int hour, int minute, int second)
    {
        Set(year, month, day, hour, minute, second);
    }

    void Set(int year, int month, int day, int hour, int minute, int second)
    {
        std::memset(&m_now, 0, sizeof m_now);
        m_now.tm_year = year - 1900;
        m_now.tm_mon = month - 1;
        m_now.tm_mday = day;
        m_now.tm_hour = hour;
        m_now.tm_min = minute;
        m_now.tm_sec = second;
        m_now.tm_isdst = -1;
    }

    void AdvanceTick(uint32_t ms) { m_tick += ms; }

    std::tm LocalNow() const override { return m_now; }
    uint32_t TickMs() const override { return m_tick; }

private:
    std::tm m_now{};
    uint32_t m_tick = 5000;
};
