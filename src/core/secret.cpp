#include "core/secret.h"

namespace {

constexpr char kAlphabet[] = "0123456789?@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
static_assert(sizeof(kAlphabet) == 65);

int alphabetIndex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u == u'?')
        return 10;
    if (u == u'@')
        return 11;
    if (u >= u'A' && u <= u'Z')
        return 12 + (u - u'A');
    if (u >= u'a' && u <= u'z')
        return 38 + (u - u'a');
    return -1;
}

} // namespace

QString EncodeString(const QString &text, const QString &key)
{
    // The key is an eight-digit number: the first four digits seed the state,
    // digits 5-6 give the multiplier, digits 7-8 the increment. A key that is
    // no number counts as 0.
    bool ok = false;
    qint64 n = key.trimmed().toLongLong(&ok);
    if (!ok || n < 0)
        n = 0;
    const qint64 a = (4 * ((n / 100) % 100) + 1) % 32768;
    const qint64 c = (2 * (n % 100) + 1) % 32768;
    qint64 x = (n / 10000) % 32768;

    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const int d = alphabetIndex(out[i]);
        if (d < 0)
            continue;
        x = (a * x + c) % 32768;
        out[i] = QLatin1Char(kAlphabet[d ^ static_cast<int>(x & 63)]);
    }
    return out;
}

QString DecodeString(const QString &text, const QString &key)
{
    return EncodeString(text, key);
}
