#include "platform/keychainsecretstore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

const QString kSecrets = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString kItemInterface = QStringLiteral("org.freedesktop.Secret.Item");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
using Attributes = QMap<QString, QString>;

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

// Waits for the Completed signal of a Secret Service prompt.
class PromptWatcher : public QObject
{
    Q_OBJECT
public:
    bool finished = false;
    bool dismissed = true;
signals:
    void done();
public slots:
    void completed(bool wasDismissed, const QDBusVariant &)
    {
        finished = true;
        dismissed = wasDismissed;
        emit done();
    }
};

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

Result KeychainSecretStore::unlockDefault()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage alias = QDBusMessage::createMethodCall(kSecrets, kServicePath, kServiceInterface,
                                                        QStringLiteral("ReadAlias"));
    const QDBusMessage aliased = bus.call(alias << QStringLiteral("default"), QDBus::Block, m_readTimeoutMs);
    const QDBusObjectPath collection = aliased.arguments().value(0).value<QDBusObjectPath>();
    if (aliased.type() != QDBusMessage::ReplyMessage || collection.path() == QLatin1String("/"))
        return withStatus(Status::Locked, aliased.errorMessage());
    QDBusMessage unlock =
        QDBusMessage::createMethodCall(kSecrets, kServicePath, kServiceInterface, QStringLiteral("Unlock"));
    unlock << QVariant::fromValue(QList<QDBusObjectPath>{collection});
    const QDBusMessage unlocked = bus.call(unlock, QDBus::Block, m_readTimeoutMs);
    if (unlocked.type() != QDBusMessage::ReplyMessage)
        return withStatus(Status::Failed, unlocked.errorMessage());
    const QString prompt = unlocked.arguments().value(1).value<QDBusObjectPath>().path();
    if (prompt.isEmpty() || prompt == QLatin1String("/"))
        return withStatus(Status::Ok);
    // The desktop shows its prompt; Completed says how it ended.
    QEventLoop loop;
    PromptWatcher watcher;
    QObject::connect(&watcher, &PromptWatcher::done, &loop, &QEventLoop::quit);
    bus.connect(kSecrets, prompt, QStringLiteral("org.freedesktop.Secret.Prompt"), QStringLiteral("Completed"),
                &watcher, SLOT(completed(bool, QDBusVariant)));
    QDBusMessage show = QDBusMessage::createMethodCall(kSecrets, prompt, QStringLiteral("org.freedesktop.Secret.Prompt"),
                                                       QStringLiteral("Prompt"));
    bus.call(show << QString(), QDBus::Block, m_readTimeoutMs);
    QTimer::singleShot(m_promptTimeoutMs, &loop, &QEventLoop::quit);
    if (!watcher.finished)
        loop.exec();
    if (!watcher.finished)
        return withStatus(Status::TimedOut);
    return watcher.dismissed ? withStatus(Status::Denied) : withStatus(Status::Ok);
}

void KeychainSecretStore::describeItem(const QString &account)
{
    qDBusRegisterMetaType<Attributes>();
    const QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage search =
        QDBusMessage::createMethodCall(kSecrets, kServicePath, kServiceInterface, QStringLiteral("SearchItems"));
    search << QVariant::fromValue(Attributes{{QStringLiteral("user"), account}, {QStringLiteral("server"), m_service}});
    const QDBusMessage found = bus.call(search, QDBus::Block, m_readTimeoutMs);
    if (found.type() != QDBusMessage::ReplyMessage)
        return;
    const qsizetype at = account.lastIndexOf(QLatin1Char('@'));
    for (const QDBusObjectPath &item : qdbus_cast<QList<QDBusObjectPath>>(found.arguments().value(0))) {
        const auto set = [&](const QString &property, const QVariant &value) {
            QDBusMessage call = QDBusMessage::createMethodCall(kSecrets, item.path(), kProperties, QStringLiteral("Set"));
            call << kItemInterface << property << QVariant::fromValue(QDBusVariant(value));
            bus.call(call, QDBus::Block, m_readTimeoutMs);
        };
        QDBusMessage get = QDBusMessage::createMethodCall(kSecrets, item.path(), kProperties, QStringLiteral("Get"));
        get << kItemInterface << QStringLiteral("Attributes");
        const QDBusMessage current = bus.call(get, QDBus::Block, m_readTimeoutMs);
        Attributes attributes =
            qdbus_cast<Attributes>(current.arguments().value(0).value<QDBusVariant>().variant());
        attributes.insert(QStringLiteral("mail-user"), account.left(at));
        attributes.insert(QStringLiteral("mail-server"), account.mid(at + 1));
        set(QStringLiteral("Attributes"), QVariant::fromValue(attributes));
        set(QStringLiteral("Label"), QStringLiteral("Kivrel: ") + account);
    }
}

Result KeychainSecretStore::read(const QString &account)
{
    Result reachable = checkReachable(true);
    if (reachable.status == Status::Locked && SecretStore::mayPrompt()) {
        reachable = unlockDefault();
        if (reachable.ok())
            reachable = checkReachable(true);
    }
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
    const Result written = runJob(job, m_promptTimeoutMs, [](QKeychain::WritePasswordJob &, Result &) {});
    if (written.ok())
        describeItem(account);
    return written;
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

#include "keychainsecretstore.moc"
