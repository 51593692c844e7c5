#include "platform/clock.h"

#include <ctime>

namespace {
SystemClock g_systemClock;
Clock *g_clock = &g_systemClock;
} // namespace

Clock &Clock::instance()
{
    return *g_clock;
}

void Clock::install(Clock *clock)
{
    g_clock = clock ? clock : &g_systemClock;
}

quint32 SystemClock::tickCount() const
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const quint64 ms = static_cast<quint64>(ts.tv_sec) * 1000u + static_cast<quint64>(ts.tv_nsec) / 1000000u;
    return static_cast<quint32>(ms); // wraps like the 32-bit counter it stands for
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}
