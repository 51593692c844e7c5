#include "pop3/apop.h"

#include "core/cp932.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/qtpop3transport.h"

#include <QTimer>

#include <cstring>

namespace {
const QByteArray Crlf("\r\n");
const QByteArray MultiLineEnd("\r\n.\r\n");
const QByteArray OkSpace("+OK ");
const QByteArray OkBare("+OK\r\n");
const QByteArray Err("-ERR");

quint32 now()
{
    return Clock::instance().tickCount();
}

quint32 since(quint32 start)
{
    return Clock::elapsed(start, now());
}

// CR characters in a chunk. memchr jumps over the line between two of them in a
// few wide steps; QByteArray::count(char) looks at every byte in turn, which was
// a quarter of the CPU time of a large retrieval.
int countCr(const QByteArray &chunk)
{
    int n = 0;
    const char *p = chunk.constData();
    const char *const end = p + chunk.size();
    while ((p = static_cast<const char *>(std::memchr(p, '\r', static_cast<size_t>(end - p)))) != nullptr) {
        ++n;
        ++p;
    }
    return n;
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

// --- reply buffer -----------------------------------------------------------

void aPOP::clearBuffer()
{
    m_buffer = QByteArray();
    m_firstCrlf = -1;
    m_searchedUpTo = 0;
    m_crCount = 0;
    m_overflowed = false;
    if (m_expectedSize > 0) {
        // A little over the announced size: the terminator and dot-stuffing.
        m_buffer.reserve(qsizetype(qMin(m_expectedSize + m_expectedSize / 64 + 1024, m_maxReplyBytes)));
        m_expectedSize = 0;
    }
}

void aPOP::appendReply(const QByteArray &chunk)
{
    const qsizetype oldSize = m_buffer.size();
    m_buffer.append(chunk);
    m_crCount += countCr(chunk);
    if (m_firstCrlf < 0) {
        // A CR at the end of the previous chunk may pair with an LF at the start of this one.
        m_firstCrlf = m_buffer.indexOf(Crlf, qMax<qsizetype>(0, oldSize - 1));
    }
}

void aPOP::onDataArrived()
{
    const QByteArray chunk = m_transport->readAll();
    if (chunk.isEmpty())
        return;
    if (m_overflowed)
        return; // the rest of an abandoned reply
    if (m_buffer.size() + chunk.size() > m_maxReplyBytes) {
        // The stream cannot be put back in step with the commands, so the
        // connection goes as well; what arrived up to the bound stays readable.
        m_overflowed = true;
        m_lastDataArrival = now();
        m_commandStatus = CommandFailed;
        m_transport->close();
        setStatusMessage(aPOPText::ReplyTooLarge);
        return;
    }
    appendReply(chunk);
    m_lastDataArrival = now();
    m_timeoutBase = m_lastDataArrival;
    if (m_commandStatus == CommandWaiting)
        checkCompletion();
    emit DataReceived();
}

// Looks only at the ends of the buffer and the remembered first CR LF, so the
// cost does not grow with the reply.
void aPOP::checkCompletion()
{
    const qsizetype size = m_buffer.size();
    if (m_replyMode == SingleLine) {
        const bool oneLine = m_buffer.endsWith(Crlf) && m_firstCrlf == size - 2;
        if (!oneLine)
            return;
        if (m_buffer.startsWith(OkSpace) || m_buffer == OkBare)
            m_commandStatus = CommandComplete;
        else if (m_buffer.startsWith(Err))
            m_commandStatus = CommandFailed;
        return;
    }
    if (m_buffer.endsWith(MultiLineEnd)) {
        m_commandStatus = CommandComplete;
        return;
    }
    // A multi-line command refused: the status line is the whole answer.
    if (m_firstCrlf >= 0 && m_buffer.startsWith(Err))
        m_commandStatus = CommandFailed;
}

void aPOP::timerTick()
{
    if (m_commandStatus != CommandWaiting)
        return;
    checkCompletion();
    if (m_commandStatus == CommandWaiting && since(m_timeoutBase) > ReplyTimeoutMs)
        m_commandStatus = CommandFailed;
}

bool aPOP::IsSingleLine(QByteArrayView text)
{
    const qsizetype first = text.indexOf(QByteArrayView(Crlf));
    if (first < 0)
        return false;
    return text.indexOf(QByteArrayView(Crlf), first + 2) < 0;
}

// --- socket events ------------------------------------------------------------

void aPOP::onClosed()
{
    m_connectionClosed = true;
    // A server that goes away in the middle of a reply will not finish it.
    if (m_commandStatus == CommandWaiting && !m_quitting) {
        checkCompletion();
        if (m_commandStatus == CommandWaiting)
            onError(Pop3Transport::ErrConnectionAborted, aPOPText::ServerClosed);
    }
}

void aPOP::onError(int number, const QString &description)
{
    if (number == Pop3Transport::ErrTimedOut)
        setStatusMessage(description);
    if (number == Pop3Transport::ErrConnectionAborted) {
        setStatusMessage(aPOPText::ConnectionAborted);
        m_commandStatus = CommandFailed;
    }
    if (Pop3Transport::isSecurityError(number)) {
        m_securityFailed = true;
        setStatusMessage(description);
    }
    m_lastErrMessage = description;
    m_lastErrNumber = number;
}

// --- waiting --------------------------------------------------------------------

bool aPOP::WaitForResponse(const QByteArray &expected, qint32 limitMs)
{
    const quint32 start = now();
    for (;;) {
        EventPump::instance().pumpOnce();
        // Only the part not looked at before (plus an overlap for a match that
        // straddles two chunks) is searched.
        const qsizetype from = qMax<qsizetype>(0, m_searchedUpTo - expected.size() + 1);
        if (m_buffer.indexOf(expected, from) >= 0)
            return true;
        m_searchedUpTo = m_buffer.size();
        if (m_buffer.startsWith(Err))
            return false;
        const int state = m_transport->state();
        if (state == Pop3Transport::Error || state == Pop3Transport::Closed)
            return false;
        if (limitMs >= 1 && since(start) > quint32(limitMs))
            return false;
    }
}

void aPOP::waitWhileCommandWaiting()
{
    while (m_commandStatus == CommandWaiting)
        EventPump::instance().pumpOnce();
}

// --- commands ---------------------------------------------------------------------

bool aPOP::ConnectByName(const QString &server)
{
    const quint32 start = now();
    setStatusMessage(aPOPText::Connecting);
    clearBuffer();
    m_quitting = false;
    m_securityFailed = false;
    bool ok = !m_aborted && m_transport->connectToHost(server, port(), m_security);
    while (ok && !m_aborted) {
        EventPump::instance().pumpOnce();
        const int state = m_transport->state();
        if (state == Pop3Transport::Connected) {
            setStatusMessage(aPOPText::WaitingForGreeting);
            WaitForResponse(QByteArrayLiteral("+OK"), qint32(ReplyTimeoutMs));
            if (m_aborted)
                break;
            m_connectionClosed = false;
            m_timeoutBase = now();
            setStatusMessage(aPOPText::Connected);
            return true;
        }
        if (state == Pop3Transport::Error || since(start) > ReplyTimeoutMs)
            ok = false;
    }
    setStatusMessage(aPOPText::ConnectFailed);
    m_transport->close();
    // Say why when the reason was the certificate or TLS: the user has to act on it.
    if (m_securityFailed)
        setStatusMessage(m_lastErrMessage);
    return false;
}

bool aPOP::Authorize(const QString &user, const QString &password)
{
    const QByteArray ok("+OK");
    setStatusMessage(aPOPText::UserPrefix + user);
    clearBuffer();
    bool accepted =
        m_transport->send("USER " + Cp932::encode(user) + Crlf) && WaitForResponse(ok, qint32(ReplyTimeoutMs));
    if (accepted) {
        setStatusMessage(aPOPText::Ok);
        clearBuffer();
        setStatusMessage(aPOPText::PassPrefix + QString(password.size(), QLatin1Char('*')));
        accepted =
            m_transport->send("PASS " + Cp932::encode(password) + Crlf) && WaitForResponse(ok, qint32(ReplyTimeoutMs));
    }
    if (!accepted) {
        setStatusMessage(aPOPText::LoginFailed);
        m_transport->close();
        return false;
    }
    setStatusMessage(aPOPText::Ok);
    return true;
}

QByteArray aPOP::sendCommand(const QByteArray &line, int replyMode, bool sync, bool failOnSendError)
{
    clearBuffer();
    m_commandStatus = CommandWaiting;
    m_replyMode = replyMode;
    m_timeoutBase = now();
    m_lastSendFailed = !m_transport->send(line + Crlf);
    if (m_lastSendFailed) {
        if (failOnSendError)
            m_commandStatus = CommandFailed;
        return QByteArray();
    }
    if (!sync)
        return QByteArray();
    waitWhileCommandWaiting();
    return m_buffer;
}

QByteArray aPOP::STAT(bool sync)
{
    return sendCommand("STAT", SingleLine, sync, false);
}

QByteArray aPOP::LIST(int n, bool sync)
{
    if (n == 0)
        return sendCommand("LIST", MultiLine, sync, false);
    return sendCommand("LIST " + QByteArray::number(n), SingleLine, sync, false);
}

QByteArray aPOP::UIDL(int n, bool sync)
{
    if (n == 0)
        return sendCommand("UIDL", MultiLine, sync, false);
    return sendCommand("UIDL " + QByteArray::number(n), SingleLine, sync, false);
}

QByteArray aPOP::TOP_(int n, int lines, bool sync)
{
    return sendCommand("TOP " + QByteArray::number(n) + ' ' + QByteArray::number(lines), MultiLine, sync, true);
}

QByteArray aPOP::RETR(int n, bool sync)
{
    return sendCommand("RETR " + QByteArray::number(n), MultiLine, sync, false);
}

QByteArray aPOP::DELE(int n, bool sync)
{
    return sendCommand("DELE " + QByteArray::number(n), SingleLine, sync, false);
}

QByteArray aPOP::RSET_(bool sync)
{
    return sendCommand("RSET", SingleLine, sync, false);
}

bool aPOP::QUIT()
{
    clearBuffer();
    m_replyMode = SingleLine;
    m_quitting = true;
    m_lastSendFailed = !m_transport->send(QByteArrayLiteral("QUIT\r\n"));
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
    if (m_commandStatus == CommandWaiting)
        m_commandStatus = CommandFailed;
    m_transport->close();
}

void aPOP::Destroy()
{
    m_transport->close();
    m_quitting = false;
}
