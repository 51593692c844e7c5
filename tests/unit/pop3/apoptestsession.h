#pragma once

#include "faketransport.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "pop3/apop.h"

#include <QStringList>
#include <functional>

// One aPOP on a scripted transport with fake time: every pump moves the clock
// by 200 ms, delivers at most one scripted server step and then ticks Timer1.
struct ApopTestSession {
    enum class Tick { EveryPump, Never };

    explicit ApopTestSession(Tick tick = Tick::EveryPump, quint32 startTick = 1000)
        : clock(QDateTime(QDate(2026, 1, 9), QTime(12, 0)), startTick), transport(new FakeTransport(pump)),
          pop(transport, aPOP::TimerMode::ManualTick)
    {
        if (tick == Tick::EveryPump)
            pump.addHook([this] { pop.timerTick(); });
        QObject::connect(&pop, &aPOP::StatusChanged, [this] { statuses << pop.StatusMessage(); });
        QObject::connect(&pop, &aPOP::DataReceived, [this] { ++dataEvents; });
    }

    // Connected and greeted, with the records of that cleared.
    bool connectUp()
    {
        transport->setGreeting("+OK POP3 ready\r\n");
        const bool ok = pop.ConnectByName(QStringLiteral("127.0.0.1"));
        transport->takeWritten();
        statuses.clear();
        dataEvents = 0;
        return ok;
    }

    void pumpOnce() { EventPump::instance().pumpOnce(); }
    // Pumps until `done` holds or `maxPumps` have run; the number of pumps used.
    int pumpUntil(const std::function<bool()> &done, int maxPumps = 2000)
    {
        int n = 0;
        while (!done() && n < maxPumps) {
            pumpOnce();
            ++n;
        }
        return n;
    }
    // How the reply of `id` stands (Failed once it is gone).
    CommandStatus status(aPOP::Id id) const
    {
        const aPOP::Reply *r = pop.reply(id);
        return r ? r->status : CommandStatus::Failed;
    }
    QByteArray bytes(aPOP::Id id) const
    {
        const aPOP::Reply *r = pop.reply(id);
        return r ? r->bytes : QByteArray();
    }
    // Waits for the reply of `id` as the component does; its bytes.
    QByteArray await(aPOP::Id id)
    {
        pop.waitFor(id);
        return bytes(id);
    }
    int pumpWhileWaiting(aPOP::Id id, int maxPumps = 2000)
    {
        return pumpUntil([this, id] { return status(id) != CommandStatus::Waiting; }, maxPumps);
    }
    quint32 tick() const { return clock.tickCount(); }

    FakeClock clock;
    ScopedClock scopedClock{&clock};
    FakeEventPump pump{clock, aPOP::TickIntervalMs};
    ScopedEventPump scopedPump{&pump};
    FakeTransport *transport; // owned by pop
    aPOP pop;
    QStringList statuses;
    int dataEvents = 0;
};
