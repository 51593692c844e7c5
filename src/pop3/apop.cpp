#include "pop3/apop.h"

#include "core/cp932.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/qtpop3transport.h"

#include <QTimer>

namespace {
const QByteArray Crlf("\r\n");
const QByteArray Err("-ERR");

quint32 now()
{
    return Clock::instance().tickCount();
}

quint32 since(quint32 start)
{
    return Clock::elapsed(start, now());
}

} // namespace

aPOP::aPOP(QObject *parent) : QObject(parent), m_transport(new QtPop3Transport(this))
{
    init(TimerMode::StartTimer);
}

aPOP::aPOP(Pop3Transport *transport, TimerMode timerMode, QObject *parent) : QObject(parent), m_transport(transport)
{
    m_transport->setParent(this);
    init(timerMode);
}

aPOP::~aPOP() = default;

void aPOP::init(TimerMode timerMode)
{
    connect(m_transport, &Pop3Transport::dataArrived, this, &aPOP::onDataArrived);
    connect(m_transport, &Pop3Transport::closed, this, &aPOP::onClosed);
    connect(m_transport, &Pop3Transport::errorOccurred, this, &aPOP::onError);
    if (timerMode == TimerMode::StartTimer) {
        m_timer1 = new QTimer(this);
        m_timer1->setInterval(TickIntervalMs);
        connect(m_timer1, &QTimer::timeout, this, &aPOP::timerTick);
        m_timer1->start();
    }
}

void aPOP::setPort(int port)
{
    m_port = port;
}

void aPOP::setSecurity(const QString &security)
{
    m_security = Pop3Transport::securityFromText(security);
}

int aPOP::port() const
{
    return m_port > 0 ? m_port : Pop3Transport::defaultPort(m_security);
}

QString aPOP::security() const
{
    return Pop3Transport::securityText(m_security);
}

int aPOP::WinsockState() const
{
    return m_transport->state();
}

void aPOP::setStatusMessage(const QString &text)
{
    m_statusMessage = text;
    emit StatusChanged();
}

// --- replies ------------------------------------------------------------------

void aPOP::giveUp(Id id, bool keep)
{
    const Reply *r = m_matcher.find(id);
    if (!r || r->status != CommandWaiting)
        return;
    // Only the oldest waiting reply can be taken as it stands; one behind
    // others (or behind a proof) ends with everything still waiting.
    if (m_matcher.oldestWaiting() != id)
        m_matcher.failAll();
    else
        m_matcher.giveUpOldest(keep);
    afterFeed();
}

void aPOP::setMaxReplyBytes(qint64 bytes)
{
    m_matcher.setMaxReplyBytes(bytes);
}

void aPOP::onDataArrived()
{
    const QByteArray chunk = m_transport->readAll();
    if (chunk.isEmpty())
        return;
    m_lastDataArrival = now();
    m_timeoutBase = m_lastDataArrival;
    if (m_dropped)
        return; // the rest of a line given up
    m_matcher.feed(chunk);
    afterFeed();
    emit DataReceived();
}

// What a chunk, a time-out or a given-up reply leads to: a proof that ended
// releases the commands held for it; a broken stream closes the line.
void aPOP::afterFeed()
{
    if (m_matcher.overflowed() && !m_dropped) {
        dropLine();
        setStatusMessage(aPOPText::ReplyTooLarge);
        return;
    }
    if (m_matcher.broken()) {
        if (!m_dropped)
            dropLine();
        return;
    }
    if (m_proof != 0) {
        const Reply *proof = m_matcher.find(m_proof);
        if (proof && proof->status == CommandComplete) {
            m_matcher.release(m_proof);
            m_proof = 0;
            while (!m_held.empty()) {
                const QByteArray line = m_held.front();
                m_held.pop_front();
                if (!sendLine(line)) {
                    m_matcher.failAll();
                    m_held.clear();
                }
            }
        }
    }
}

// Every command still waiting fails, with what that leads to.
void aPOP::giveUpAll()
{
    m_matcher.failAll();
    afterFeed();
}

void aPOP::dropLine()
{
    m_dropped = true;
    m_held.clear();
    m_proof = 0;
    m_matcher.failAll();
    m_transport->close();
}

