#pragma once

#include "platform/secretstore.h"

// The Secret Service through QtKeychain. Before it reads, it asks the service
// itself over D-Bus whether the default keyring is unlocked, because QtKeychain
// would otherwise wait for an unlock prompt that nobody may ever answer.
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

    QString m_service;
    int m_readTimeoutMs;
    int m_promptTimeoutMs;
};
