#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// The client side of one SASL login (RFC 4422) as POP3's AUTH carries it
// (RFC 5034): base64 lines in and out. SCRAM, CRAM-MD5, PLAIN and LOGIN come
// from GNU SASL; the OAuth 2.0 bearer frames (XOAUTH2, and OAUTHBEARER of
// RFC 7628), which it does not have, are fixed texts built here.
class SaslClient
{
public:
    SaslClient(const QString &method, const QString &user, const QString &secret, const QString &host, int port);
    ~SaslClient();
    SaslClient(const SaslClient &) = delete;
    SaslClient &operator=(const SaslClient &) = delete;

    // False when the method cannot be started; error() says why.
    bool usable() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    // The client's first message (base64) where the method speaks first;
    // nothing for a method that waits for the server's challenge.
    std::optional<QByteArray> initialResponse();
    // The answer (base64, may be empty) to the server's challenge (base64);
    // nothing when the challenge cannot be answered (error() says why).
    std::optional<QByteArray> step(const QByteArray &challenge);

    // The server's error report of a refused bearer token (RFC 7628 section
    // 3.2.2), as it sent it; empty when there was none.
    QByteArray tokenError() const { return m_tokenError; }

private:
    struct Session;
    QString m_method;
    QString m_error;
    QByteArray m_bearerFrame; // XOAUTH2 / OAUTHBEARER
    bool m_bearerSent = false;
    QByteArray m_tokenError;
    std::unique_ptr<Session> m_session;
};

namespace SaslText {
inline const QString LibraryFailed = QStringLiteral("SASLﾗｲﾌﾞﾗﾘのｴﾗｰ: ");
inline const QString BadChallenge = QStringLiteral("ｻｰﾊﾞｰの認証ﾃﾞｰﾀが正しくありません: ");
} // namespace SaslText
