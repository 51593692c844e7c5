#pragma once

#include "platform/pop3transport.h"
#include "pop3/replymatcher.h"
#include "pop3/responsecode.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class QTimer;

// Texts the component puts into StatusMessage.
namespace aPOPText {
inline const QString Connecting = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰに接続しています...");
inline const QString WaitingForGreeting = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰの応答を待っています...");
inline const QString Connected = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰに接続しました.");
inline const QString ConnectFailed = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰに接続できませんでした");
inline const QString UserPrefix = QStringLiteral("USER ");
inline const QString PassPrefix = QStringLiteral("PASS ");
inline const QString Ok = QStringLiteral("+OK");
inline const QString LoginFailed = ResponseCodeText::LoginFailed;
inline const QString ConnectionAborted = QStringLiteral("ﾀｲﾑｱｳﾄまたは他の問題によって、接続が中断しました。");
inline const QString ReplyTooLarge = QStringLiteral("受信ﾃﾞｰﾀが上限を超えたため、受信を中止しました。");
inline const QString NoReply = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰから応答がありません");
inline const QString AuthWith = QStringLiteral("認証方式: ");
// under Auto a refused APOP is followed once by USER and PASS
inline const QString ApopFallback = QStringLiteral("APOPが拒否されたため、USER/PASSで認証します");
inline const QString ServerClosed = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰが接続を閉じました。");
// Bytes came with the STLS reply that must be read over TLS or not at all.
inline const QString StartTlsInjected =
    QStringLiteral("STARTTLSの応答の後に余分なﾃﾞｰﾀを受信したため、接続を切断しました");
} // namespace aPOPText

// The POP3 client component: one connection and the commands sent on it.
// Every reply is matched to its command (ReplyMatcher): a command's reply is
// what follows the reply of the command sent before it, never "whatever is in
// the buffer". A reply given up before its end (a time-out, one taken at its
// closing boundary) or bytes nobody asked for put the stream out of step; the
// next command then goes out only after a NOOP has proved the line in step
// again, and a failed proof drops the line (lineBroken()).
//
// One command model: every command goes out through submit() (or one of the
// named commands over it), which returns the command's handle; its reply, its
// status and its bytes are reached through that handle only (reply()), and the
// caller releases the reply when done with it. Commands may stay in flight
// side by side where the server allows pipelining. Everything runs on the one
// thread; socket data and the 200 ms tick arrive only while events are pumped.
class aPOP : public QObject
{
    Q_OBJECT
public:
    using Id = ReplyMatcher::Id;
    using Reply = ReplyMatcher::Reply;

    // The values callers have always compared with.
    static constexpr ::CommandStatus CommandComplete = ::CommandStatus::Complete;
    static constexpr ::CommandStatus CommandWaiting = ::CommandStatus::Waiting;
    static constexpr ::CommandStatus CommandFailed = ::CommandStatus::Failed;
    static constexpr ::ReplyMode SingleLine = ::ReplyMode::SingleLine;
    static constexpr ::ReplyMode MultiLine = ::ReplyMode::MultiLine;

    static constexpr quint32 ReplyTimeoutMs = 60000;
    static constexpr int TickIntervalMs = 200;

    enum class TimerMode {
        StartTimer, // Timer1 ticks every 200 ms on its own
        ManualTick  // tests call timerTick() themselves (e.g. from a pump hook)
    };

    // Production: a TCP/TLS transport and a running Timer1.
    explicit aPOP(QObject *parent = nullptr);
    // Takes ownership of `transport`.
    aPOP(Pop3Transport *transport, TimerMode timerMode, QObject *parent = nullptr);
    ~aPOP() override;

    // --- connection settings (from the account settings) ---
    void setPort(int port);                    // 0: the default of the security mode (110 or 995)
    void setSecurity(const QString &security); // "None", "STARTTLS" or "TLS"
    int port() const;
    QString security() const;

    // --- engine properties ---
    quint32 LastDataArrivalTime() const { return m_lastDataArrival; }
    int WinsockState() const;
    int LastWinsockErrNumber() const { return m_lastErrNumber; }
    QString LastWinsockErrMessage() const { return m_lastErrMessage; }
    bool ConnectionClosed() const { return m_connectionClosed; }

    QString StatusMessage() const { return m_statusMessage; }

    // The reply buffer's upper bound; a reply that passes it fails the command.
    void setMaxReplyBytes(qint64 bytes);

    // Why the last connect, TLS set-up, login or line failed, in the program's
    // words and (where the server gave any) with the server's own text; empty
    // while nothing failed since the last connect.
    QString lastFailure() const { return m_lastFailure; }
    // The response code of the server's refusal of the last login.
    ResponseCode::Code lastResponseCode() const { return m_lastCode; }

    // True when the last transaction command or QUIT could not be sent.
    bool lastSendFailed() const { return m_lastSendFailed; }
    // Every byte so far belongs to a reply of ours (no proof outstanding).
    bool inStep() const { return !m_matcher.outOfStep(); }
    // The stream could not be proved in step again: the line has been closed
    // and no command is sent on it any more.
    bool lineBroken() const { return m_matcher.broken(); }
    // A reply stayed silent past the reply time-out on this connection.
    bool timedOut() const { return m_timedOut; }

