#pragma once

#include "platform/pop3transport.h"
#include "pop3/messageparser.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

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
inline const QString LoginFailed = QStringLiteral("ログインに失敗しました");
inline const QString ConnectionAborted = QStringLiteral("ﾀｲﾑｱｳﾄまたは他の問題によって、接続が中断しました。");
inline const QString ReplyTooLarge = QStringLiteral("受信ﾃﾞｰﾀが上限を超えたため、受信を中止しました。");
inline const QString ServerClosed = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰが接続を閉じました。");
} // namespace aPOPText

// The POP3 client component: one connection, one reply buffer, one outstanding
// command at a time. Commands either wait themselves (sync) or leave the caller
// to poll CommandStatus() while it pumps events. Everything runs on the one
// thread; socket data and the 200 ms tick arrive only while events are pumped.
class aPOP : public QObject
{
    Q_OBJECT
public:
    // CommandStatus values
    static constexpr int CommandComplete = 0;
    static constexpr int CommandWaiting = 1;
    static constexpr int CommandFailed = 2;
    // ReplyMode values
    static constexpr int SingleLine = 0;
    static constexpr int MultiLine = 1;

    static constexpr quint32 ReplyTimeoutMs = 60000;
    static constexpr int TickIntervalMs = 200;
    static constexpr qint64 DefaultMaxReplyBytes = qint64(512) * 1024 * 1024;

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
    const QByteArray &GetMessage() const { return m_buffer; }
    qint64 ReceiveBytes() const { return m_buffer.size(); }
    int GetCount() const { return m_crCount; } // CR characters = complete lines
    quint32 LastDataArrivalTime() const { return m_lastDataArrival; }
    int WinsockState() const;
    int LastWinsockErrNumber() const { return m_lastErrNumber; }
    QString LastWinsockErrMessage() const { return m_lastErrMessage; }
    bool ConnectionClosed() const { return m_connectionClosed; }
    int ReplyMode() const { return m_replyMode; }

    int CommandStatus() const { return m_commandStatus; }
    void setCommandStatus(int status) { m_commandStatus = status; }

    QString StatusMessage() const { return m_statusMessage; }
    void setStatusMessage(const QString &text);

    // The reply buffer's upper bound; a reply that passes it fails the command.
    void setMaxReplyBytes(qint64 bytes) { m_maxReplyBytes = bytes; }
    qint64 maxReplyBytes() const { return m_maxReplyBytes; }
    // Size the next command's reply is expected to have (from LIST), so the
    // buffer is reserved once instead of grown step by step. Used once.
    void setExpectedSize(qint64 bytes) { m_expectedSize = bytes; }

    // True when the last transaction command or QUIT could not be sent.
    bool lastSendFailed() const { return m_lastSendFailed; }

    // --- commands ---
    bool ConnectByName(const QString &server);
    bool Authorize(const QString &user, const QString &password);
    QByteArray STAT(bool sync = false);
    QByteArray LIST(int n, bool sync = false);
    QByteArray UIDL(int n, bool sync = false);
    QByteArray TOP_(int n, int lines, bool sync = false);
    QByteArray RETR(int n, bool sync = false);
    QByteArray DELE(int n, bool sync = false);
    QByteArray RSET_(bool sync = false);
    bool QUIT();
    void Destroy();
    // Ends whatever the component is waiting for at once: the connection is
    // closed, an outstanding command fails, and ConnectByName refuses until
    // clearAbort(). Used when the window closes during a run.
    void abort();
    void clearAbort() { m_aborted = false; }
    bool aborted() const { return m_aborted; }

    // --- engine operations ---
    // Waits (pumping events) until `expected` occurs in the reply buffer; false on
    // a "-ERR" reply, a socket error or close, or after `limitMs` (< 1: no limit).
    bool WaitForResponse(const QByteArray &expected, qint32 limitMs);
    // True when `text` holds exactly one CR LF pair.
    static bool IsSingleLine(QByteArrayView text);

    // Timer1's handler: completes or times out the outstanding command.
    void timerTick();

    // --- message parsing, attachment, backup log (apop_message.cpp) ---
    bool MakeData();
    bool MakeDataEx(const QByteArray &text);
    QDateTime GetDate() const;
    QString GetFrom() const;
    QString GetTo() const;
    QString GetSubject() const;
    QString GetBody() const;
    QString GetFileName() const;
    bool TransferToFile(const QString &path);
    QString TransferToFileErrorMessage() const;
    bool BoundComplete() const;
    bool WriteLog(const QString &folder);
    MessageParser &parser();

signals:
    void StatusChanged();
    void DataReceived();

private:
    void init(TimerMode timerMode);
    void onDataArrived();
    void onClosed();
    void onError(int number, const QString &description);
    void clearBuffer();
    void appendReply(const QByteArray &chunk);
    void checkCompletion();
    QByteArray sendCommand(const QByteArray &line, int replyMode, bool sync, bool failOnSendError);
    void waitWhileCommandWaiting();
    void failCommand();

    Pop3Transport *m_transport = nullptr;
    QTimer *m_timer1 = nullptr;

    QByteArray m_buffer;
    qsizetype m_firstCrlf = -1;   // position of the first CR LF in the buffer, -1 while none
    qsizetype m_searchedUpTo = 0; // WaitForResponse has looked at the buffer up to here
    int m_crCount = 0;
    bool m_connectionClosed = false;
    int m_commandStatus = CommandComplete;
    quint32 m_lastDataArrival = 0;
    quint32 m_timeoutBase = 0; // later of the last data arrival and the last command sent
    QString m_statusMessage;
    int m_lastErrNumber = 0;
    QString m_lastErrMessage;
    int m_replyMode = SingleLine;
    bool m_lastSendFailed = false;
    bool m_quitting = false;
    bool m_aborted = false;
    bool m_overflowed = false;
    bool m_securityFailed = false; // a TLS or certificate failure during the current connect
    qint64 m_maxReplyBytes = DefaultMaxReplyBytes;
    qint64 m_expectedSize = 0;
    int m_port = 0;
    Pop3Transport::Security m_security = Pop3Transport::Security::None;

    // Results of the last parse and the last attachment transfer.
    MessageParser m_parsed;
    QString m_transferError;
};
