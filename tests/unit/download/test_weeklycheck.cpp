#include "download/readlist.h"
#include "download/weeklycheck.h"
#include "download/weeklychecktimer.h"
#include "fakeclock.h"

#include <QtTest>

namespace {
// The week of the tests: Monday 2026-01-05 to Sunday 2026-01-11.
const QDate Monday(2026, 1, 5);
const QDate Thursday = Monday.addDays(3);
const QDate Friday = Monday.addDays(4);
const QDate Saturday = Monday.addDays(5);

WeeklyCheck::Schedule defaults()
{
    WeeklyCheck::Schedule s;
    s.enabled = true;
    s.time[0] = QTime(12, 30);
    s.time[1] = QTime(16, 30);
    s.time[2] = QTime(14, 30);
    s.fileName[0] = "DU*.LZH";
    s.fileName[1] = "DU*.LZH";
    s.fileName[2] = "SH*.LZH";
    s.interval[0] = s.interval[1] = s.interval[2] = 30;
    return s;
}

void addMail(ReadList &list, const QVariant &mailDate, const QString &fileName)
{
    list.PutReadEntry(QDateTime(Friday, QTime(9, 0)), mailDate, fileName, QString::number(list.ReadCount() + 1),
                      QString());
}

// What one table row changes from the defaults.
enum class Change { None, Disabled, Busy, NoFileName, TimeUnset, TimeInvalid, IntervalZero };
} // namespace

Q_DECLARE_METATYPE(Change)

