#include "download/weeklycheck.h"

#include "core/wildcard.h"
#include "download/readlist.h"

namespace {

// Minutes counted on the local calendar, as the user reads the clock.
qint64 minuteNumber(const QDateTime &t)
{
    const QTime time = t.time();
    return t.date().toJulianDay() * 1440 + time.hour() * 60 + time.minute();
}

bool mailedOn(const QVariant &mailDate, const QDate &day)
{
    switch (mailDate.typeId()) {
    case QMetaType::QDateTime:
        return mailDate.toDateTime().date() == day;
    case QMetaType::QDate:
        return mailDate.toDate() == day;
    default:
        // A date kept as text (unreadable when loaded) compares as it stands.
        return mailDate.toString() == day.toString(QStringLiteral("yyyy/MM/dd"));
    }
}

} // namespace

int WeeklyCheck::scheduleIndex(int dayOfWeek)
{
    switch (dayOfWeek) {
    case Qt::Friday:
        return 0;
    case Qt::Saturday:
        return 1;
    case Qt::Monday:
        return 2;
    default:
        return -1;
    }
}

bool WeeklyCheck::todaysFileFound(const ReadList &list, const QDate &today, const QString &pattern)
{
    const qint64 day = (qint64(today.year()) * 100 + today.month()) * 100 + today.day();
    for (int i = 0; i < list.ReadCount(); ++i) {
        // A mail date's digits settle most records without decoding them.
        if (const qint64 date = list.mailDateNumber(i); date >= 0 && date / 1000000 != day)
            continue;
        const ReadEntry &entry = list.at(i);
        if (mailedOn(entry.MailDate, today) && WildcardMatch(entry.FileName, pattern))
            return true;
    }
    return false;
}

bool WeeklyCheck::intervalPassed(const std::optional<QDateTime> &lastDownloadTime, const QDateTime &now, int interval)
{
    if (!lastDownloadTime || !lastDownloadTime->isValid())
        return true;
    return interval >= 1 && minuteNumber(now) - minuteNumber(*lastDownloadTime) >= interval;
}

bool WeeklyCheck::isDue(const QDateTime &now, const State &state)
{
    const Schedule &s = state.schedule;
    if (!s.enabled || state.busy)
        return false;
    const int k = scheduleIndex(now.date().dayOfWeek());
    if (k < 0)
        return false;
    if (s.fileName[k].isEmpty() || !s.time[k] || !s.time[k]->isValid())
        return false;
    const QTime timeOfDay = now.time();
    if (QTime(timeOfDay.hour(), timeOfDay.minute(), timeOfDay.second()) < *s.time[k])
        return false;
    if (state.readList && todaysFileFound(*state.readList, now.date(), s.fileName[k]))
        return false;
    return intervalPassed(state.lastDownloadTime, now, s.interval[k]);
}
