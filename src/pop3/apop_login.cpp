// Logging in: the method chosen from the setting and the server's offer,
// USER/PASS, APOP, and SASL through AUTH (RFC 5034).
#include "pop3/apop.h"

#include "core/cp932.h"
#include "pop3/authchoice.h"
#include "pop3/saslclient.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace {
// An exchange that has not ended after this many steps is not a login.
constexpr int MaxSaslSteps = 16;
// RFC 5034: the AUTH command with its initial response fits in 255 octets.
constexpr qsizetype MaxAuthLine = 255 - 2;
} // namespace

// The first reason counts: what follows from it says less.
void aPOP::noteFailure(const QString &text)
{
    if (m_lastFailure.isEmpty())
        m_lastFailure = text;
}

// A login was refused or never answered: the status line says what the
// refusal means, the failure text keeps the method and the server's own words.
void aPOP::loginRefused(const QString &method, const Reply *r, const QString &why)
{
    m_lastCode = ResponseCode::Code::None;
    QString detail = why;
    if (r && r->whole && !r->positive && !r->continuation) {
        m_lastCode = ResponseCode::parse(r->bytes);
        const QString server = ResponseCode::serverText(r->bytes);
        detail = detail.isEmpty() ? server : detail + QStringLiteral(" / ") + server;
    } else if (detail.isEmpty()) {
        detail = m_lastFailure.isEmpty() ? aPOPText::NoReply : m_lastFailure;
    }
    const QString text = ResponseCode::loginFailureText(m_lastCode);
    const QString prefix = method == AuthChoice::UserPass ? QString() : method + QStringLiteral(": ");
    m_lastFailure = prefix + text + QStringLiteral(": ") + detail;
    setStatusMessage(text);
}

bool aPOP::loginStep(Id id, const Reply *&last)
{
    m_loginIds.push_back(id);
    waitFor(id, qint32(ReplyTimeoutMs));
    last = reply(id);
    return last && last->status == CommandComplete && last->positive;
}

bool aPOP::Authorize(const QString &user, const QString &password)
{
    m_authorizing = true;
    m_pipeliningOffered = false;
    m_authUsed.clear();
    m_authNotes.clear();
    const QString setting = AuthChoice::canonical(m_authSetting);
    // USER/PASS alone asks CAPA only to learn about pipelining, as it always has.
    const bool capa = (setting != AuthChoice::User || m_pipeliningAllowed) && Capa();
    if (m_pipeliningAllowed && capa)
        m_pipeliningOffered = hasCapability(QStringLiteral("PIPELINING"));

    AuthChoice::Offer offer;
    offer.capaAnswered = capa;
    offer.sasl = capabilityArguments(QStringLiteral("SASL"));
    offer.user = hasCapability(QStringLiteral("USER"));
    offer.apop = !apopTimestamp().isEmpty();
    offer.tls = m_transport->encrypted();
    const AuthChoice::Choice choice = AuthChoice::choose(setting, offer);

    const Reply *last = nullptr;
    QString why;
    QString method = choice.method;
    bool ok = false;
    if (method.isEmpty()) {
        m_lastCode = ResponseCode::Code::None;
        m_lastFailure = choice.refusal;
        setStatusMessage(choice.refusal);
    } else {
        if (method != AuthChoice::UserPass)
            setStatusMessage(aPOPText::AuthWith + method);
        if (method == AuthChoice::UserPass) {
            ok = userPass(user, password, last);
        } else if (method == AuthChoice::Apop) {
            ok = apopLogin(user, password, last);
            // Only a refusal of the secret itself: a busy mailbox is busy for USER too.
            const bool secretRefused =
                last && last->whole && !ResponseCode::busy(ResponseCode::parse(last->bytes)) &&
                ResponseCode::parse(last->bytes) != ResponseCode::Code::SysPerm;
            if (!ok && choice.apopFallback && secretRefused && !lineGone()) {
                m_authNotes.append(aPOPText::ApopFallback + QStringLiteral(" (") +
                                   ResponseCode::serverText(last->bytes) + QStringLiteral(")"));
                setStatusMessage(aPOPText::ApopFallback);
                method = AuthChoice::UserPass;
                ok = userPass(user, password, last);
            }
        } else {
            ok = saslLogin(method, user, password, last, why);
        }
        if (!ok)
            loginRefused(method, last, why);
    }
    m_authorizing = false;
    for (const Id id : m_loginIds)
        release(id);
    m_loginIds.clear();
    if (!ok) {
        m_transport->close();
        return false;
    }
    m_authUsed = method;
    m_authNotes.append(aPOPText::AuthWith + method);
    setStatusMessage(aPOPText::Ok);
    return true;
}

