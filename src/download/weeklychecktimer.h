#pragma once

#include "download/weeklycheck.h"

#include <QObject>
#include <QTimer>

#include <functional>

// The weekly check's timer (TimerWeeklyCheck): the first tick comes 5 s after
// start(), every later one 60 s after the one before. A tick asks the window
// for its state, and emits due() when WeeklyCheck says a run should start.
class WeeklyCheckTimer : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirstIntervalMs = 5000;
    static constexpr int IntervalMs = 60000;

    using StateSource = std::function<WeeklyCheck::State()>;

    explicit WeeklyCheckTimer(StateSource source, QObject *parent = nullptr);

    void start();
    void stop();
    bool isActive() const { return m_timer.isActive(); }
    // The time to the next tick, in ms.
    int interval() const { return m_timer.interval(); }

public slots:
    // One tick (TimerWeeklyCheck_Timer); the timer calls it, tests may too.
    void tick();

signals:
    void due();

private:
    StateSource m_source;
    QTimer m_timer;
};
