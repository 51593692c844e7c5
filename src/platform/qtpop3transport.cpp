#include "platform/qtpop3transport.h"

#include <QFile>
#include <QMetaObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {
QString g_extraCaFile;

QList<QSslCertificate> extraCaCertificates()
{
    QList<QSslCertificate> certs;
    const QString envFile = qEnvironmentVariable("KIVREL_CA_FILE");
    for (const QString &file : {g_extraCaFile, envFile}) {
        if (!file.isEmpty())
            certs += QSslCertificate::fromPath(file, QSsl::Pem);
    }
    return certs;
}

QString describe(int number, const QString &qtText)
{
    switch (number) {
    case Pop3Transport::ErrTimedOut:
        return Pop3TransportText::TimedOut;
    case Pop3Transport::ErrConnectionRefused:
        return Pop3TransportText::Refused;
    case Pop3Transport::ErrHostNotFound:
        return Pop3TransportText::HostNotFound;
    case Pop3Transport::ErrNetworkUnreachable:
        return Pop3TransportText::Unreachable;
    case Pop3Transport::ErrConnectionAborted:
        return Pop3TransportText::Aborted;
    default:
        return qtText;
    }
}
} // namespace

QtPop3Transport::QtPop3Transport(QObject *parent) : Pop3Transport(parent), m_socket(new QSslSocket(this))
{
    // What the server sends waits in the kernel rather than in our memory
    // until the component has taken what came before; with commands in flight
    // that can be megabytes.
    m_socket->setReadBufferSize(qint64(1) << 20);
    // Every notification is posted and dropped when it belongs to a connection
    // that has been closed since (close() and fail() move m_generation on).
    auto post = [this](auto handler) {
        return [this, handler](auto... args) {
            const quint64 generation = m_generation;
            QMetaObject::invokeMethod(
                this,
                [this, handler, generation, args...] {
                    if (generation == m_generation)
                        (this->*handler)(args...);
                },
                Qt::QueuedConnection);
        };
    };
    connect(m_socket, &QSslSocket::connected, this, post(&QtPop3Transport::onConnected));
    connect(m_socket, &QSslSocket::encrypted, this, post(&QtPop3Transport::onEncrypted));
    connect(m_socket, &QSslSocket::readyRead, this, post(&QtPop3Transport::onReadyRead));
    connect(m_socket, &QSslSocket::disconnected, this, post(&QtPop3Transport::onDisconnected));
    connect(m_socket, &QSslSocket::errorOccurred, this, post(&QtPop3Transport::onSocketError));
    // Only noted here; the handshake failure that follows is what is reported.
    connect(m_socket, &QSslSocket::sslErrors, this, &QtPop3Transport::onSslErrors);
}

QtPop3Transport::~QtPop3Transport() = default;

void QtPop3Transport::setExtraCaFile(const QString &pemFile)
{
    g_extraCaFile = pemFile;
}

int QtPop3Transport::errorNumber(QAbstractSocket::SocketError error, const QString &qtText)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ErrConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return ErrHostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return ErrTimedOut;
    case QAbstractSocket::SocketAccessError:
        return ErrAccess;
    case QAbstractSocket::SocketResourceError:
        return ErrNoBuffers;
    case QAbstractSocket::AddressInUseError:
        return ErrAddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return ErrAddressNotAvailable;
    case QAbstractSocket::NetworkError:
        // Qt reports a connect that timed out as a network error.
        if (qtText.contains(QLatin1String("timed out"), Qt::CaseInsensitive))
            return ErrTimedOut;
        return ErrNetworkUnreachable;
    case QAbstractSocket::UnsupportedSocketOperationError:
    case QAbstractSocket::OperationError:
        return ErrInvalid;
    default:
        return ErrConnectionAborted;
    }
}

bool QtPop3Transport::connectToHost(const QString &host, int port, Security security)
{
    if (state() != Closed)
        return false;
    m_security = security;
    m_pending.clear();
    m_certProblem.clear();
    m_failed = false;
    m_phase = Phase::Connecting;
    if (security == Security::None) {
        m_socket->connectToHost(host, quint16(port));
        return true;
    }
    if (!QSslSocket::supportsSsl()) {
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation)
                    fail(ErrTlsHandshake, Pop3TransportText::TlsUnavailable);
            },
            Qt::QueuedConnection);
        return true;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> extra = extraCaCertificates();
    if (!extra.isEmpty())
        config.addCaCertificates(extra);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket->setSslConfiguration(config);
    if (security == Security::Tls)
        m_socket->connectToHostEncrypted(host, quint16(port));
    else
        m_socket->connectToHost(host, quint16(port));
    return true;
}