bool aPOP::lineGone() const
{
    const int state = m_transport->state();
    return m_dropped || m_aborted || state == Pop3Transport::Error || state == Pop3Transport::Closed;
}

void aPOP::timerTick()
{
    if (!m_matcher.waiting())
        return;
    if (since(m_timeoutBase) > ReplyTimeoutMs) {
        m_timedOut = true;
        noteFailure(aPOPText::NoReply);
        giveUpAll();
    }
}

// --- socket events ------------------------------------------------------------

void aPOP::onClosed()
{
    m_connectionClosed = true;
    // A server that goes away in the middle of a reply will not finish it.
    // (Logging in says so in its own words.)
    if (m_matcher.waiting() && m_authorizing) {
        noteFailure(aPOPText::ServerClosed);
        giveUpAll();
    } else if (m_matcher.waiting() && !m_quitting) {
        noteFailure(aPOPText::ServerClosed);
        onError(Pop3Transport::ErrConnectionAborted, aPOPText::ServerClosed);
    }
}

void aPOP::onError(int number, const QString &description)
{
    if (number == Pop3Transport::ErrTimedOut)
        setStatusMessage(description);
    if (number == Pop3Transport::ErrConnectionAborted) {
        noteFailure(aPOPText::ConnectionAborted);
        setStatusMessage(aPOPText::ConnectionAborted);
        giveUpAll();
    }
    if (Pop3Transport::isSecurityError(number)) {
        m_securityFailed = true;
        noteFailure(description);
        setStatusMessage(description);
    }
    m_lastErrMessage = description;
    m_lastErrNumber = number;
}

// --- waiting --------------------------------------------------------------------

void aPOP::waitFor(Id id, qint32 limitMs, const std::function<bool()> &stop)
{
    const quint32 start = now();
    for (;;) {
        const Reply *r = m_matcher.find(id);
        if (!r || r->status != CommandWaiting)
            return;
        if (lineGone() || (stop && stop()) || (limitMs >= 1 && since(start) > quint32(limitMs))) {
            giveUpAll();
            return;
        }
        EventPump::instance().pumpOnce();
    }
}

// --- sending --------------------------------------------------------------------

bool aPOP::sendLine(const QByteArray &line)
{
    m_timeoutBase = now();
    return m_transport->send(line + Crlf);
}

aPOP::Id aPOP::submit(const QByteArray &line, ::ReplyMode mode, qint64 expectedSize)
{
    if (m_exchange != 0) {
        // Nothing goes ahead of a login exchange in progress: its next step
        // must follow nothing but its own last reply.
        m_lastSendFailed = true;
        return m_matcher.notSent();
    }
    if (m_dropped || m_matcher.broken()) {
        const Id id = m_matcher.expect(mode);
        m_matcher.failAll();
        m_lastSendFailed = true;
        return id;
    }
    if (m_matcher.outOfStep() && m_proof == 0) {
        // Nothing goes out on a stream we cannot account for: first a NOOP,
        // whose reply may follow nothing but the late tail of what was given up.
        m_proof = m_matcher.expectProof();
        if (!sendLine(QByteArrayLiteral("NOOP"))) {
            giveUpAll();
        }
    }
    const Id id = m_matcher.expect(mode, expectedSize);
    if (m_proof != 0) {
        m_held.push_back(line);
        m_lastSendFailed = false;
        return id;
    }
    m_lastSendFailed = !sendLine(line);
    if (m_lastSendFailed) {
        giveUpAll();
    }
    return id;
}

// --- commands ---------------------------------------------------------------------

