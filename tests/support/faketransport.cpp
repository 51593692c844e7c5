#include "faketransport.h"

#include "fakeeventpump.h"

#include <QPointer>

FakeTransport::FakeTransport(FakeEventPump &pump, QObject *parent) : Pop3Transport(parent)
{
    // The pump outlives many transports in one test; a dead transport's hook does nothing.
    QPointer<FakeTransport> self(this);
    pump.addHook([self] {
        if (self)
            self->deliverNext();
    });
}

void FakeTransport::server(const QByteArray &bytes, int chunkSize)
{
    if (chunkSize <= 0)
        chunkSize = int(qMax<qsizetype>(bytes.size(), 1));
    for (qsizetype i = 0; i < bytes.size(); i += chunkSize)
        m_steps.push_back(Step::make(Step::Data, bytes.mid(i, chunkSize)));
}

void FakeTransport::serverClose()
{
    m_steps.push_back(Step::make(Step::Close, QByteArray()));
}

void FakeTransport::serverError(int number, const QString &description, int newState)
{
    Step step = Step::make(Step::Fail);
    step.number = number;
    step.text = description;
    step.bytes = QByteArray::number(newState);
    m_steps.push_back(step);
}

void FakeTransport::pause(int pumps)
{
    for (int i = 0; i < pumps; ++i)
        m_steps.push_back(Step::make(Step::Pause, QByteArray()));
}

void FakeTransport::expect(const QByteArray &line)
{
    m_steps.push_back(Step::make(Step::Expect, line));
}

void FakeTransport::respond(const QByteArray &line, const QByteArray &reply)
{
    respond(line, [reply](FakeTransport &t, const QByteArray &) { t.server(reply); });
}

void FakeTransport::respondThenClose(const QByteArray &line, const QByteArray &reply)
{
    respond(line, [reply](FakeTransport &t, const QByteArray &) {
        t.server(reply);
        t.serverClose();
    });
}

void FakeTransport::respond(const QByteArray &line, Handler handler)
{
    m_replies[line].append(std::move(handler));
}

QList<QByteArray> FakeTransport::unexpected() const
{
    return m_unexpected + m_unclaimed;
}

QByteArray FakeTransport::takeWritten()
{
    QByteArray out;
    out.swap(m_written);
    return out;
}

bool FakeTransport::connectToHost(const QString &host, int port, Security security)
{
    if (m_state != Closed)
        return false;
    ++m_connectCount;
    m_host = host;
    m_port = port;
    m_security = security;
    m_encrypted = security == Security::Tls;
    m_state = Resolving;
    auto setState = [this](int state) {
        Step step = Step::make(Step::SetState);
        step.number = state;
        m_steps.push_back(step);
    };
    setState(Resolved);
    setState(Connecting);
    if (m_connectHangs)
        return true;
    if (m_connectError != 0) {
        serverError(m_connectError, m_connectErrorText);
        return true;
    }
    setState(Connected);
    if (!m_greeting.isEmpty())
        server(m_greeting);
    return true;
}

// The handshake takes one pump; unread server bytes refuse it, as on a socket.
bool FakeTransport::startTls()
{
    ++m_startTlsCount;
    if (m_security != Security::StartTls || m_state != Connected || m_encrypted || !m_inbox.isEmpty())
        return false;
    m_state = Connecting;
    Step step = Step::make(Step::SetState);
    step.number = Connected;
    m_steps.push_front(step);
    m_encrypted = true;
    return true;
}

bool FakeTransport::send(const QByteArray &bytes)
{
    if (m_state != Connected || m_sendFails)
        return false;
    m_written += bytes;
    m_partialLine += bytes;
    qsizetype end;
    while ((end = m_partialLine.indexOf("\r\n")) >= 0) {
        const QByteArray line = m_partialLine.left(end);
        m_partialLine.remove(0, end + 2);
        lineWritten(line);
    }
    return true;
}

void FakeTransport::lineWritten(const QByteArray &line)
{
    m_lines.append(line);
    const auto it = m_replies.constFind(line);
    if (it != m_replies.constEnd()) {
        int &use = m_replyUse[line];
        const Handler handler = it->at(qMin<qsizetype>(use, it->size() - 1));
        ++use;
        handler(*this, line);
        return;
    }
    if (m_fallback) {
        m_fallback(*this, line);
        return;
    }
    m_unclaimed.append(line); // for an expect step
}

void FakeTransport::close()
{
    ++m_closeCount;
    m_state = Closed;
    // Bytes still scripted for the old connection are dropped as they come due.
    m_inbox.clear();
    m_partialLine.clear();
}

QByteArray FakeTransport::readAll()
{
    QByteArray out;
    out.swap(m_inbox);
    return out;
}

void FakeTransport::deliverNext()
{
    if (m_steps.empty())
        return;
    Step &front = m_steps.front();
    if (front.kind == Step::Expect) {
        if (m_unclaimed.isEmpty())
            return; // the client has not written its next line yet
        const QByteArray got = m_unclaimed.takeFirst();
        if (got != front.bytes)
            m_unexpected.append(got);
        m_steps.pop_front();
        deliverNext(); // the expect step costs no pump of its own
        return;
    }
    const Step step = front;
    m_steps.pop_front();
    switch (step.kind) {
    case Step::Data:
        if (m_state != Connected && m_state != PeerClosing)
            return;
        m_inbox += step.bytes;
        emit dataArrived();
        break;
    case Step::Close:
        if (m_state == Closed)
            return;
        m_state = Closed;
        emit closed();
        break;
    case Step::Fail:
        m_state = step.bytes.toInt();
        emit errorOccurred(step.number, step.text);
        break;
    case Step::SetState:
        if (m_state != Closed)
            m_state = step.number;
        break;
    case Step::Pause:
    case Step::Expect:
        break;
    }
}
