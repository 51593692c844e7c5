#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

// The replies to STAT, UIDL and LIST read into tables, with every check the
// mailbox's numbers must pass before a run believes them. No I/O: the reply's
// bytes in, a table out.
namespace MailboxListing {

// Message counts and sizes beyond these are not believed.
inline constexpr qint64 MaxMessages = 1000000;
inline constexpr qint64 MaxMessageSize = qint64(512) * 1024 * 1024;

// A number as RFC 1939 writes it: decimal digits only. -1 when the text is
// not such a number or exceeds `max`.
qint64 plainNumber(QByteArrayView text, qint64 max);

// "+OK count size", each a plain number; text after the size is allowed.
struct Stat {
    qint64 count = -1;
    qint64 size = -1;
    bool valid() const { return count >= 0 && size >= 0; }
};
Stat parseStat(QByteArrayView reply);

// The unique ids by message number ([0] unused), as many as the highest number
// listed within `count`: the table follows what arrived, not what STAT claimed.
// An id that is missing, malformed (1 to 70 characters from 0x21 to 0x7E),
// listed twice, or equal to another without regard to case is left empty:
// that message is unusable.
std::vector<QString> parseUidl(const QByteArray &reply, qint64 count);

// The sizes of messages 1 to `highest` ([0] unused; 0 where not listed).
struct Sizes {
    std::vector<qint64> size;
    // Messages whose lines were malformed or duplicated, in the order met.
    std::vector<qint64> unusable;
};
Sizes parseList(const QByteArray &reply, qint64 highest);

} // namespace MailboxListing
