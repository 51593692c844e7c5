#pragma once

#include "platform/pop3transport.h"

#include <QAbstractSocket>
#include <QList>
#include <QSslError>

class QSslSocket;

// The real POP3 transport on QSslSocket: plain POP3, TLS from the first byte,
// or STARTTLS on a plain connection (the component sends STLS and asks for
// the handshake with startTls()). The server's certificate
// is checked against the system's trust store; a failed check ends the
// connection, it never goes on unencrypted.
//
// Extra CA certificates (a test CA, a company CA) can be added from a PEM file:
// setExtraCaFile(), or the environment variable KIVREL_CA_FILE, read at every
// connect.
//
// Socket notifications are re-posted to the event loop, so that none of them
// runs inside connectToHost() or send().
class QtPop3Transport : public Pop3Transport
{
    Q_OBJECT
public:
    explicit QtPop3Transport(QObject *parent = nullptr);
    ~QtPop3Transport() override;

    static void setExtraCaFile(const QString &pemFile);

    bool connectToHost(const QString &host, int port, Security security) override;
    bool send(const QByteArray &bytes) override;
    void close() override;
    int state() const override;
    QByteArray readAll() override;
    bool startTls() override;
    bool encrypted() const override;

    // The error number our callers know for a Qt socket error.
    static int errorNumber(QAbstractSocket::SocketError error, const QString &qtText);

private:
    enum class Phase {
        Closed,
        Connecting, // resolving and connecting
        Plain,      // connected in plain text (STARTTLS: until startTls())
        Handshake,  // TLS handshake running
        Ready       // encrypted
    };
    void onConnected();
    void onEncrypted();
    void onReadyRead();
    void onDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onSslErrors(const QList<QSslError> &errors);
    void fail(int number, const QString &description);

    QSslSocket *m_socket = nullptr;
    Security m_security = Security::None;
    Phase m_phase = Phase::Closed;
    quint64 m_generation = 0; // one per connection; stale notifications are dropped
    bool m_failed = false;
    QByteArray m_pending; // data for readAll() not taken from the socket
    QString m_certProblem;
};