bool QtPop3Transport::send(const QByteArray &bytes)
{
    if (state() != Connected)
        return false;
    return m_socket->write(bytes) == bytes.size();
}

void QtPop3Transport::close()
{
    m_socket->abort();
    ++m_generation;
    m_phase = Phase::Closed;
    m_failed = false;
    m_pending.clear();
}

int QtPop3Transport::state() const
{
    if (m_failed)
        return Error;
    switch (m_phase) {
    case Phase::Closed:
        return Closed;
    case Phase::Plain:
    case Phase::Ready:
        return m_socket->state() == QAbstractSocket::ClosingState ? PeerClosing : Connected;
    case Phase::Connecting:
        if (m_socket->state() == QAbstractSocket::HostLookupState)
            return Resolving;
        return Connecting;
    case Phase::Handshake:
        return Connecting;
    }
    return Closed;
}

QByteArray QtPop3Transport::readAll()
{
    QByteArray out;
    out.swap(m_pending);
    if (m_phase == Phase::Plain || m_phase == Phase::Ready)
        out += m_socket->readAll();
    return out;
}

void QtPop3Transport::onConnected()
{
    switch (m_security) {
    case Security::None:
        m_phase = Phase::Plain;
        break;
    case Security::StartTls:
        m_phase = Phase::Plain;
        break;
    case Security::Tls:
        m_phase = Phase::Handshake;
        break;
    }
}

void QtPop3Transport::onEncrypted()
{
    m_phase = Phase::Ready;
    if (!m_pending.isEmpty() || m_socket->bytesAvailable() > 0)
        emit dataArrived();
}

void QtPop3Transport::onReadyRead()
{
    if ((m_phase == Phase::Plain || m_phase == Phase::Ready) &&
        (m_socket->bytesAvailable() > 0 || !m_pending.isEmpty()))
        emit dataArrived();
}

bool QtPop3Transport::startTls()
{
    if (m_security != Security::StartTls || m_phase != Phase::Plain || !m_pending.isEmpty() ||
        m_socket->bytesAvailable() > 0)
        return false;
    m_phase = Phase::Handshake;
    m_socket->startClientEncryption();
    return true;
}

bool QtPop3Transport::encrypted() const
{
    return m_phase == Phase::Ready;
}

void QtPop3Transport::onDisconnected()
{
    if (m_phase == Phase::Plain || m_phase == Phase::Ready) {
        if (m_socket->bytesAvailable() > 0 || !m_pending.isEmpty()) {
            m_pending += m_socket->readAll();
            emit dataArrived();
        }
        m_phase = Phase::Closed;
        emit closed();
        return;
    }
    if (m_phase == Phase::Closed || m_failed)
        return;
    // Gone before the line was ready for use.
    if (m_security == Security::None)
        fail(ErrConnectionAborted, Pop3TransportText::Aborted);
    else
        fail(ErrTlsHandshake, Pop3TransportText::TlsFailed + Pop3TransportText::Aborted);
}

void QtPop3Transport::onSslErrors(const QList<QSslError> &errors)
{
    QStringList reasons;
    for (const QSslError &e : errors)
        reasons << e.errorString();
    m_certProblem = reasons.join(QLatin1String("; "));
}

void QtPop3Transport::onSocketError(QAbstractSocket::SocketError error)
{
    if (m_failed || m_phase == Phase::Closed)
        return;
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        if (m_phase == Phase::Plain || m_phase == Phase::Ready)
            return; // disconnected() follows and reports the close
        break;
    case QAbstractSocket::SslHandshakeFailedError:
        if (!m_certProblem.isEmpty())
            fail(ErrTlsCertificate, Pop3TransportText::CertificateFailed + m_certProblem);
        else
            fail(ErrTlsHandshake, Pop3TransportText::TlsFailed + m_socket->errorString());
        return;
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        fail(ErrTlsHandshake, Pop3TransportText::TlsFailed + m_socket->errorString());
        return;
    default:
        break;
    }
    if (m_security != Security::None && m_phase != Phase::Plain && m_phase != Phase::Ready &&
        m_phase != Phase::Connecting) {
        fail(ErrTlsHandshake, Pop3TransportText::TlsFailed + m_socket->errorString());
        return;
    }
    const int number = errorNumber(error, m_socket->errorString());
    fail(number, describe(number, m_socket->errorString()));
}

void QtPop3Transport::fail(int number, const QString &description)
{
    m_socket->abort();
    ++m_generation;
    m_failed = true;
    m_phase = Phase::Closed;
    m_pending.clear();
    emit errorOccurred(number, description);
}