    // --- commands ---
    bool ConnectByName(const QString &server);
    // Logs in with the method the auth setting and the server's offer give
    // (AuthChoice); `password` is the password or the OAuth 2.0 access token.
    bool Authorize(const QString &user, const QString &password);
    // "Auto", "User" or a method by name (AuthChoice::settingValues); the
    // component's own default is "User": USER and PASS, without asking CAPA.
    void setAuthMethod(const QString &setting) { m_authSetting = setting; }
    // The method of the last successful login ("USER", "APOP", "SCRAM-SHA-256" ...).
    QString authMethodUsed() const { return m_authUsed; }
    // What the last login did that the activity log should say (the method,
    // a fallback), one line each; never a secret.
    QStringList authNotes() const { return m_authNotes; }
    bool QUIT();
    void Destroy();
    // Ends whatever the component is waiting for at once: the connection is
    // closed, an outstanding command fails, and ConnectByName refuses until
    // clearAbort(). Used when the window closes during a run.
    void abort();
    void clearAbort() { m_aborted = false; }

    // --- commands and their replies ---
    // Sends `line` (without CR LF) and returns its handle; its reply comes
    // after those of the commands sent before. Held back while the line is
    // being proved in step. `expectedSize` (from LIST) reserves the reply's
    // buffer once instead of growing it step by step.
    Id submit(const QByteArray &line, ::ReplyMode mode, qint64 expectedSize = 0);
    // The named commands of a mailbox scan, over submit().
    Id STAT() { return submit("STAT", SingleLine); }
    Id UIDL() { return submit("UIDL", MultiLine); }
    Id LIST() { return submit("LIST", MultiLine); }
    Id TOP_(qint64 n, int lines) { return submit("TOP " + QByteArray::number(n) + ' ' + QByteArray::number(lines), MultiLine); }
    Id RETR(qint64 n, qint64 expectedSize = 0) { return submit("RETR " + QByteArray::number(n), MultiLine, expectedSize); }
    Id DELE(qint64 n) { return submit("DELE " + QByteArray::number(n), SingleLine); }
    // The reply so far (nullptr for an unknown or released handle); status
    // Waiting until it ends. Valid until the handle is released or the next connect.
    const Reply *reply(Id id) const { return m_matcher.find(id); }
    // The caller is done with the reply (a reply still waiting stays accounted for).
    void release(Id id) { m_matcher.release(id); }
    qsizetype commandsInFlight() const { return m_matcher.waitingCount(); }
    // Pumps events until the reply has ended, the line is gone, `limitMs`
    // passed (< 1: the 60 s reply rule only) or `stop` says so.
    void waitFor(Id id, qint32 limitMs = 0, const std::function<bool()> &stop = {});
    // Ends a reply that is still waiting: `keep` takes it as it stands (its
    // end never came), otherwise it fails. Either way the stream is out of
    // step afterwards, and the replies still waiting after it fail.
    void giveUp(Id id, bool keep);

    // --- capabilities (CAPA) ---
    // Authorize asks CAPA first when pipelining is allowed; commands are then
    // kept in flight where the server lists PIPELINING (RFC 2449).
    void setPipeliningAllowed(bool allowed) { m_pipeliningAllowed = allowed; }
    bool pipelining() const { return m_pipeliningAllowed && m_pipeliningOffered; }
    // --- engine operations ---
    // Timer1's handler: times out the outstanding command.
    void timerTick();

signals:
    void StatusChanged();
    void DataReceived();

private:
    // False when the server does not answer CAPA.
    bool Capa();
    bool hasCapability(const QString &name) const;
    // The words after a capability's name ("SASL SCRAM-SHA-1 PLAIN" → its methods).
    QStringList capabilityArguments(const QString &name) const;
    // The greeting's APOP timestamp ("<...@...>"), empty when it has none.
    QByteArray apopTimestamp() const;
    void setStatusMessage(const QString &text);
    void init(TimerMode timerMode);
    void onDataArrived();
    void onClosed();
    void onError(int number, const QString &description);
    void afterFeed();
    void giveUpAll();
    void dropLine();
    bool sendLine(const QByteArray &line);
    bool startTlsExchange();
    bool securityFailure(int number, const QString &text);
    bool lineGone() const;
    void noteFailure(const QString &text);
    void loginRefused(const QString &method, const Reply *r, const QString &why = QString());
    bool userPass(const QString &user, const QString &password, const Reply *&last);
    bool apopLogin(const QString &user, const QString &password, const Reply *&last);
    bool saslLogin(const QString &method, const QString &user, const QString &secret, const Reply *&last,
                   QString &why);
    bool loginStep(Id id, const Reply *&last);
    // The next step of the exchange `id`: sends `line` and waits for its reply again.
    bool continueWith(Id id, const QByteArray &line);

    Pop3Transport *m_transport = nullptr;
    QTimer *m_timer1 = nullptr;

    ReplyMatcher m_matcher;
    Id m_proof = 0;                // the NOOP proving the line in step, while outstanding
    std::deque<QByteArray> m_held; // lines waiting for that proof
    bool m_connectionClosed = false;
    quint32 m_lastDataArrival = 0;
    quint32 m_timeoutBase = 0; // later of the last data arrival and the last command sent
    QString m_statusMessage;
    QString m_lastFailure;
    QString m_server;
    QByteArray m_greeting;
    QString m_authSetting = QStringLiteral("User");
    QString m_authUsed;
    QStringList m_authNotes;
    Id m_exchange = 0;           // the login exchange in progress
    std::vector<Id> m_loginIds; // the login's replies, kept until its failure is told
    ResponseCode::Code m_lastCode = ResponseCode::Code::None;
    int m_lastErrNumber = 0;
    QString m_lastErrMessage;
    bool m_lastSendFailed = false;
    bool m_quitting = false;
    bool m_authorizing = false;
    bool m_aborted = false;
    bool m_dropped = false;
    bool m_timedOut = false;
    bool m_securityFailed = false; // a TLS or certificate failure during the current connect
    int m_port = 0;
    Pop3Transport::Security m_security = Pop3Transport::Security::None;
    QStringList m_capabilities;
    bool m_pipeliningAllowed = false;
    bool m_pipeliningOffered = false;
};
