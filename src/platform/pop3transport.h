#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The byte stream under the POP3 component: connect, send, close, read, and the
// data / closed / error notifications. Notifications are delivered on the one
// thread and only while events are pumped (EventPump), never from inside a call
// such as connectToHost() or send().
//
// State numbers are those of the socket control the program has always used,
// and callers test them by number.
class Pop3Transport : public QObject
{
    Q_OBJECT
public:
    enum State {
        Closed = 0,
        Open = 1,
        Listening = 2,
        Pending = 3,
        Resolving = 4,
        Resolved = 5,
        Connecting = 6,
        Connected = 7,
        PeerClosing = 8,
        Error = 9
    };

    enum class Security {
        None,     // plain POP3
        StartTls, // plain connect; the component sends STLS and then calls startTls()
        Tls       // TLS from the first byte (port 995)
    };

    // Error numbers reported through errorOccurred(). The socket ones keep the
    // numbers the program's callers know; the TLS ones are our own.
    enum ErrorNumber {
        ErrAccess = 10013,
        ErrInvalid = 10022,
        ErrAddressInUse = 10048,
        ErrAddressNotAvailable = 10049,
        ErrNetworkUnreachable = 10051,
        ErrConnectionAborted = 10053,
        ErrNoBuffers = 10055,
        ErrTimedOut = 10060,
        ErrConnectionRefused = 10061,
        ErrHostNotFound = 11001,
        ErrTlsCertificate = 20001, // the server's certificate did not pass the check
        ErrTlsHandshake = 20002,   // TLS could not be established for another reason
        ErrStartTlsRefused = 20003 // the server does not offer or refused STLS
    };

    static bool isSecurityError(int number) { return number >= ErrTlsCertificate && number <= ErrStartTlsRefused; }

    // "None", "STARTTLS" or "TLS" (any case) as kept in the settings; anything
    // else is plain POP3.
    static Security securityFromText(const QString &text);
    static QString securityText(Security security);
    static int defaultPort(Security security) { return security == Security::Tls ? 995 : 110; }

    using QObject::QObject;

    // Starts connecting; false when the transport is not closed (state 0).
    virtual bool connectToHost(const QString &host, int port, Security security) = 0;
    // Queues bytes for sending; false when not connected (state 7).
    virtual bool send(const QByteArray &bytes) = 0;
    // Closes at once, dropping unread data; the state becomes 0. Emits nothing.
    virtual void close() = 0;
    virtual int state() const = 0;
    // Everything received since the last call.
    virtual QByteArray readAll() = 0;
    // STARTTLS: begins the TLS handshake on the plain connection now (the
    // state reads "connecting" until it is done). False when the connection
    // was not opened for STARTTLS, or when unread plain bytes are waiting:
    // those came before encryption and must never be read as if after it.
    virtual bool startTls() = 0;
    // The line is encrypted (TLS, or STARTTLS after its handshake).
    virtual bool encrypted() const = 0;

signals:
    void dataArrived();
    // The peer closed the connection (any data it sent before has been reported).
    void closed();
    void errorOccurred(int number, const QString &description);
};

// Texts of the transport's own failures (the socket ones come from the system).
namespace Pop3TransportText {
// Followed by the reason the check failed.
inline const QString CertificateFailed = QStringLiteral("ｻｰﾊﾞｰ証明書を確認できませんでした: ");
inline const QString TlsFailed = QStringLiteral("暗号化接続を確立できませんでした: ");
inline const QString StartTlsRefused = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰがSTARTTLSに対応していません: ");
inline const QString TlsUnavailable = QStringLiteral("暗号化通信のﾗｲﾌﾞﾗﾘが利用できません");
inline const QString TimedOut = QStringLiteral("接続がタイムアウトしました。");
inline const QString Refused = QStringLiteral("接続が拒否されました。");
inline const QString HostNotFound = QStringLiteral("ホストが見つかりません。");
inline const QString Unreachable = QStringLiteral("ネットワークに到達できません。");
inline const QString Aborted = QStringLiteral("接続が中断されました。");
} // namespace Pop3TransportText
