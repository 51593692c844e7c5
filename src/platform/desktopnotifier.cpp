#include "platform/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {
DesktopNotifier *g_notifier = nullptr;
} // namespace

DesktopNotifier &DesktopNotifier::instance()
{
    static DBusDesktopNotifier bus;
    return g_notifier ? *g_notifier : bus;
}

void DesktopNotifier::install(DesktopNotifier *notifier)
{
    g_notifier = notifier;
}

bool DBusDesktopNotifier::notify(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("kivrel")}};
    call << QStringLiteral("Kivrel") << 0u << QStringLiteral("kivrel") << summary << body << QStringList() << hints
         << -1;
    // A run must never wait on the desktop: the answer (the notification's id) is not needed.
    return bus.send(call);
}
