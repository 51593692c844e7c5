#include "core/datetext.h"

#include <QRegularExpression>

namespace {

// QDateTime::toString(format) parses the format and goes through the locale on
// every call, and the read list and the file list format thousands of dates in
// one run. The fixed forms are built digit by digit instead; a date Qt would
// write differently (invalid, or a year outside 1000..9999) still goes through
// Qt, so the text is the same either way.
class DigitText
{
public:
    // False when the fast path does not apply.
    bool load(const QDateTime &dt)
    {
        if (!dt.isValid())
            return false;
        const QDate date = dt.date();
        m_time = dt.time();
        m_year = date.year();
        m_month = date.month();
        m_day = date.day();
        return m_year >= 1000 && m_year <= 9999;
    }
    DigitText &date(bool longYear)
    {
        if (longYear)
            two(m_year / 100);
        two(m_year % 100);
        put(u'/');
        two(m_month);
        put(u'/');
        two(m_day);
        return *this;
    }
    DigitText &time(bool padHour, bool seconds)
    {
        put(u' ');
        if (padHour || m_time.hour() > 9)
            two(m_time.hour());
        else
            put(char16_t(u'0' + m_time.hour()));
        put(u':');
        two(m_time.minute());
        if (seconds) {
            put(u':');
            two(m_time.second());
        }
        return *this;
    }
    bool midnight() const { return m_time.hour() == 0 && m_time.minute() == 0 && m_time.second() == 0; }
    QString text() const { return QString(m_text, m_size); }

private:
    void put(char16_t c) { m_text[m_size++] = QChar(c); }
    void two(int v)
    {
        put(char16_t(u'0' + v / 10));
        put(char16_t(u'0' + v % 10));
    }

    QChar m_text[20];
    int m_size = 0;
    QTime m_time;
    int m_year = 0;
    int m_month = 0;
    int m_day = 0;
};

} // namespace

QString formatDateTime(const QDateTime &dt)
{
    DigitText t;
    if (t.load(dt))
        return t.date(true).time(true, true).text();
    return dt.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

QString formatDateMinute(const QDateTime &dt)
{
    DigitText t;
    if (t.load(dt))
        return t.date(true).time(true, false).text();
    return dt.toString(QStringLiteral("yyyy/MM/dd hh:mm"));
}

QString formatShort(const QDateTime &dt)
{
    DigitText t;
    if (t.load(dt))
        return t.date(false).time(true, false).text();
    return dt.toString(QStringLiteral("yy/MM/dd hh:mm"));
}

QString formatGeneral(const QDateTime &dt)
{
    DigitText t;
    if (t.load(dt))
        return t.midnight() ? t.date(true).text() : t.date(true).time(false, true).text();
    const QTime t0 = dt.time();
    if (t0.hour() == 0 && t0.minute() == 0 && t0.second() == 0)
        return dt.toString(QStringLiteral("yyyy/MM/dd"));
    return dt.toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

QString formatTime(const QTime &t)
{
    return t.toString(QStringLiteral("hh:mm:ss"));
}

namespace {

std::optional<QTime> makeTime(QStringView h, QStringView m, QStringView s)
{
    const QTime t(h.toInt(), m.toInt(), s.isEmpty() ? 0 : s.toInt());
    if (!t.isValid())
        return std::nullopt;
    return t;
}

// The form the program writes ("1999/12/24 8:05:09", "1999/12/24"), read
// digit by digit; nullopt when the text has any other form (the general rule
// below then decides). A read list holds two of these per record.
std::optional<std::optional<QDateTime>> parseWrittenForm(QStringView text)
{
    qsizetype i = 0;
    const auto number = [&](int minDigits, int maxDigits) -> std::optional<int> {
        int value = 0;
        int digits = 0;
        while (i < text.size() && digits < maxDigits && text[i] >= u'0' && text[i] <= u'9') {
            value = value * 10 + (text[i].unicode() - u'0');
            ++i;
            ++digits;
        }
        if (digits < minDigits || (i < text.size() && text[i] >= u'0' && text[i] <= u'9'))
            return std::nullopt;
        return value;
    };
    const auto expect = [&](char16_t c) {
        if (i >= text.size() || text[i] != c)
            return false;
        ++i;
        return true;
    };
    const auto year = number(4, 4);
    if (!year || !expect(u'/'))
        return std::nullopt;
    const auto month = number(1, 2);
    if (!month || !expect(u'/'))
        return std::nullopt;
    const auto day = number(1, 2);
    if (!day)
        return std::nullopt;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (i < text.size()) {
        const auto h = expect(u' ') ? number(1, 2) : std::nullopt;
        const auto m = h && expect(u':') ? number(1, 2) : std::nullopt;
        if (!m)
            return std::nullopt;
        hour = *h;
        minute = *m;
        if (i < text.size()) {
            const auto sec = expect(u':') ? number(1, 2) : std::nullopt;
            if (!sec || i < text.size())
                return std::nullopt;
            second = *sec;
        }
    }
    const QDate date(*year, *month, *day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::optional<QDateTime>();
    return std::optional<QDateTime>(QDateTime(date, time));
}

} // namespace

std::optional<QDateTime> parseDateTime(QStringView text)
{
    if (const auto written = parseWrittenForm(text))
        return *written;
    return parseDateTime(text.toString());
}

std::optional<QDateTime> parseDateTime(const QString &text)
{
    if (const auto written = parseWrittenForm(text))
        return *written;
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{4}|\d{2})([/-])(\d{1,2})\2(\d{1,2})(?:(?:\s+|T)(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int year = m.capturedView(1).toInt();
    if (m.capturedView(1).size() == 2)
        year += year < 30 ? 2000 : 1900;
    const QDate date(year, m.capturedView(3).toInt(), m.capturedView(4).toInt());
    if (!date.isValid())
        return std::nullopt;
    QTime time(0, 0);
    if (m.hasCaptured(5)) {
        const auto t = makeTime(m.capturedView(5), m.capturedView(6), m.capturedView(7));
        if (!t)
            return std::nullopt;
        time = *t;
    }
    return QDateTime(date, time);
}

std::optional<QTime> parseTime(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return makeTime(m.capturedView(1), m.capturedView(2), m.capturedView(3));
}

void pinLocalTimeZone()
{
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    qputenv("TZ", ":/etc/localtime");
}
