#pragma once

#include "fakeclock.h"
#include "platform/eventpump.h"

#include <functional>
#include <vector>

// Tests: each pump advances the fake clock by `stepMs`, runs the hooks in the
// order they were added (scripted server bytes, component timer ticks, ...) and
// lets queued Qt events run without blocking.
class FakeEventPump : public EventPump
{
public:
    FakeEventPump(FakeClock &clock, int stepMs = 200);
    void pumpOnce() override;
    void addHook(std::function<void()> hook) { m_hooks.push_back(std::move(hook)); }
    int pumpCount() const { return m_count; }

private:
    FakeClock &m_clock;
    int m_stepMs;
    int m_count = 0;
    std::vector<std::function<void()>> m_hooks;
};
