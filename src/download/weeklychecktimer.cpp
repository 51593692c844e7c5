#include "download/weeklychecktimer.h"

#include "platform/clock.h"

WeeklyCheckTimer::WeeklyCheckTimer(StateSource source, QObject *parent) : QObject(parent), m_source(std::move(source))
{
    m_timer.setInterval(FirstIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &WeeklyCheckTimer::tick);
}

void WeeklyCheckTimer::start()
{
    m_timer.start(FirstIntervalMs);
}

void WeeklyCheckTimer::stop()
{
    m_timer.stop();
}

void WeeklyCheckTimer::tick()
{
    // setInterval keeps an active timer running and only changes its period.
    m_timer.setInterval(IntervalMs);
    if (m_source && WeeklyCheck::isDue(Clock::instance().now(), m_source()))
        emit due();
}
