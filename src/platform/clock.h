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

// A clock that only moves when told to. advance() moves the tick counter and
// the date-time together.
class FakeClock : public Clock
{
public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2026, 1, 9), QTime(12, 0)), quint32 tick = 1000)
        : m_now(now), m_tick(tick)
    {
    }
    quint32 tickCount() const override { return m_tick; }
    QDateTime now() const override { return m_now; }
    void setTick(quint32 tick) { m_tick = tick; }
    void setNow(const QDateTime &now) { m_now = now; }
    void advance(qint64 ms)
    {
        m_tick += static_cast<quint32>(ms);
        m_now = m_now.addMSecs(ms);
    }

private:
    QDateTime m_now;
    quint32 m_tick;
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
