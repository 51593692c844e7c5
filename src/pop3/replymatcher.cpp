#include "pop3/replymatcher.h"

#include <cstring>

namespace {
constexpr QByteArrayView Terminator("\r\n.\r\n");

int countCr(const char *p, qsizetype size)
{
    // memchr jumps over the text between two CRs in wide steps.
    int n = 0;
    const char *const end = p + size;
    while ((p = static_cast<const char *>(std::memchr(p, '\r', static_cast<size_t>(end - p)))) != nullptr) {
        ++n;
        ++p;
    }
    return n;
}

// Where in `data` the terminator line of a multi-line reply ends (just past
// it), or -1. `bytes` is the reply so far; its last few bytes after the status
// line's CR LF may hold the start of the terminator.
qsizetype terminatorEnd(const QByteArray &bytes, qsizetype statusEnd, const char *data, qsizetype size)
{
    const qsizetype tail = qMin<qsizetype>(4, bytes.size() - (statusEnd - 2));
    char seam[8];
    std::memcpy(seam, bytes.constData() + bytes.size() - tail, size_t(tail));
    const qsizetype head = qMin<qsizetype>(4, size);
    std::memcpy(seam + tail, data, size_t(head));
    for (qsizetype j = 0; j < tail && j + Terminator.size() <= tail + head; ++j)
        if (std::memcmp(seam + j, Terminator.data(), size_t(Terminator.size())) == 0)
            return j + Terminator.size() - tail;
    const void *hit = memmem(data, size_t(size), Terminator.data(), size_t(Terminator.size()));
    return hit ? static_cast<const char *>(hit) - data + Terminator.size() : -1;
}

// "+OK" or "+OK text", "-ERR" or "-ERR text", each ended by CR LF.
bool isStatus(const QByteArray &line, QByteArrayView indicator)
{
    const qsizetype n = indicator.size();
    return line.startsWith(indicator) && (line.size() == n + 2 || line.at(n) == ' ');
}
} // namespace

ReplyMatcher::Id ReplyMatcher::add(ReplyMode mode, bool proof, qint64 reserve)
{
    const Id id = m_nextId++;
    Pending &p = m_replies[id];
    p.mode = mode;
    p.proof = proof;
    if (reserve > 0) // a little over: the terminator and dot-stuffing
        p.reply.bytes.reserve(qsizetype(qMin(reserve + reserve / 64 + 1024, m_maxReplyBytes)));
    m_queue.push_back(id);
    return id;
}

ReplyMatcher::Id ReplyMatcher::expect(ReplyMode mode, qint64 reserve)
{
    return add(mode, false, reserve);
}

ReplyMatcher::Id ReplyMatcher::expectProof()
{
    return add(ReplyMode::SingleLine, true, 0);
}

ReplyMatcher::Id ReplyMatcher::notSent()
{
    const Id id = m_nextId++;
    m_replies[id].reply.status = CommandStatus::Failed;
    return id;
}

bool ReplyMatcher::expectAgain(Id id)
{
    const auto it = m_replies.find(id);
    if (it == m_replies.end() || !m_queue.empty() || m_outOfStep || !it->second.reply.continuation)
        return false;
    Pending &p = it->second;
    p.reply = Reply();
    p.statusEnd = -1;
    m_queue.push_back(id);
    return true;
}

const ReplyMatcher::Reply *ReplyMatcher::find(Id id) const
{
    const auto it = m_replies.find(id);
    return it == m_replies.end() ? nullptr : &it->second.reply;
}

void ReplyMatcher::release(Id id)
{
    if (id == 0)
        return;
    for (Id waiting : m_queue)
        if (waiting == id)
            return; // still expected: the bytes must still be accounted for
    m_replies.erase(id);
}

void ReplyMatcher::clear()
{
    m_replies.clear();
    m_queue.clear();
    m_lastWhole = 0;
    m_outOfStep = false;
    m_broken = false;
    m_overflowed = false;
}

void ReplyMatcher::markBroken()
{
    m_broken = true;
    m_outOfStep = true;
    failAll();
}

void ReplyMatcher::markLastTrailed()
{
    const auto it = m_replies.find(m_lastWhole);
    if (it != m_replies.end())
        it->second.reply.trailed = true;
}

void ReplyMatcher::finish(Pending &p, CommandStatus status, bool whole)
{
    p.reply.status = status;
    p.reply.whole = whole;
    const Id id = m_queue.front();
    m_queue.pop_front();
    m_lastWhole = whole && !p.proof ? id : 0;
    if (p.proof) {
        if (status == CommandStatus::Complete && whole)
            m_outOfStep = false;
        else
            markBroken();
    }
}

void ReplyMatcher::giveUpOldest(bool accept)
{
    if (m_queue.empty())
        return;
    Pending &p = m_replies[m_queue.front()];
    m_outOfStep = true;
    finish(p, accept ? CommandStatus::Complete : CommandStatus::Failed, false);
    if (p.proof && accept)
        markBroken(); // a proof cannot be taken on trust
    failAll();
}

