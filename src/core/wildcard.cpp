#include "core/wildcard.h"

namespace {

// Code units one character takes at i (2 for a surrogate pair).
qsizetype charLength(const QString &s, qsizetype i)
{
    return (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) ? 2 : 1;
}

bool matchesOne(const QString &text, qsizetype t, QChar p)
{
    if (p == u'?')
        return true;
    if (p == u'#')
        return text[t] >= u'0' && text[t] <= u'9';
    return text[t] == p;
}

} // namespace

bool WildcardMatch(const QString &text, const QString &pattern)
{
    const QString s = text.toCaseFolded();
    const QString p = pattern.toCaseFolded();
    qsizetype t = 0;
    qsizetype k = 0;
    // Where to resume after the most recent "*": only the latest star needs to
    // be retried, which keeps the match polynomial.
    qsizetype starK = -1;
    qsizetype starT = 0;
    while (t < s.size()) {
        if (k < p.size() && p[k] == u'*') {
            starK = ++k;
            starT = t;
        } else if (k < p.size() && matchesOne(s, t, p[k])) {
            t += p[k] == u'?' ? charLength(s, t) : 1;
            ++k;
        } else if (starK >= 0) {
            starT += charLength(s, starT);
            t = starT;
            k = starK;
        } else {
            return false;
        }
    }
    while (k < p.size() && p[k] == u'*')
        ++k;
    return k == p.size();
}
