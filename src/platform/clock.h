#pragma once

#include <QDateTime>
#include <QtGlobal>

// Time as the program sees it: a 32-bit millisecond tick counter that wraps
// (elapsed times are differences taken modulo 2^32) and the local date-time.
// Production code asks Clock::instance(); tests install a FakeClock.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual quint32 tickCount() const = 0;
    virtual QDateTime now() const = 0;

    static Clock &instance();
    // Installs a clock for the whole process; nullptr restores the system clock.
    static void install(Clock *clock);

    // Milliseconds from `since` to `now`, correct across a wrap of the counter.
    static quint32 elapsed(quint32 since, quint32 now) { return now - since; }
};

class SystemClock : public Clock
{
public:
    quint32 tickCount() const override;
    QDateTime now() const override;
};

// Installs a clock for the lifetime of a scope (tests).
class ScopedClock
{
public:
    explicit ScopedClock(Clock *clock) { Clock::install(clock); }
    ~ScopedClock() { Clock::install(nullptr); }
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;
};