bool aPOP::ConnectByName(const QString &server)
{
    const quint32 start = now();
    setStatusMessage(aPOPText::Connecting);
    m_matcher.clear();
    m_held.clear();
    m_proof = 0;
    m_dropped = false;
    m_timedOut = false;
    m_quitting = false;
    m_securityFailed = false;
    m_capabilities.clear();
    m_lastFailure.clear();
    m_lastErrMessage.clear();
    m_lastCode = ResponseCode::Code::None;
    m_greeting.clear();
    m_server = server;
    // The greeting is the reply to the connection itself, due within the
    // reply time from now.
    const Id greeting = m_matcher.expect(SingleLine);
    m_timeoutBase = start;
    bool ok = !m_aborted && m_transport->connectToHost(server, port(), m_security);
    while (ok && !m_aborted) {
        EventPump::instance().pumpOnce();
        const int state = m_transport->state();
        if (state == Pop3Transport::Connected) {
            setStatusMessage(aPOPText::WaitingForGreeting);
            // A missing or negative greeting does not fail the connect; a
            // missing one leaves the stream to be proved in step.
            waitFor(greeting, qint32(ReplyTimeoutMs));
            if (m_aborted)
                break;
            if (const Reply *g = reply(greeting); g && g->positive)
                m_greeting = g->bytes;
            release(greeting);
            if (m_security == Pop3Transport::Security::StartTls && !startTlsExchange())
                break;
            m_connectionClosed = false;
            m_timeoutBase = now();
            setStatusMessage(aPOPText::Connected);
            return true;
        }
        if (state == Pop3Transport::Error || since(start) > ReplyTimeoutMs)
            ok = false;
    }
    if (m_lastFailure.isEmpty())
        m_lastFailure = aPOPText::ConnectFailed + QStringLiteral(": ") +
                        (m_lastErrMessage.isEmpty() ? Pop3TransportText::TimedOut : m_lastErrMessage);
    setStatusMessage(aPOPText::ConnectFailed);
    m_transport->close();
    // Say why when the reason was the certificate or TLS: the user has to act on it.
    if (m_securityFailed)
        setStatusMessage(m_lastErrMessage);
    return false;
}

bool aPOP::securityFailure(int number, const QString &text)
{
    m_transport->close();
    onError(number, text);
    return false;
}

// STARTTLS (RFC 2595): "STLS", "+OK", then the handshake. Anything else ends
// the connection: going on in plain text would send the password in the clear.
bool aPOP::startTlsExchange()
{
    const Id id = submit(QByteArrayLiteral("STLS"), SingleLine);
    waitFor(id, qint32(ReplyTimeoutMs));
    const Reply *r = reply(id);
    if (!r || r->status != CommandComplete || !r->whole) {
        const QByteArray text = r ? r->bytes.left(80).trimmed() : QByteArray();
        return securityFailure(Pop3Transport::ErrStartTlsRefused,
                               Pop3TransportText::StartTlsRefused + QString::fromLatin1(text));
    }
    release(id);
    // Bytes after the "+OK" were sent before encryption: whatever they say, they
    // must not be read as if they had come over TLS.
    if (!inStep() || !m_transport->startTls()) {
        return securityFailure(Pop3Transport::ErrStartTlsRefused, aPOPText::StartTlsInjected);
    }
    const quint32 start = now();
    while (!m_aborted) {
        EventPump::instance().pumpOnce();
        const int state = m_transport->state();
        if (state == Pop3Transport::Connected && m_transport->encrypted())
            return true;
        if (state == Pop3Transport::Error || state == Pop3Transport::Closed)
            return false;
        if (since(start) > ReplyTimeoutMs)
            return securityFailure(Pop3Transport::ErrTlsHandshake,
                                   Pop3TransportText::TlsFailed + Pop3TransportText::TimedOut);
    }
    return false;
}

bool aPOP::hasCapability(const QString &name) const
{
    for (const QString &c : m_capabilities)
        if (c.section(QLatin1Char(' '), 0, 0).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool aPOP::QUIT()
{
    if (m_dropped || m_matcher.broken() || m_transport->state() != Pop3Transport::Connected) {
        m_lastSendFailed = true;
        return false;
    }
    m_quitting = true;
    (void)submit("QUIT", SingleLine); // its reply is the line closing
    if (m_lastSendFailed)
        return false;
    // A server that keeps the line open after QUIT must not hold the run for ever.
    const quint32 start = now();
    while (!m_connectionClosed) {
        EventPump::instance().pumpOnce();
        const int state = m_transport->state();
        if (state == Pop3Transport::Closed || state == Pop3Transport::Error)
            break;
        if (since(start) > ReplyTimeoutMs)
            return false;
    }
    return true;
}

void aPOP::abort()
{
    m_aborted = true;
    m_matcher.failAll();
    m_held.clear();
    m_proof = 0;
    m_transport->close();
}

void aPOP::Destroy()
{
    m_transport->close();
    m_quitting = false;
}
