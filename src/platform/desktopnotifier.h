#pragma once

#include <QString>

// A desktop notification (org.freedesktop.Notifications on the session bus).
class DesktopNotifier
{
public:
    virtual ~DesktopNotifier() = default;
    // Shows a notification without waiting for the service's answer; false
    // when there is no session bus to send it on.
    virtual bool notify(const QString &summary, const QString &body) = 0;

    static DesktopNotifier &instance();
    // Installs a notifier for the whole process; nullptr restores the bus one.
    static void install(DesktopNotifier *notifier);
};

// Production: one Notify call on the session bus, answered whenever.
class DBusDesktopNotifier : public DesktopNotifier
{
public:
    bool notify(const QString &summary, const QString &body) override;
};
