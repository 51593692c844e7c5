#pragma once

#include "fakeeventpump.h"
#include "platform/pop3transport.h"

#include <QHash>
#include <QList>
#include <deque>
#include <functional>

class FakeEventPump;

// A scripted POP3 server for tests. Nothing happens between pumps: every
// FakeEventPump::pumpOnce() delivers at most one scripted step (a state change
// while connecting, one chunk of server bytes, a close, an error), so with the
// pump's fake clock a 60 s silence costs 300 pumps and no real time.
//
// Two ways to script a conversation, which can be mixed:
// - a queue of steps: expect("USER bob"); server("+OK\r\n"); ... An expect step
//   holds the queue until the client has written that line;
// - replies by line: respond("STAT", "+OK 2 320\r\n"); every time the client
//   writes the line the reply is queued. A fallback handles other lines.
class FakeTransport : public Pop3Transport
{
    Q_OBJECT
public:
    // Registers a delivery hook on `pump`; add hooks that must see the delivered
    // data (the component's timerTick) after constructing the transport.
    explicit FakeTransport(FakeEventPump &pump, QObject *parent = nullptr);

    // How connectToHost() ends. By default it goes through resolving, resolved
    // and connecting (one pump each) to connected.
    void connectSucceeds() { m_connectError = 0; }
    void connectFails(int number, const QString &description)
    {
        m_connectError = number;
        m_connectErrorText = description;
    }
    // Stays "connecting" until the test scripts otherwise.
    void connectHangs(bool hangs = true) { m_connectHangs = hangs; }
    // Queued right after the connection is up.
    void setGreeting(const QByteArray &greeting) { m_greeting = greeting; }

    // --- steps, delivered one per pump in order ---
    // Server bytes, in pieces of `chunkSize` bytes (0: in one piece).
    void server(const QByteArray &bytes, int chunkSize = 0);
    void serverClose();
    // An error notification; the state becomes `newState` (9 unless told).
    void serverError(int number, const QString &description, int newState = Error);
    // Lets `pumps` pumps pass without delivering anything.
    void pause(int pumps);
    // Holds the queue until the client has written `line` (without CR LF).
    void expect(const QByteArray &line);

    // --- replies by client line ---
    // Several replies for one line are used in turn; the last one repeats.
    void respond(const QByteArray &line, const QByteArray &reply);
    void respondThenClose(const QByteArray &line, const QByteArray &reply);
    using Handler = std::function<void(FakeTransport &transport, const QByteArray &line)>;
    void respond(const QByteArray &line, Handler handler);
    // Lines nobody scripted; without a fallback they are recorded as unexpected.
    void setFallback(Handler handler) { m_fallback = std::move(handler); }

    // --- what the client did ---
    QByteArray client() const { return m_written; }
    QByteArray takeWritten();
    QList<QByteArray> clientLines() const { return m_lines; }
    // Lines that an expect step saw instead of the one it expected, and lines
    // that no reply, fallback or expect step has taken.
    QList<QByteArray> unexpected() const;
    bool scriptDone() const { return m_steps.empty(); }
    int connectCount() const { return m_connectCount; }
    int closeCount() const { return m_closeCount; }
    QString lastHost() const { return m_host; }
    int lastPort() const { return m_port; }
    Security lastSecurity() const { return m_security; }
    // Makes send() fail although the state says connected.
    void setSendFails(bool fails) { m_sendFails = fails; }

    // Pop3Transport
    bool connectToHost(const QString &host, int port, Security security) override;
    bool send(const QByteArray &bytes) override;
    void close() override;
    int state() const override { return m_state; }
    QByteArray readAll() override;
    bool startTls() override;
    bool encrypted() const override { return m_encrypted; }
    // STARTTLS: how many times the component asked for the handshake.
    int startTlsCount() const { return m_startTlsCount; }

private:
    struct Step {
        enum Kind { Data, Close, Fail, Pause, Expect, SetState } kind = Pause;
        QByteArray bytes;
        int number = 0;
        QString text;
        static Step make(Kind kind, const QByteArray &bytes = QByteArray())
        {
            Step step;
            step.kind = kind;
            step.bytes = bytes;
            return step;
        }
    };
    void deliverNext();
    void lineWritten(const QByteArray &line);

    std::deque<Step> m_steps;
    int m_state = Closed;
    QByteArray m_inbox;
    QByteArray m_written;
    QByteArray m_partialLine;
    QList<QByteArray> m_lines;
    QList<QByteArray> m_unclaimed; // lines no reply took, waiting for expect steps
    QList<QByteArray> m_unexpected;
    QHash<QByteArray, QList<Handler>> m_replies;
    QHash<QByteArray, int> m_replyUse;
    Handler m_fallback;
    QByteArray m_greeting;
    int m_connectError = 0;
    QString m_connectErrorText;
    bool m_connectHangs = false;
    bool m_sendFails = false;
    int m_connectCount = 0;
    int m_startTlsCount = 0;
    bool m_encrypted = false;
    int m_closeCount = 0;
    QString m_host;
    int m_port = 0;
    Security m_security = Security::None;
};