class TestWeeklyCheck : public QObject
{
    Q_OBJECT
private slots:
    void scheduleIndex_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("index");
        QTest::newRow("Monday") << 1 << 2;
        QTest::newRow("Tuesday") << 2 << -1;
        QTest::newRow("Wednesday") << 3 << -1;
        QTest::newRow("Thursday") << 4 << -1;
        QTest::newRow("Friday") << 5 << 0;
        QTest::newRow("Saturday") << 6 << 1;
        QTest::newRow("Sunday") << 7 << -1;
    }
    void scheduleIndex()
    {
        QFETCH(int, day);
        QFETCH(int, index);
        QCOMPARE(WeeklyCheck::scheduleIndex(day), index);
    }

    void decision_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("lastScan"); // invalid: none since start-up
        QTest::addColumn<QVariant>("mailDate");  // invalid: nothing in the read list
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("due");
        const QDateTime none;
        const QVariant noMail;
        const auto at = [](QDate d, int h, int m, int s = 0) { return QDateTime(d, QTime(h, m, s)); };
        const auto today = QVariant(at(Friday, 11, 2));

        QTest::newRow("Friday 12:29") << at(Friday, 12, 29) << none << noMail << "" << Change::None << false;
        QTest::newRow("Friday 12:29:59") << at(Friday, 12, 29, 59) << none << noMail << "" << Change::None << false;
        QTest::newRow("Friday 12:30 first check") << at(Friday, 12, 30) << none << noMail << "" << Change::None << true;
        QTest::newRow("Friday late evening") << at(Friday, 23, 59) << none << noMail << "" << Change::None << true;
        QTest::newRow("Saturday 16:29") << at(Saturday, 16, 29) << none << noMail << "" << Change::None << false;
        QTest::newRow("Saturday 16:30") << at(Saturday, 16, 30) << none << noMail << "" << Change::None << true;
        QTest::newRow("Monday 14:30") << at(Monday, 14, 30) << none << noMail << "" << Change::None << true;
        QTest::newRow("Thursday") << at(Thursday, 14, 30) << none << noMail << "" << Change::None << false;
        QTest::newRow("Sunday") << at(Saturday.addDays(1), 16, 30) << none << noMail << "" << Change::None << false;

        QTest::newRow("today's file there")
            << at(Friday, 13, 0) << none << today << "DU991224.LZH" << Change::None << false;
        QTest::newRow("today's file, other case")
            << at(Friday, 13, 0) << none << today << "du991224.lzh" << Change::None << false;
        QTest::newRow("other kind of file")
            << at(Friday, 13, 0) << none << today << "SH991224.LZH" << Change::None << true;
        QTest::newRow("mailed yesterday")
            << at(Friday, 13, 0) << none << QVariant(at(Thursday, 23, 0)) << "DU991224.LZH" << Change::None << true;
        QTest::newRow("mail date as a date")
            << at(Friday, 13, 0) << none << QVariant(Friday) << "DU991224.LZH" << Change::None << false;
        QTest::newRow("mail date kept as text")
            << at(Friday, 13, 0) << none << QVariant("2026/01/09") << "DU991224.LZH" << Change::None << false;
        QTest::newRow("unreadable mail date")
            << at(Friday, 13, 0) << none << QVariant("garbage") << "DU991224.LZH" << Change::None << true;
        QTest::newRow("Monday wants SH") << at(Monday, 15, 0) << none << QVariant(at(Monday, 14, 0)) << "SH260105.LZH"
                                         << Change::None << false;

        QTest::newRow("scan 29 min ago") << at(Friday, 13, 29) << at(Friday, 13, 0) << noMail << "" << Change::None
                                         << false;
        QTest::newRow("scan 30 min ago") << at(Friday, 13, 30) << at(Friday, 13, 0) << noMail << "" << Change::None
                                         << true;
        QTest::newRow("minutes counted whole")
            << at(Friday, 13, 30, 0) << at(Friday, 13, 0, 59) << noMail << "" << Change::None << true;
        QTest::newRow("manual run at 12:20, tick 12:49")
            << at(Friday, 12, 49) << at(Friday, 12, 20) << noMail << "" << Change::None << false;
        QTest::newRow("manual run at 12:20, tick 12:50")
            << at(Friday, 12, 50) << at(Friday, 12, 20) << noMail << "" << Change::None << true;
        QTest::newRow("last scan the day before")
            << at(Saturday, 16, 30) << at(Friday, 23, 50) << noMail << "" << Change::None << true;
        QTest::newRow("clock set back") << at(Friday, 13, 0) << at(Friday, 14, 0) << noMail << "" << Change::None
                                        << false;
        QTest::newRow("interval 0, first check")
            << at(Friday, 13, 0) << none << noMail << "" << Change::IntervalZero << true;
        QTest::newRow("interval 0 never repeats")
            << at(Friday, 20, 0) << at(Friday, 12, 30) << noMail << "" << Change::IntervalZero << false;

        QTest::newRow("disabled") << at(Friday, 13, 0) << none << noMail << "" << Change::Disabled << false;
        QTest::newRow("a run is busy") << at(Friday, 13, 0) << none << noMail << "" << Change::Busy << false;
        QTest::newRow("no file name") << at(Friday, 13, 0) << none << noMail << "" << Change::NoFileName << false;
        QTest::newRow("time unset") << at(Friday, 13, 0) << none << noMail << "" << Change::TimeUnset << false;
        QTest::newRow("time not a time") << at(Friday, 13, 0) << none << noMail << "" << Change::TimeInvalid << false;
    }
    void decision()
    {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, lastScan);
        QFETCH(QVariant, mailDate);
        QFETCH(QString, fileName);
        QFETCH(Change, change);
        QFETCH(bool, due);

        ReadList list;
        addMail(list, QVariant(QDateTime(Thursday, QTime(8, 0))), "DU260108.LZH"); // always there, never today's
        if (mailDate.isValid())
            addMail(list, mailDate, fileName);
        WeeklyCheck::State state;
        state.schedule = defaults();
        state.readList = &list;
        if (lastScan.isValid())
            state.lastDownloadTime = lastScan;
        const int k = WeeklyCheck::scheduleIndex(now.date().dayOfWeek());
        const int entry = k < 0 ? 0 : k;
        switch (change) {
        case Change::None:
            break;
        case Change::Disabled:
            state.schedule.enabled = false;
            break;
        case Change::Busy:
            state.busy = true;
            break;
        case Change::NoFileName:
            state.schedule.fileName[entry].clear();
            break;
        case Change::TimeUnset:
            state.schedule.time[entry].reset();
            break;
        case Change::TimeInvalid:
            state.schedule.time[entry] = QTime(25, 0);
            break;
        case Change::IntervalZero:
            state.schedule.interval[entry] = 0;
            break;
        }
        QCOMPARE(WeeklyCheck::isDue(now, state), due);
    }

    void scheduleFromTheSettingsRecord()
    {
        struct Record {
            bool WeeklyCheckEnabled = true;
            std::optional<QTime> Time[3] = {QTime(1, 2), std::nullopt, QTime(3, 4)};
            QString FileName[3] = {"A*", "B*", "C*"};
            int Interval[3] = {5, 6, 7};
        } record;
        const WeeklyCheck::Schedule s = WeeklyCheck::Schedule::from(record);
        QVERIFY(s.enabled);
        QCOMPARE(s.time[0], std::optional<QTime>(QTime(1, 2)));
        QVERIFY(!s.time[1]);
        QCOMPARE(s.fileName[2], QStringLiteral("C*"));
        QCOMPARE(s.interval[1], 6);
    }

    void timerCadence()
    {
        int asked = 0;
        WeeklyCheckTimer timer([&] {
            ++asked;
            return WeeklyCheck::State{};
        });
        timer.start();
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), WeeklyCheckTimer::FirstIntervalMs);
        timer.tick();
        QCOMPARE(timer.interval(), WeeklyCheckTimer::IntervalMs);
        QVERIFY(timer.isActive());
        QCOMPARE(asked, 1);
    }

    // A whole week of minute ticks. Each due() runs a "download" whose scan ends
    // `scanMinutes` later; on the run numbered `fileOnRun` of a day the day's
    // file arrives. Records the start times of all runs.
    void wholeWeek_data()
    {
        QTest::addColumn<int>("scanMinutes");
        QTest::addColumn<int>("fileOnRun"); // 0: the file never comes
        QTest::addColumn<bool>("dialFails");
        QTest::addColumn<QStringList>("expectedFirstRuns");
        QTest::addColumn<int>("runs");

        // Friday 12:30..23:30 every 30 min (23), Saturday 16:30..23:30 (15), Monday 14:30..23:30 (19).
        QTest::newRow("file never comes")
            << 0 << 0 << false << QStringList{"Mon 14:30", "Mon 15:00", "Mon 15:30"} << 19 + 23 + 15;
        QTest::newRow("file on the third run each day")
            << 0 << 3 << false << QStringList{"Mon 14:30", "Mon 15:00", "Mon 15:30", "Fri 12:30"} << 3 * 3;
        // The scan takes 7 minutes: the next run comes 30 minutes after its end.
        QTest::newRow("slow scans") << 7 << 0 << false
                                    << QStringList{"Mon 14:30", "Mon 15:07", "Mon 15:44", "Mon 16:21"} << 16 + 19 + 13;
        // A run that cannot dial never ends a scan: the check retries at every tick.
        QTest::newRow("dial fails") << 0 << 0 << true << QStringList{"Mon 14:30", "Mon 14:31", "Mon 14:32"}
                                    << (24 * 60 - (14 * 60 + 30)) + (24 * 60 - (12 * 60 + 30)) +
                                           (24 * 60 - (16 * 60 + 30));
    }
    void wholeWeek()
    {
        QFETCH(int, scanMinutes);
        QFETCH(int, fileOnRun);
        QFETCH(bool, dialFails);
        QFETCH(QStringList, expectedFirstRuns);
        QFETCH(int, runs);

        FakeClock clock(QDateTime(Monday, QTime(0, 0)));
        ScopedClock sc(&clock);
        ReadList list;
        std::optional<QDateTime> lastScan;
        std::optional<QDateTime> busyUntil;
        QDate runDay;
        int runsToday = 0;
        QStringList started;
        WeeklyCheckTimer timer([&] {
            WeeklyCheck::State s;
            s.schedule = defaults();
            s.lastDownloadTime = lastScan;
            s.readList = &list;
            s.busy = busyUntil && clock.now() < *busyUntil;
            return s;
        });
        connect(&timer, &WeeklyCheckTimer::due, this, [&] {
            const QDateTime now = clock.now();
            started << QLocale::c().toString(now, "ddd HH:mm");
            if (runDay != now.date()) {
                runDay = now.date();
                runsToday = 0;
            }
            ++runsToday;
            if (dialFails)
                return;
            busyUntil = now.addSecs(60 * scanMinutes);
            lastScan = *busyUntil;
            if (runsToday == fileOnRun)
                addMail(list, QVariant(now), now.date() == Monday ? "SH260105.LZH" : "DU260109.LZH");
        });
        for (int minute = 0; minute < 7 * 24 * 60; ++minute) {
            timer.tick();
            clock.advance(WeeklyCheckTimer::IntervalMs);
        }
        QCOMPARE(started.mid(0, expectedFirstRuns.size()), expectedFirstRuns);
        QCOMPARE(started.size(), runs);
        for (const QString &run : std::as_const(started))
            QVERIFY2(run.startsWith("Mon") || run.startsWith("Fri") || run.startsWith("Sat"), qPrintable(run));
    }
};

QTEST_GUILESS_MAIN(TestWeeklyCheck)
#include "test_weeklycheck.moc"
