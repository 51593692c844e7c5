#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// The dial-up service of the system: the connection profiles it knows (the
// "phone-book entries"), which of them are up, and bringing one up or down.
// Production talks to NetworkManager through nmcli; tests install a fake or
// put a fake nmcli first on PATH.
class DialupService
{
public:
    // Called once when an asynchronous connect has ended: ok, or the reason.
    using ConnectDone = std::function<void(bool ok, const QString &error)>;

    virtual ~DialupService() = default;

    // False when the system has no dial-up service; then there are no entries,
    // nothing is active and every connect fails.
    virtual bool available() = 0;
    // Names of the connection profiles; empty when listing failed (see lastError()).
    virtual QStringList listEntries() = 0;
    // Names of the profiles that are up now; empty when listing failed.
    virtual QStringList activeConnections() = 0;
    // Brings the profile up and waits (pumping events) until it is up or has failed.
    virtual bool connect(const QString &name, QString *error);
    // Takes the profile down and waits (pumping events).
    virtual bool disconnect(const QString &name, QString *error) = 0;

    // Starts bringing the profile up without waiting. `done` runs later from
    // the event loop, never from inside this call. Returns an id for
    // cancelConnect(), or 0 (with *error set) when nothing could be started.
    virtual int startConnect(const QString &name, ConnectDone done, QString *error) = 0;
    // Stops waiting for a started connect and ends its command; `done` is
    // not called any more. What the system already did is not undone.
    virtual void cancelConnect(int id) = 0;

    // Why the last command failed; empty after one that succeeded.
    QString lastError() const { return m_lastError; }

    static DialupService &instance();
    // Installs a service for the whole process; nullptr restores nmcli.
    static void install(DialupService *service);

protected:
    void setLastError(const QString &text) { m_lastError = text; }

private:
    QString m_lastError;
};

// NetworkManager through its command-line client. Every command is run
// directly (no shell) with a time limit; a command that hangs is killed.
class NmcliDialupService : public DialupService
{
public:
    static constexpr int DefaultListTimeoutMs = 30000;
    static constexpr int DefaultConnectTimeoutMs = 120000;

    NmcliDialupService();
    ~NmcliDialupService() override;
    NmcliDialupService(const NmcliDialupService &) = delete;
    NmcliDialupService &operator=(const NmcliDialupService &) = delete;

    bool available() override;
    QStringList listEntries() override;
    QStringList activeConnections() override;
    bool disconnect(const QString &name, QString *error) override;
    int startConnect(const QString &name, ConnectDone done, QString *error) override;
    void cancelConnect(int id) override;

    // Time limits of the listing commands and of "connection up"/"down".
    void setTimeouts(int listMs, int connectMs);

    // Splits one line of `nmcli -t` output into its fields: ":" separates,
    // a backslash makes the next character literal.
    static QStringList splitTerseLine(const QString &line);

private:
    QList<QStringList> runList(const QStringList &args);
    void finishConnect(int id, bool ok, const QString &error);

    int m_listTimeoutMs = DefaultListTimeoutMs;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    int m_nextId = 1;
    struct Pending;
    QHash<int, Pending *> m_pending;
};
