#include "pop3/saslclient.h"

#include <gsasl.h>

namespace {

const char ControlA = '\x01';

// One library context for the process, made on first use.
Gsasl *library(int &rc)
{
    static Gsasl *ctx = nullptr;
    static int initRc = gsasl_init(&ctx);
    rc = initRc;
    return initRc == GSASL_OK ? ctx : nullptr;
}

QString libraryError(int rc)
{
    return SaslText::LibraryFailed + QString::fromUtf8(gsasl_strerror(rc));
}

} // namespace

struct SaslClient::Session {
    Gsasl_session *session = nullptr;
    ~Session()
    {
        if (session)
            gsasl_finish(session);
    }
};

SaslClient::SaslClient(const QString &method, const QString &user, const QString &secret, const QString &host,
                       int port)
    : m_method(method.toUpper())
{
    if (m_method == QStringLiteral("XOAUTH2")) {
        m_bearerFrame = "user=" + user.toUtf8() + ControlA + "auth=Bearer " + secret.toUtf8() + ControlA + ControlA;
        return;
    }
    if (m_method == QStringLiteral("OAUTHBEARER")) {
        // GS2 header without authorisation identity quoting needs: "," and "="
        // in the user name are escaped as RFC 5801 says.
        QByteArray name = user.toUtf8();
        name.replace("=", "=3D").replace(",", "=2C");
        m_bearerFrame = "n,a=" + name + "," + ControlA + "host=" + host.toUtf8() + ControlA +
                        "port=" + QByteArray::number(port) + ControlA + "auth=Bearer " + secret.toUtf8() + ControlA +
                        ControlA;
        return;
    }
    int rc = GSASL_OK;
    Gsasl *ctx = library(rc);
    if (!ctx) {
        m_error = libraryError(rc);
        return;
    }
    m_session = std::make_unique<Session>();
    rc = gsasl_client_start(ctx, m_method.toLatin1().constData(), &m_session->session);
    if (rc != GSASL_OK) {
        m_session.reset();
        m_error = libraryError(rc);
        return;
    }
    gsasl_property_set(m_session->session, GSASL_AUTHID, user.toUtf8().constData());
    gsasl_property_set(m_session->session, GSASL_PASSWORD, secret.toUtf8().constData());
    gsasl_property_set(m_session->session, GSASL_SERVICE, "pop");
    gsasl_property_set(m_session->session, GSASL_HOSTNAME, host.toUtf8().constData());
}

SaslClient::~SaslClient() = default;

std::optional<QByteArray> SaslClient::initialResponse()
{
    if (!m_bearerFrame.isEmpty()) {
        m_bearerSent = true;
        return m_bearerFrame.toBase64();
    }
    // CRAM-MD5 answers a challenge; LOGIN is asked for each field.
    if (!m_session || m_method == QStringLiteral("CRAM-MD5") || m_method == QStringLiteral("LOGIN"))
        return std::nullopt;
    return step(QByteArray());
}

std::optional<QByteArray> SaslClient::step(const QByteArray &challenge)
{
    if (!m_bearerFrame.isEmpty()) {
        if (!m_bearerSent) { // the server asked for the first message itself
            m_bearerSent = true;
            return m_bearerFrame.toBase64();
        }
        // A challenge after the token is the server's error report: the
        // exchange is ended with the reply RFC 7628 asks for (XOAUTH2: empty).
        m_tokenError = QByteArray::fromBase64(challenge);
        if (m_method == QStringLiteral("OAUTHBEARER"))
            return QByteArray(1, ControlA).toBase64();
        return QByteArray();
    }
    if (!m_session)
        return std::nullopt;
    char *out = nullptr;
    const int rc = gsasl_step64(m_session->session, challenge.constData(), &out);
    const QByteArray answer(out ? out : "");
    gsasl_free(out);
    if (rc != GSASL_OK && rc != GSASL_NEEDS_MORE) {
        m_error = (rc == GSASL_BASE64_ERROR || rc == GSASL_MECHANISM_PARSE_ERROR) ? SaslText::BadChallenge + QString::fromUtf8(gsasl_strerror(rc))
                                                                                 : libraryError(rc);
        return std::nullopt;
    }
    return answer;
}