void ReplyMatcher::failAll()
{
    while (!m_queue.empty()) {
        Pending &p = m_replies[m_queue.front()];
        m_queue.pop_front();
        p.reply.status = CommandStatus::Failed;
        p.reply.whole = false;
        m_outOfStep = true;
        if (p.proof)
            m_broken = true;
    }
}

void ReplyMatcher::feed(QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype size = bytes.size();
    while (size > 0) {
        if (m_queue.empty()) {
            // Nobody asked for these: whatever comes next cannot be placed,
            // and the reply before them may have ended too soon.
            if (!m_outOfStep)
                markLastTrailed();
            m_outOfStep = true;
            return;
        }
        if (m_outOfStep && !m_replies[m_queue.front()].proof)
            return; // only a proof reply may follow an unexplained stretch
        const Id oldest = m_queue.front();
        const bool proof = m_replies[oldest].proof;
        const qsizetype used = feedOldest(data, size);
        data += used;
        size -= used;
        if (proof && size > 0 && (m_queue.empty() || m_queue.front() != oldest)) {
            // Commands held back for the proof are not sent yet: nothing may follow it.
            markBroken();
            return;
        }
    }
}

// A reply that would grow past the bound fails, and with it the line: the rest
// of it would arrive as nobody's.
bool ReplyMatcher::overflows(Pending &p, qsizetype more)
{
    if (p.reply.bytes.size() + more <= m_maxReplyBytes)
        return false;
    m_overflowed = true;
    finish(p, CommandStatus::Failed, false);
    markBroken();
    return true;
}

// The late tail a proof reply may follow: line ends, one "." line.
qsizetype ReplyMatcher::skipTail(Pending &p, const char *data, qsizetype size)
{
    qsizetype i = 0;
    for (; i < size; ++i) {
        const char c = data[i];
        switch (p.tailState) {
        case 0:
            if (c == '\r' || c == '\n')
                continue;
            if (c == '.') {
                p.tailState = 1;
                continue;
            }
            p.tailState = 3;
            return i;
        case 1:
            if (c != '\r')
                return -1;
            p.tailState = 2;
            continue;
        case 2:
            if (c != '\n')
                return -1;
            p.tailState = 3;
            return i + 1;
        default:
            return i;
        }
    }
    return i;
}

// Gives bytes to the oldest waiting reply; returns how many it took.
qsizetype ReplyMatcher::feedOldest(const char *data, qsizetype size)
{
    Pending &p = m_replies[m_queue.front()];
    QByteArray &bytes = p.reply.bytes;
    qsizetype used = 0;
    if (p.proof && p.tailState < 3) {
        const qsizetype skipped = skipTail(p, data, size);
        if (skipped < 0) {
            finish(p, CommandStatus::Failed, false);
            return size;
        }
        if (p.tailState < 3)
            return size; // all tail so far
        used = skipped;
        data += skipped;
        size -= skipped;
        if (size == 0)
            return used;
    }

    if (p.statusEnd < 0) {
        qsizetype end = -1;
        if (bytes.endsWith('\r') && data[0] == '\n') {
            end = 1;
        } else {
            const void *hit = memmem(data, size_t(size), "\r\n", 2);
            if (hit)
                end = static_cast<const char *>(hit) - data + 2;
        }
        if (end < 0) {
            if (overflows(p, size))
                return used + size;
            bytes.append(data, size);
            p.reply.crCount += countCr(data, size);
            if (bytes.size() > MaxStatusLine) {
                markLastTrailed();
                m_outOfStep = true;
                finish(p, CommandStatus::Failed, false);
                failAll();
            }
            return used + size;
        }
        bytes.append(data, end);
        p.reply.crCount += countCr(data, end);
        p.statusEnd = bytes.size();
        used += end;
        data += end;
        size -= end;
        const bool positive = isStatus(bytes, "+OK");
        const bool negative = isStatus(bytes, "-ERR");
        p.reply.positive = positive;
        if (p.mode == ReplyMode::Continuation && !positive && !negative && isStatus(bytes, "+")) {
            p.reply.continuation = true;
            finish(p, CommandStatus::Complete, true);
            return used;
        }
        if (!positive && !negative) {
            // Not a reply at all: nothing after it can be placed either, and
            // the reply before it may have ended too soon.
            markLastTrailed();
            m_outOfStep = true;
            finish(p, CommandStatus::Failed, false);
            failAll();
            return used + size;
        }
        if (p.mode != ReplyMode::MultiLine || negative) {
            finish(p, positive ? CommandStatus::Complete : CommandStatus::Failed, true);
            return used;
        }
        if (size == 0)
            return used;
    }

    // The body of a multi-line reply: look for its terminator in what is new,
    // and across the seam with what came before (the status line's own CR LF
    // can begin it: an empty listing). Only this reply's bytes are copied: a
    // chunk may hold the replies of many commands in flight.
    const qsizetype end = terminatorEnd(bytes, p.statusEnd, data, size);
    const qsizetype taken = end < 0 ? size : end;
    if (overflows(p, taken))
        return used + size;
    bytes.append(data, taken);
    p.reply.crCount += countCr(data, taken);
    if (end < 0)
        return used + size;
    finish(p, CommandStatus::Complete, true);
    return used + taken;
}
