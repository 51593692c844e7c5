#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

// The date and time text forms the program writes (Kivrel.ini, Kivrel.dat,
// KVLOG.TXT, the file list) and a lenient reader for all of them.

// "1999/12/24 08:05:09"
QString formatDateTime(const QDateTime &dt);
// "1999/12/24 08:05"
QString formatDateMinute(const QDateTime &dt);
// "99/12/24 08:05"
QString formatShort(const QDateTime &dt);
// "1999/12/24 8:05:09" (hour not padded); "1999/12/24" when the time is 00:00:00.
QString formatGeneral(const QDateTime &dt);
// "08:05:09"
QString formatTime(const QTime &t);

// Reads a local date-time: year/month/day with "/" or "-", a four-digit year or
// a two-digit one (00-29 is 20xx, 30-99 is 19xx), then optionally a blank (or
// "T") and hours:minutes with optional :seconds. Surrounding blanks are allowed.
// Anything else, or a date or time that does not exist (1999/13/40, 24:00),
// gives nullopt. A time alone is not a date-time.
std::optional<QDateTime> parseDateTime(const QString &text);
std::optional<QDateTime> parseDateTime(QStringView text);

// Reads a time of day: hours:minutes with optional :seconds, one or two digits
// each ("9:05", "09:05:00", "12:30"). Out of range ("25:99") gives nullopt.
std::optional<QTime> parseTime(const QString &text);

// Without TZ the C library looks at /etc/localtime again (a stat) for every
// local time it converts, and a long read list converts two per record. This
// names that same file in TZ when TZ is unset, so it is read once. Call it at
// start-up, before any other thread exists.
void pinLocalTimeZone();
