#pragma once

#include <QString>

// The desktop's keyring: a Secret Service on the session bus (GNOME Keyring,
// KWallet), where the mail password can be kept instead of Kivrel.ini.
// Every call returns within a bounded time; none throws.
class SecretStore
{
public:
    enum class Status {
        Ok,
        NotFound,     // no password stored under that account
        NoSessionBus, // no session bus (cron, a login without a desktop)
        NoService,    // a bus, but no Secret Service on it
        Locked,       // the keyring is locked (or has no default collection)
        Denied,       // the user or the service refused
        TimedOut,     // no answer in time
        Failed        // anything else; detail says what
    };
    struct Result {
        Status status = Status::Failed;
        QString secret; // what read() found
        QString detail; // the service's own words, when it gave any
        bool ok() const { return status == Status::Ok; }
    };

    virtual ~SecretStore() = default;

    // True when a Secret Service answers on the session bus.
    virtual bool isAvailable() = 0;
    // A locked keyring is Status::Locked at once, so an unattended run never
    // waits for an unlock prompt; only where mayPrompt() is set (a window
    // someone works in) does the desktop ask for the keyring's password first.
    virtual Result read(const QString &account) = 0;
    // Only called where a person is at the screen: the keyring may ask to be
    // unlocked. Removing what is not there is Ok.
    virtual Result write(const QString &account, const QString &secret) = 0;
    virtual Result remove(const QString &account) = 0;

    // The reason in the program's words, for a status line or a message box.
    static QString reasonText(const Result &result);

    static void setMayPrompt(bool mayPrompt);
    static bool mayPrompt();

    static SecretStore &instance();
    // Installs a store for the whole process; nullptr restores the desktop's one.
    static void install(SecretStore *store);
};
