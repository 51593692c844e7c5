#include "fakeeventpump.h"

#include <QCoreApplication>
#include <QEventLoop>

FakeEventPump::FakeEventPump(FakeClock &clock, int stepMs) : m_clock(clock), m_stepMs(stepMs) {}

void FakeEventPump::pumpOnce()
{
    ++m_count;
    m_clock.advance(m_stepMs);
    for (std::size_t i = 0; i < m_hooks.size(); ++i)
        m_hooks[i]();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