// USER and PASS go one at a time even where commands may be pipelined: a
// login process that answers them in two small writes makes the second wait
// for our delayed acknowledgement of the first, which costs more than the
// round trip saved.
bool aPOP::userPass(const QString &user, const QString &password, const Reply *&last)
{
    setStatusMessage(aPOPText::UserPrefix + user);
    if (!loginStep(submit("USER " + Cp932::encode(user), SingleLine), last))
        return false;
    setStatusMessage(aPOPText::Ok);
    setStatusMessage(aPOPText::PassPrefix + QString(password.size(), QLatin1Char('*')));
    return loginStep(submit("PASS " + Cp932::encode(password), SingleLine), last);
}

// RFC 1939: "APOP name digest", the digest being MD5 over the greeting's
// timestamp and the shared secret, in lower-case hex.
bool aPOP::apopLogin(const QString &user, const QString &password, const Reply *&last)
{
    const QByteArray digest =
        QCryptographicHash::hash(apopTimestamp() + Cp932::encode(password), QCryptographicHash::Md5).toHex();
    return loginStep(submit("APOP " + Cp932::encode(user) + ' ' + digest, SingleLine), last);
}

bool aPOP::continueWith(Id id, const QByteArray &line)
{
    if (lineGone() || !m_matcher.expectAgain(id))
        return false;
    m_lastSendFailed = !sendLine(line);
    if (m_lastSendFailed)
        giveUpAll();
    return !m_lastSendFailed;
}

// RFC 5034: "AUTH method [initial response]", then "+ challenge" lines the
// client answers one line each, until "+OK" or "-ERR". The whole exchange is
// one command: each step waits for the reply of its own line, and nothing
// else is sent while it lasts. "*" cancels an exchange the client cannot go on with.
bool aPOP::saslLogin(const QString &method, const QString &user, const QString &secret, const Reply *&last,
                     QString &why)
{
    SaslClient sasl(method, user, secret, m_server, port());
    if (!sasl.usable()) {
        why = sasl.error();
        return false;
    }
    QByteArray line = "AUTH " + method.toLatin1();
    std::optional<QByteArray> first = sasl.initialResponse();
    if (first) {
        const QByteArray argument = first->isEmpty() ? QByteArray("=") : *first;
        if (line.size() + 1 + argument.size() <= MaxAuthLine) {
            line += ' ' + argument;
            first.reset();
        }
    }
    const Id id = submit(line, ::ReplyMode::Continuation);
    m_loginIds.push_back(id);
    m_exchange = id;
    bool cancelled = false;
    for (int steps = 0;; ++steps) {
        waitFor(id, qint32(ReplyTimeoutMs));
        last = reply(id);
        if (!last || last->status != CommandComplete || !last->continuation || cancelled)
            break; // a server that goes on after "*" is not followed
        std::optional<QByteArray> answer;
        if (steps >= MaxSaslSteps) {
            answer.reset();
        } else if (first) {
            answer = *first; // the initial response that did not fit on the AUTH line
            first.reset();
        } else {
            answer = sasl.step(last->bytes.mid(1).trimmed());
        }
        if (!answer) {
            cancelled = true;
            if (why.isEmpty())
                why = sasl.error();
        }
        if (!continueWith(id, answer ? *answer : QByteArray("*")))
            break;
    }
    m_exchange = 0;
    if (!sasl.tokenError().isEmpty()) {
        const QString report = ResponseCode::serverText(sasl.tokenError());
        why = why.isEmpty() ? report : why + QStringLiteral(" / ") + report;
    }
    return !cancelled && last && last->status == CommandComplete && last->positive;
}

bool aPOP::Capa()
{
    m_capabilities.clear();
    const Id id = submit("CAPA", MultiLine);
    waitFor(id);
    const Reply *r = reply(id);
    if (!r || r->status != CommandComplete) {
        release(id);
        return false;
    }
    // The status line, then one capability per line, then ".".
    const QList<QByteArray> lines = r->bytes.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line == ".")
            continue;
        m_capabilities.append(QString::fromLatin1(line));
    }
    release(id);
    return true;
}

QStringList aPOP::capabilityArguments(const QString &name) const
{
    for (const QString &c : m_capabilities) {
        QStringList words = c.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!words.isEmpty() && words.front().compare(name, Qt::CaseInsensitive) == 0) {
            words.removeFirst();
            return words;
        }
    }
    return {};
}

QByteArray aPOP::apopTimestamp() const
{
    // RFC 1939: a msg-id in the greeting, "<" ... "@" ... ">".
    static const QRegularExpression stamp(QStringLiteral("<[\\x21-\\x3b\\x3d\\x3f-\\x7e]+@[\\x21-\\x3b\\x3d\\x3f-\\x7e]+>"));
    const qsizetype end = m_greeting.indexOf("\r\n");
    const QRegularExpressionMatch m = stamp.match(QString::fromLatin1(m_greeting.left(end < 0 ? 0 : end)));
    return m.hasMatch() ? m.captured().toLatin1() : QByteArray();
}
