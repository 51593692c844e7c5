#pragma once

#include "platform/dialupservice.h"

#include <QHash>
#include <QTimer>

// An in-memory dial-up service: entries and active connections are lists the
// test sets; a connect succeeds for a known entry unless `failConnects`, and
// reports from the event loop, or never while `holdConnects` (a hung dial).
class FakeDialupService : public DialupService
{
public:
    bool present = true;
    QStringList entries;
    QStringList active;
    bool failConnects = false;
    bool holdConnects = false;
    bool failListing = false;
    QStringList disconnected;
    int cancelled = 0;

    bool available() override { return present; }
    QStringList listEntries() override
    {
        setLastError(failListing ? QStringLiteral("listing failed") : QString());
        return failListing || !present ? QStringList() : entries;
    }
    QStringList activeConnections() override { return present ? active : QStringList(); }
    bool disconnect(const QString &name, QString *error) override
    {
        disconnected << name;
        active.removeAll(name);
        if (error)
            error->clear();
        return present;
    }
    int startConnect(const QString &name, ConnectDone done, QString *error) override
    {
        if (!present) {
            if (error)
                *error = QStringLiteral("no service");
            return 0;
        }
        const int id = ++m_lastId;
        m_pending.insert(id, done);
        if (!holdConnects) {
            QTimer::singleShot(0, [this, id, name] {
                if (!m_pending.contains(id))
                    return;
                const bool ok = !failConnects && entries.contains(name);
                if (ok)
                    active << name;
                m_pending.take(id)(ok, ok ? QString() : QStringLiteral("dial failed"));
            });
        }
        return id;
    }
    void cancelConnect(int id) override
    {
        if (m_pending.remove(id))
            ++cancelled;
    }
    int pendingCount() const { return static_cast<int>(m_pending.size()); }

private:
    int m_lastId = 0;
    QHash<int, ConnectDone> m_pending;
};
