#include "core/datetext.h"

#include <QtTest>

class TestDateText : public QObject
{
    Q_OBJECT
private slots:
    void formats_data()
    {
        QTest::addColumn<QDateTime>("dt");
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("minute");
        QTest::addColumn<QString>("shortForm");
        QTest::addColumn<QString>("general");
        QTest::newRow("morning") << QDateTime(QDate(1999, 12, 24), QTime(8, 5, 9)) << "1999/12/24 08:05:09"
                                 << "1999/12/24 08:05"
                                 << "99/12/24 08:05"
                                 << "1999/12/24 8:05:09";
        QTest::newRow("midnight") << QDateTime(QDate(2000, 1, 2), QTime(0, 0)) << "2000/01/02 00:00:00"
                                  << "2000/01/02 00:00"
                                  << "00/01/02 00:00"
                                  << "2000/01/02";
        QTest::newRow("one second past midnight")
            << QDateTime(QDate(2026, 7, 31), QTime(0, 0, 1)) << "2026/07/31 00:00:01"
            << "2026/07/31 00:00"
            << "26/07/31 00:00"
            << "2026/07/31 0:00:01";
        QTest::newRow("evening") << QDateTime(QDate(2099, 8, 22), QTime(23, 59, 59)) << "2099/08/22 23:59:59"
                                 << "2099/08/22 23:59"
                                 << "99/08/22 23:59"
                                 << "2099/08/22 23:59:59";
    }
    void formats()
    {
        QFETCH(QDateTime, dt);
        QFETCH(QString, full);
        QFETCH(QString, minute);
        QFETCH(QString, shortForm);
        QFETCH(QString, general);
        QCOMPARE(formatDateTime(dt), full);
        QCOMPARE(formatDateMinute(dt), minute);
        QCOMPARE(formatShort(dt), shortForm);
        QCOMPARE(formatGeneral(dt), general);
        // Every form reads back (to its own precision).
        QCOMPARE(parseDateTime(full), dt);
        QCOMPARE(parseDateTime(general), dt);
        QCOMPARE(parseDateTime(minute), QDateTime(dt.date(), QTime(dt.time().hour(), dt.time().minute())));
    }

    // The forms are built digit by digit where that gives Qt's text; every
    // date, in range or not, must read exactly as QDateTime::toString writes it.
    void formsMatchQt_data()
    {
        QTest::addColumn<QDateTime>("dt");
        QTest::newRow("first year of the fast range") << QDateTime(QDate(1000, 1, 1), QTime(0, 0, 1));
        QTest::newRow("last year of the fast range") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59));
        QTest::newRow("three-digit year") << QDateTime(QDate(999, 12, 31), QTime(9, 8, 7));
        QTest::newRow("year 10000") << QDateTime(QDate(10000, 1, 1), QTime(10, 0));
        QTest::newRow("negative year") << QDateTime(QDate(-44, 3, 15), QTime(12, 0));
        QTest::newRow("invalid") << QDateTime();
        QTest::newRow("milliseconds dropped") << QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 999));
        QTest::newRow("ten o'clock") << QDateTime(QDate(2005, 10, 10), QTime(10, 10, 10));
    }
    void formsMatchQt()
    {
        QFETCH(QDateTime, dt);
        QCOMPARE(formatDateTime(dt), dt.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")));
        QCOMPARE(formatDateMinute(dt), dt.toString(QStringLiteral("yyyy/MM/dd hh:mm")));
        QCOMPARE(formatShort(dt), dt.toString(QStringLiteral("yy/MM/dd hh:mm")));
        const bool midnight = dt.time() == QTime(0, 0);
        QCOMPARE(formatGeneral(dt),
                 dt.toString(midnight ? QStringLiteral("yyyy/MM/dd") : QStringLiteral("yyyy/MM/dd H:mm:ss")));
    }

    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid = nullopt
        const QDateTime none;
        QTest::newRow("date alone") << "1999/12/24" << QDateTime(QDate(1999, 12, 24), QTime(0, 0));
        QTest::newRow("dashes") << "1999-12-24 08:05:09" << QDateTime(QDate(1999, 12, 24), QTime(8, 5, 9));
        QTest::newRow("iso T") << "1999-12-24T08:05" << QDateTime(QDate(1999, 12, 24), QTime(8, 5));
        QTest::newRow("unpadded") << "2000/1/2 3:04" << QDateTime(QDate(2000, 1, 2), QTime(3, 4));
        QTest::newRow("two-digit year, 20xx") << "05/03/01 10:00" << QDateTime(QDate(2005, 3, 1), QTime(10, 0));
        QTest::newRow("two-digit year, 19xx") << "99/12/07 08:30" << QDateTime(QDate(1999, 12, 7), QTime(8, 30));
        QTest::newRow("blanks around") << "  2001/02/03 04:05:06 " << QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6));
        QTest::newRow("leap day") << "2000/02/29" << QDateTime(QDate(2000, 2, 29), QTime(0, 0));
        QTest::newRow("no leap day") << "1999/02/29" << none;
        QTest::newRow("month 13") << "1999/13/40" << none;
        QTest::newRow("hour 24") << "2000/12/31 24:00" << none;
        QTest::newRow("minute 60") << "2000/12/31 23:60" << none;
        QTest::newRow("mixed separators") << "1999/12-24" << none;
        QTest::newRow("time alone") << "12:30" << none;
        QTest::newRow("words") << "yesterday" << none;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("trailing junk") << "1999/12/24 08:05:09x" << none;
        QTest::newRow("three-digit year") << "999/12/24" << none;
    }
    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const auto got = parseDateTime(text);
        QCOMPARE(got.has_value(), expected.isValid());
        if (got)
            QCOMPARE(*got, expected);
    }

    void times_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("expected"); // invalid = nullopt
        QTest::newRow("unpadded hour") << "9:05" << QTime(9, 5);
        QTest::newRow("with seconds") << "09:05:00" << QTime(9, 5);
        QTest::newRow("half past twelve") << "12:30" << QTime(12, 30);
        QTest::newRow("last second") << "23:59:59" << QTime(23, 59, 59);
        QTest::newRow("out of range") << "25:99" << QTime();
        QTest::newRow("second 60") << "10:00:60" << QTime();
        QTest::newRow("no minutes") << "9" << QTime();
        QTest::newRow("empty") << "" << QTime();
        QTest::newRow("date") << "1999/12/24" << QTime();
    }
    void times()
    {
        QFETCH(QString, text);
        QFETCH(QTime, expected);
        const auto got = parseTime(text);
        QCOMPARE(got.has_value(), expected.isValid());
        if (got)
            QCOMPARE(*got, expected);
        if (got)
            QCOMPARE(parseTime(formatTime(*got)), got);
    }
};

QTEST_GUILESS_MAIN(TestDateText)
#include "test_datetext.moc"
