#include "core/datetext.h"

#include <QRegularExpression>

QString formatDateTime(const QDateTime &dt)
{
    return dt.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

QString formatDateMinute(const QDateTime &dt)
{
    return dt.toString(QStringLiteral("yyyy/MM/dd hh:mm"));
}

QString formatShort(const QDateTime &dt)
{
    return dt.toString(QStringLiteral("yy/MM/dd hh:mm"));
}

QString formatGeneral(const QDateTime &dt)
{
    const QTime t = dt.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
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

} // namespace

std::optional<QDateTime> parseDateTime(const QString &text)
{
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
