#include "pop3/jis.h"

#include <cstring>

namespace {

constexpr char Esc = 27;

// First ESC `second` `third` starting in [from, n), -1 when there is none.
qsizetype findEscape(const char *s, qsizetype from, qsizetype n, char second, char third)
{
    while (n - from >= 3) {
        const void *hit = std::memchr(s + from, Esc, size_t(n - from - 2));
        if (!hit)
            return -1;
        const qsizetype p = static_cast<const char *>(hit) - s;
        if (s[p + 1] == second && s[p + 2] == third)
            return p;
        from = p + 1;
    }
    return -1;
}

// One kind of end marker, with the result of the last search kept: the text
// after the read position never changes, so a later segment asks again only
// once it has passed the marker found before. This keeps a text with many
// segments (and no ESC "(J" at all) linear.
class MarkerSearch
{
public:
    MarkerSearch(char second, char third) : m_second(second), m_third(third) {}
    qsizetype find(const char *s, qsizetype from, qsizetype n)
    {
        if (m_from < 0 || m_from > from || (m_at >= 0 && m_at < from)) {
            m_from = from;
            m_at = findEscape(s, from, n, m_second, m_third);
        }
        return m_at;
    }

private:
    char m_second, m_third;
    qsizetype m_from = -1; // searched from here ...
    qsizetype m_at = -1;   // ... and found here (-1: nowhere after m_from)
};

// The end of the segment that starts at `from`: the first ESC "(J", else the first ESC "(B".
struct EndMarkers {
    MarkerSearch roman{'(', 'J'};
    MarkerSearch ascii{'(', 'B'};
    qsizetype find(const char *s, qsizetype from, qsizetype n)
    {
        const qsizetype j = roman.find(s, from, n);
        return j >= 0 ? j : ascii.find(s, from, n);
    }
};

// Writes the Shift_JIS pair of one JIS pair. Every result byte is 64 or more,
// so converted text never holds ESC, "$" or "(" and cannot form a new marker.
inline void convertPair(uchar c1, uchar c2, char *out)
{
    if (c1 < 33 || c1 > 126 || c2 < 33 || c2 > 126) {
        out[0] = char(0x81); // 〓, the usual mark for a character that cannot be shown
        out[1] = char(0xAC);
        return;
    }
    const int h = (c1 - 33) * 94 + (c2 - 33);
    int s1 = h / 188 + 129;
    if (s1 >= 160)
        s1 += 64;
    int s2 = h % 188 + 64;
    if (s2 > 126)
        s2 += 1;
    out[0] = char(s1);
    out[1] = char(s2);
}

} // namespace

// Converting a segment and searching again from the start of the text gives the
// same result as going on from the segment's end, with one exception: removing
// the markers joins what came before with what follows (and the lone last byte
// of an odd segment is kept as it was), so the last three bytes written can
// begin a new ESC "$B". Those three bytes are looked at again before the search
// goes on.
QByteArray JisToShiftJisHead(QByteArrayView text, qsizetype *consumed, bool *ok)
{
    if (ok)
        *ok = true;
    *consumed = 0;
    const qsizetype n = text.size();
    const char *in = text.data();
    qsizetype p = findEscape(in, 0, n, '$', 'B');
    if (p < 0)
        return {};
    EndMarkers ends;
    qsizetype e = ends.find(in, p + 3, n);
    if (e < 0)
        return {};

    QByteArray out;
    bool whole = true;
    qsizetype r = 0;       // read position in the input
    qsizetype s = p + 3;   // first byte of the segment
    qsizetype retract = 0; // bytes of the start marker that lie in the output already
    for (;;) {
        if (retract == 0)
            out.append(in + r, p - r);
        else
            out.chop(retract);
        const qsizetype len = e - s;
        qsizetype w = out.size();
        out.resize(w + len);
        char *o = out.data();
        for (qsizetype i = 0; i + 1 < len; i += 2, w += 2)
            convertPair(uchar(in[s + i]), uchar(in[s + i + 1]), o + w);
        if (len & 1) {
            o[w++] = in[e - 1];
            whole = false;
        }
        r = e + 3;

        // A start marker that begins in the last three bytes written (the
        // kept lone byte of an odd segment can complete one).
        auto at = [&](qsizetype i) { return i < w ? o[i] : (r + i - w < n ? in[r + i - w] : '\0'); };
        retract = 0;
        for (qsizetype k = qMin<qsizetype>(3, w); k >= 1 && !retract; --k) {
            const qsizetype i = w - k;
            if (at(i) == Esc && at(i + 1) == '$' && at(i + 2) == 'B' && r + 3 - k <= n)
                retract = k;
        }
        if (retract) {
            s = r + 3 - retract;
        } else {
            p = findEscape(in, r, n, '$', 'B');
            if (p < 0)
                break;
            s = p + 3;
        }
        e = ends.find(in, s, n);
        if (e < 0)
            break;
    }
    if (ok)
        *ok = whole;
    *consumed = r;
    return out;
}

QByteArray JisToShiftJis(QByteArray text, bool *ok)
{
    qsizetype consumed = 0;
    QByteArray head = JisToShiftJisHead(text, &consumed, ok);
    if (consumed == 0)
        return text;
    head.append(QByteArrayView(text).sliced(consumed));
    return head;
}
