#pragma once
#include <cstdint>
#include <ctime>

// Wall clock and millisecond tick behind one interface, so tests can move time.
class IClock
{
public:
    virtual ~IClock() = default;
    virtual std::tm LocalNow() const = 0;
    // Monotonic milliseconds, wrapping as an unsigned 32-bit count.
    virtual uint32_t TickMs() const = 0;
};

class SystemClock : public IClock
{
public:
    std::tm LocalNow() const override;
    uint32_t TickMs() const override;
    static SystemClock& Instance();
};
