#include "download/lookahead.h"

#include <utility>

Lookahead::Lookahead(Line line, qint64 budget) : m_line(std::move(line)), m_budget(budget) {}

void Lookahead::plan(qint64 n, qint64 size)
{
    m_ahead[n].size = size;
    m_planned.push_back(n);
}

qint64 Lookahead::heldBy(Id id, qint64 size) const
{
    if (id == 0)
        return 0;
    const Reply *r = m_line.reply(id);
    if (!r)
        return 0;
    const qint64 arrived = r->bytes.size();
    return r->status == CommandStatus::Waiting ? qMax(size, arrived) : arrived;
}

qint64 Lookahead::held() const
{
    qint64 bytes = 0;
    for (const auto &[n, a] : m_ahead)
        bytes += heldBy(a.top, a.size) + heldBy(a.retr, a.size);
    return bytes;
}

void Lookahead::fill()
{
    while (!m_unlooked.empty()) {
        const qint64 n = m_unlooked.front();
        const auto it = m_ahead.find(n);
        if (it == m_ahead.end()) { // done before its reply was looked at
            m_unlooked.pop_front();
            continue;
        }
        Ahead &a = it->second;
        const Reply *r = m_line.reply(a.top);
        if ((r && r->status == CommandStatus::Waiting) || held() >= m_budget)
            break; // its reply is not here yet, or the line is full: later
        m_unlooked.pop_front();
        if (r && r->status == CommandStatus::Complete && a.retr == 0 && m_line.wanted(r->bytes))
            a.retr = m_line.submit("RETR " + QByteArray::number(n), ReplyMode::MultiLine, a.size);
    }
    while (!m_planned.empty() && held() < m_budget) {
        const qint64 n = m_planned.front();
        m_planned.pop_front();
        const auto it = m_ahead.find(n);
        if (it == m_ahead.end() || it->second.top != 0)
            continue; // done, or its TOP already went
        it->second.top = m_line.submit("TOP " + QByteArray::number(n) + " 20", ReplyMode::MultiLine, 0);
        m_unlooked.push_back(n);
    }
}

Lookahead::Id Lookahead::top(qint64 n)
{
    Ahead &a = m_ahead[n];
    if (a.top == 0)
        a.top = m_line.submit("TOP " + QByteArray::number(n) + " 20", ReplyMode::MultiLine, 0);
    return a.top;
}

Lookahead::Id Lookahead::retr(qint64 n)
{
    Ahead &a = m_ahead[n];
    if (a.retr == 0)
        a.retr = m_line.submit("RETR " + QByteArray::number(n), ReplyMode::MultiLine, a.size);
    return a.retr;
}

void Lookahead::done(qint64 n)
{
    const auto it = m_ahead.find(n);
    if (it == m_ahead.end())
        return;
    if (m_line.release)
        for (Id id : {it->second.top, it->second.retr})
            if (id != 0)
                m_line.release(id);
    m_ahead.erase(it);
}
