#pragma once

#include "platform/secretstore.h"

// The Secret Service through QtKeychain. Before it reads, it asks the service
// itself over D-Bus whether the default keyring is unlocked, because QtKeychain
// would otherwise wait for an unlock prompt that nobody may ever answer; where
// someone is at the screen (mayPrompt) it has the desktop ask for the unlock.
// A written item is labelled "Kivrel: user@server" and carries the mail user
// and server as attributes of their own (mail-user, mail-server), besides the
// ones QtKeychain looks it up by.
class KeychainSecretStore : public SecretStore
{
public:
    // `service` names the entries in the keyring; the waits are bounded by
    // `readTimeoutMs` (read, checks) and `promptTimeoutMs` (write, remove).
    explicit KeychainSecretStore(const QString &service = QStringLiteral("Kivrel"), int readTimeoutMs = 10000,
                                 int promptTimeoutMs = 120000);

    bool isAvailable() override;
    Result read(const QString &account) override;
    Result write(const QString &account, const QString &secret) override;
    Result remove(const QString &account) override;

private:
    // Ok when the service runs and its default collection is unlocked.
    Result checkReachable(bool needUnlocked);
    // Has the desktop prompt for the default keyring's password.
    Result unlockDefault();
    // Gives the item of `account` its label and attributes.
    void describeItem(const QString &account);

    QString m_service;
    int m_readTimeoutMs;
    int m_promptTimeoutMs;
};
