#include "pop3/mailboxlisting.h"

#include <QHash>

#include <limits>

namespace MailboxListing {
namespace {

// A unique id: 1 to 70 characters from 0x21 to 0x7E.
bool validUid(QByteArrayView uid)
{
    if (uid.isEmpty() || uid.size() > 70)
        return false;
    for (char c : uid)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

QByteArrayView trimBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && text.front() == ' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);
    return text;
}

QByteArrayView firstWord(QByteArrayView text)
{
    const qsizetype blank = text.indexOf(' ');
    return text.first(blank < 0 ? text.size() : blank);
}

// The lines of a multi-line listing between its status line and its "." line,
// each as "number" and "rest": calls `line` for every line that starts with a digit.
template <typename F> void forEachLine(const QByteArray &reply, F line)
{
    qsizetype pos = reply.indexOf('\n');
    while (pos >= 0 && pos + 1 < reply.size()) {
        const qsizetype start = pos + 1;
        qsizetype end = reply.indexOf('\n', start);
        if (end < 0)
            end = reply.size();
        QByteArrayView text(reply.constData() + start, end - start);
        if (text.endsWith('\r'))
            text.chop(1);
        pos = end < reply.size() ? end : -1;
        if (text.isEmpty() || text.front() < '0' || text.front() > '9')
            continue;
        const qsizetype blank = text.indexOf(' ');
        line(text.first(blank < 0 ? text.size() : blank), blank < 0 ? QByteArrayView() : text.sliced(blank + 1));
    }
}

} // namespace

qint64 plainNumber(QByteArrayView text, qint64 max)
{
    if (text.isEmpty() || text.size() > 19)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > max)
            return -1;
    }
    return value;
}

Stat parseStat(QByteArrayView reply)
{
    Stat stat;
    QByteArrayView line = reply;
    if (line.endsWith("\r\n"))
        line.chop(2);
    if (!line.startsWith("+OK "))
        return stat;
    const QByteArrayView text = line.sliced(4);
    stat.count = plainNumber(firstWord(text), MaxMessages);
    const qsizetype blank = text.indexOf(' ');
    if (blank >= 0)
        stat.size = plainNumber(firstWord(text.sliced(blank + 1)), std::numeric_limits<qint64>::max() / 16);
    return stat;
}

std::vector<QString> parseUidl(const QByteArray &reply, qint64 count)
{
    struct Line {
        qint64 n;
        QByteArrayView uid;
    };
    std::vector<Line> lines;
    qint64 highest = 0;
    forEachLine(reply, [&](QByteArrayView number, QByteArrayView rest) {
        const qint64 n = plainNumber(number, count);
        if (n < 1)
            return;
        lines.push_back({n, trimBlanks(rest)});
        highest = qMax(highest, n);
    });
    std::vector<QString> uids(std::size_t(highest) + 1);
    std::vector<bool> unusable(uids.size(), false);
    // The read list knows ids without regard to case: two that differ only in
    // case would share one record.
    QHash<QByteArray, qint64> seen;
    for (const Line &l : lines) {
        const std::size_t n = std::size_t(l.n);
        if (!uids[n].isEmpty() || unusable[n] || !validUid(l.uid)) {
            unusable[n] = true; // listed twice, or not an id
            continue;
        }
        uids[n] = QString::fromLatin1(l.uid);
        const QByteArray key = l.uid.toByteArray().toLower();
        const auto other = seen.constFind(key);
        if (other != seen.constEnd()) {
            unusable[n] = true;
            unusable[std::size_t(*other)] = true;
        } else {
            seen.insert(key, l.n);
        }
    }
    for (std::size_t n = 1; n < uids.size(); ++n)
        if (unusable[n])
            uids[n].clear();
    return uids;
}

Sizes parseList(const QByteArray &reply, qint64 highest)
{
    Sizes sizes;
    sizes.size.assign(std::size_t(qMax<qint64>(highest, 0)) + 1, 0);
    std::vector<bool> listed(sizes.size.size(), false), marked(sizes.size.size(), false);
    forEachLine(reply, [&](QByteArrayView number, QByteArrayView rest) {
        const qint64 n = plainNumber(number, highest);
        if (n < 1)
            return;
        const std::size_t k = std::size_t(n);
        const qint64 size = plainNumber(trimBlanks(rest), MaxMessageSize);
        if (listed[k] || size < 0) {
            if (!marked[k])
                sizes.unusable.push_back(n);
            marked[k] = true;
            return;
        }
        listed[k] = true;
        sizes.size[k] = size;
    });
    return sizes;
}

} // namespace MailboxListing
