#include "platform/eventpump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {
QtEventPump g_qtPump;
EventPump *g_pump = &g_qtPump;
} // namespace

EventPump &EventPump::instance()
{
    return *g_pump;
}

void EventPump::install(EventPump *pump)
{
    g_pump = pump ? pump : &g_qtPump;
}

void QtEventPump::pumpOnce()
{
    // The heartbeat lives as long as the application object; created lazily so
    // that it belongs to the GUI thread's event loop.
    static QTimer *heartbeat = nullptr;
    if (!heartbeat && QCoreApplication::instance()) {
        heartbeat = new QTimer(QCoreApplication::instance());
        heartbeat->setInterval(200);
        heartbeat->start();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
