#pragma once

#include <functional>
#include <vector>

// "Let pending events run once." Every wait loop of the program calls
// EventPump::instance().pumpOnce() instead of touching the event loop itself,
// so tests can script what happens during a wait and move a fake clock.
class EventPump
{
public:
    virtual ~EventPump() = default;
    virtual void pumpOnce() = 0;

    static EventPump &instance();
    // Installs a pump for the whole process; nullptr restores the Qt pump.
    static void install(EventPump *pump);
};

// Production: runs pending events, sleeping until at least one arrives. A
// 200 ms heartbeat timer bounds the sleep, so a wait loop re-checks its
// condition at least five times a second and never spins.
class QtEventPump : public EventPump
{
public:
    void pumpOnce() override;
};

class ScopedEventPump
{
public:
    explicit ScopedEventPump(EventPump *pump) { EventPump::install(pump); }
    ~ScopedEventPump() { EventPump::install(nullptr); }
    ScopedEventPump(const ScopedEventPump &) = delete;
    ScopedEventPump &operator=(const ScopedEventPump &) = delete;
};
