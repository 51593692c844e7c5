#pragma once

#include "pop3/replymatcher.h"

#include <QByteArray>

#include <deque>
#include <functional>
#include <map>

// The commands sent ahead of the scan while the server keeps several in
// flight: the TOPs of the coming messages, and the RETR of each whose TOP
// shows a wanted data file. What is in flight is bounded by the bytes the
// replies really hold: a reply that has ended counts its own bytes, a coming
// one the size LIST gave its message (or what already arrived, if more).
class Lookahead
{
public:
    using Id = ReplyMatcher::Id;
    using Reply = ReplyMatcher::Reply;
    static constexpr qint64 DefaultBudget = qint64(8) * 1024 * 1024;

    // How commands reach the line, and what a TOP reply leads to.
    struct Line {
        std::function<Id(const QByteArray &command, ReplyMode mode, qint64 expectedSize)> submit;
        std::function<const Reply *(Id)> reply;
        std::function<bool(const QByteArray &top)> wanted;
        std::function<void(Id)> release; // optional: a reply nobody will read any more
    };

    explicit Lookahead(Line line, qint64 budget = DefaultBudget);

    // A message the scan will examine, in the order it will: its number and LIST size.
    void plan(qint64 n, qint64 size);
    // Sends what may go ahead now.
    void fill();
    // The TOP / RETR of message n: the one sent ahead, or one sent now.
    Id top(qint64 n);
    Id retr(qint64 n);
    // The scan is done with message n: its replies count no more, and one
    // sent ahead that the scan never asked for is released.
    void done(qint64 n);
    // Bytes held by the replies sent ahead.
    qint64 held() const;

private:
    struct Ahead {
        qint64 size = 0;
        Id top = 0;
        Id retr = 0;
    };
    qint64 heldBy(Id id, qint64 size) const;

    Line m_line;
    qint64 m_budget;
    std::map<qint64, Ahead> m_ahead;  // planned messages not done yet, by number
    std::deque<qint64> m_planned;     // planned messages whose TOP is not sent
    std::deque<qint64> m_unlooked;    // sent TOPs whose reply was not looked at
};
