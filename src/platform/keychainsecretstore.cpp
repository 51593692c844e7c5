#include "platform/keychainsecretstore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

const QString kSecrets = QStringLiteral("org.freedesktop.secrets");

using Status = SecretStore::Status;
using Result = SecretStore::Result;

Result withStatus(Status status, const QString &detail = QString())
{
    Result r;
    r.status = status;
    r.detail = detail;
    return r;
}

bool activatable(const QDBusConnection &bus, const QString &name, int timeoutMs)
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toStringList().contains(name);
}

Result fromJob(const QKeychain::Job &job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return withStatus(Status::Ok);
    case QKeychain::EntryNotFound:
        return withStatus(Status::NotFound);
    case QKeychain::NoBackendAvailable:
        return withStatus(Status::NoService, job.errorString());
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return withStatus(Status::Denied, job.errorString());
    default:
        return withStatus(Status::Failed, job.errorString());
    }
}

// Starts the job and waits for it, at most `timeoutMs`. A job that has not
// finished by then is left to finish on its own and deletes itself; its
// answer is ignored.
template <typename Job, typename Read> Result runJob(Job *job, int timeoutMs, Read read)
{
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    Result result = withStatus(Status::TimedOut);
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *) {
        finished = true;
        result = fromJob(*job);
        if (result.ok())
            read(*job, result);
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec();
    if (finished) {
        delete job;
    } else {
        QObject::disconnect(job, nullptr, &loop, nullptr);
        QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
    }
    return result;
}

} // namespace

KeychainSecretStore::KeychainSecretStore(const QString &service, int readTimeoutMs, int promptTimeoutMs)
    : m_service(service), m_readTimeoutMs(readTimeoutMs), m_promptTimeoutMs(promptTimeoutMs)
{
}

Result KeychainSecretStore::checkReachable(bool needUnlocked)
{
    // Without DBUS_SESSION_BUS_ADDRESS this does not start a bus of its own
    // where there is no display, so cron fails here at once.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return withStatus(Status::NoSessionBus, bus.lastError().message());
    if (!bus.interface()->isServiceRegistered(kSecrets) && !activatable(bus, kSecrets, m_readTimeoutMs))
        return withStatus(Status::NoService);
    if (!needUnlocked)
        return withStatus(Status::Ok);

    QDBusMessage get =
        QDBusMessage::createMethodCall(kSecrets, QStringLiteral("/org/freedesktop/secrets/aliases/default"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    const QDBusMessage reply =
        bus.call(get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked"), QDBus::Block,
                 m_readTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
            return withStatus(Status::TimedOut);
        // No default collection: nothing can be read without setting one up.
        return withStatus(Status::Locked, reply.errorMessage());
    }
    const QVariant locked = reply.arguments().value(0).value<QDBusVariant>().variant();
    return locked.toBool() ? withStatus(Status::Locked) : withStatus(Status::Ok);
}

bool KeychainSecretStore::isAvailable()
{
    return checkReachable(false).ok();
}

Result KeychainSecretStore::read(const QString &account)
{
    const Result reachable = checkReachable(true);
    if (!reachable.ok())
        return reachable;
    auto *job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(account);
    return runJob(job, m_readTimeoutMs,
                  [](QKeychain::ReadPasswordJob &done, Result &r) { r.secret = done.textData(); });
}

Result KeychainSecretStore::write(const QString &account, const QString &secret)
{
    const Result reachable = checkReachable(false);
    if (!reachable.ok())
        return reachable;
    auto *job = new QKeychain::WritePasswordJob(m_service);
    job->setKey(account);
    job->setTextData(secret);
    return runJob(job, m_promptTimeoutMs, [](QKeychain::WritePasswordJob &, Result &) {});
}

Result KeychainSecretStore::remove(const QString &account)
{
    const Result reachable = checkReachable(false);
    if (!reachable.ok())
        return reachable;
    auto *job = new QKeychain::DeletePasswordJob(m_service);
    job->setKey(account);
    Result r = runJob(job, m_promptTimeoutMs, [](QKeychain::DeletePasswordJob &, Result &) {});
    if (r.status == Status::NotFound)
        r.status = Status::Ok;
    return r;
}
