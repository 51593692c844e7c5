#pragma once

#include "platform/clock.h"

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
