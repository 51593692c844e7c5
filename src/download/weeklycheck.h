#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

class ReadList;

// Whether the weekly check should start a download run now. On Friday,
// Saturday and Monday (schedule entries 0, 1, 2) the check runs from the
// entry's time on and repeats every Interval minutes after the last finished
// scan, until the read list holds a mail of today whose file matches the
// entry's pattern. Everything is derived afresh from the inputs on each call.
class WeeklyCheck
{
public:
    // The "WeeklyCheck" settings.
    struct Schedule {
        bool enabled = false;
        std::optional<QTime> time[3];
        QString fileName[3];
        int interval[3] = {0, 0, 0};

        // From the settings record (anything with WeeklyCheckEnabled, Time[3],
        // FileName[3] and Interval[3], i.e. SettingsRecord).
        template <class Record> static Schedule from(const Record &settings)
        {
            Schedule s;
            s.enabled = settings.WeeklyCheckEnabled;
            for (int k = 0; k < 3; ++k) {
                s.time[k] = settings.Time[k];
                s.fileName[k] = settings.FileName[k];
                s.interval[k] = settings.Interval[k];
            }
            return s;
        }
    };

    // What the main window knows at a tick.
    struct State {
        Schedule schedule;
        // When the latest scan ended; empty until the first one after start-up.
        std::optional<QDateTime> lastDownloadTime;
        const ReadList *readList = nullptr;
        // A run is going on: never start a second one.
        bool busy = false;
    };

    // The schedule entry for a day of the week (Qt::DayOfWeek numbering,
    // Monday = 1): 0 Friday, 1 Saturday, 2 Monday, -1 any other day.
    static int scheduleIndex(int dayOfWeek);
    // True when the read list has an entry mailed on `today` whose file name
    // matches `pattern` ("*", "?", "#"; letter case ignored).
    static bool todaysFileFound(const ReadList &list, const QDate &today, const QString &pattern);
    // True when no scan has ended yet, or when `interval` >= 1 and at least
    // that many whole-minute steps lie between the last scan's end and now.
    static bool intervalPassed(const std::optional<QDateTime> &lastDownloadTime, const QDateTime &now, int interval);
    // The whole decision of one tick.
    static bool isDue(const QDateTime &now, const State &state);
};
