#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <deque>
#include <unordered_map>

// How a command stands (the numbers are the ones callers have always tested).
enum class CommandStatus { Complete = 0, Waiting = 1, Failed = 2 };

// How a reply ends: at its status line, or (after "+OK") at its own "." line.
// A step of a SASL exchange (RFC 5034) ends at its status line too, which may
// also be a continuation: "+ " and the server's challenge.
enum class ReplyMode { SingleLine = 0, MultiLine = 1, Continuation = 2 };

// Splits the byte stream from a POP3 server into the replies of the commands
// that were sent, in order. Each reply belongs to the oldest command still
// waiting: it must begin with "+OK" or "-ERR"; a multi-line reply ends only at
// its own terminator line. Anything that cannot be accounted for this way
// (bytes nobody asked for, a reply without a status indicator, a reply given
// up before its end) puts the stream out of step: from then on the bytes are
// not given to any command until a proof reply (see expectProof) shows that
// only the late tail of the earlier reply came before it.
//
// No I/O here: the component feeds what the socket delivered. The cost of a
// chunk is proportional to the chunk, however long the reply grows.
class ReplyMatcher
{
public:
    using Id = quint64;

    struct Reply {
        QByteArray bytes; // status line, then (multi-line) the rest with its terminator
        CommandStatus status = CommandStatus::Waiting;
        bool positive = false; // began with "+OK"
        bool whole = false;    // ended at its own end (not given up, not cut)
        int crCount = 0;       // CR characters in bytes
        // Bytes that were no reply of ours came right after it: it may have
        // ended early (a lone "." inside a mail the server did not dot-stuff).
        bool trailed = false;
        bool continuation = false; // a "+ " line: the exchange goes on (ReplyMode::Continuation)
        // Answered, whole, with "-ERR": a refusal is an answer, not a broken line.
        bool refused() const { return whole && !positive; }
    };

    // A command was sent (or is about to be): its reply comes after those of
    // the commands sent before. `reserve` is the expected size, if known.
    Id expect(ReplyMode mode, qint64 reserve = 0);
    // The proof that the stream is in step again: the reply of a NOOP, which
    // may follow nothing but line ends and one terminator line (the late tail
    // of a reply given up before its end). Its success puts the stream in step.
    Id expectProof();

    // A command that is not sent: its reply has failed already, and nothing
    // waits for it.
    Id notSent();
    // The next step of an exchange whose last step ended in a continuation:
    // `id` waits again for a reply, which may only follow nothing. False when
    // anything else is waiting or the stream is out of step.
    bool expectAgain(Id id);

    // Bytes from the server, in arrival order.
    void feed(QByteArrayView bytes);

    // The oldest waiting reply ends now: kept as it stands (`accept`) or failed.
    // The stream is out of step afterwards; every later waiting reply fails.
    void giveUpOldest(bool accept);
    // Every waiting reply fails (time-out, connection gone); out of step.
    void failAll();

    const Reply *find(Id id) const;
    // Forgets a reply (the caller has read it).
    void release(Id id);
    void clear();

    bool waiting() const { return !m_queue.empty(); }
    qsizetype waitingCount() const { return qsizetype(m_queue.size()); }
    Id oldestWaiting() const { return m_queue.empty() ? 0 : m_queue.front(); }
    bool outOfStep() const { return m_outOfStep; }
    // A proof reply that failed, or bytes that cannot be a reply at all after
    // a proof was asked for: nothing on this line can be trusted any more.
    bool broken() const { return m_broken; }
    void setMaxReplyBytes(qint64 bytes) { m_maxReplyBytes = bytes; }
    // The last reply grew past the bound (it failed; the line is broken).
    bool overflowed() const { return m_overflowed; }

    // A status line longer than this is not a status line.
    static constexpr qsizetype MaxStatusLine = 4096;

private:
    struct Pending {
        Reply reply;
        ReplyMode mode = ReplyMode::SingleLine;
        bool proof = false;
        int tailState = 0;        // proof: where in the allowed tail we are
        qsizetype statusEnd = -1; // just after the status line's CR LF
    };
    qsizetype feedOldest(const char *data, qsizetype size);
    qsizetype skipTail(Pending &p, const char *data, qsizetype size);
    void finish(Pending &p, CommandStatus status, bool whole);
    bool overflows(Pending &p, qsizetype more);
    void markBroken();
    void markLastTrailed();
    Id add(ReplyMode mode, bool proof, qint64 reserve);

    std::unordered_map<Id, Pending> m_replies;
    std::deque<Id> m_queue; // waiting, oldest first
    Id m_nextId = 1;
    Id m_lastWhole = 0; // the reply that ended last at its own end
    bool m_outOfStep = false;
    bool m_broken = false;
    bool m_overflowed = false;
    qint64 m_maxReplyBytes = qint64(512) * 1024 * 1024;
};
