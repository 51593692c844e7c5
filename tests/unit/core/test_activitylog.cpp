#include "core/activitylog.h"
#include "core/cp932.h"
#include "fakeclock.h"
#include "testsupport.h"

#include <QtTest>

namespace {

QByteArray readLog()
{
    QFile f(activityLogPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestActivityLog : public QObject
{
    Q_OBJECT
private slots:
    void startBlockAndLines_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("tail");
        QTest::newRow("no lines") << QStringList{} << "";
        QTest::newRow("two lines") << QStringList{"1: TOP", QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ CC991224.LZH")}
                                   << QStringLiteral("1: TOP\r\nﾀﾞｳﾝﾛｰﾄﾞ CC991224.LZH\r\n");
        QTest::newRow("a text with a line end gives two lines") << QStringList{"a\r\nb"} << "a\r\nb\r\n";
        QTest::newRow("empty text gives an empty line") << QStringList{""} << "\r\n";
    }
    void startBlockAndLines()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, tail);
        TempProgramFolder folder;
        FakeClock clock(QDateTime(QDate(1999, 12, 7), QTime(8, 30, 59)));
        ScopedClock scoped(&clock);
        WriteStartLog();
        for (const QString &line : lines)
            QVERIFY(WriteActivityLog(line));
        QCOMPARE(readLog(), Cp932::encode(QStringLiteral("\r\n[99/12/07 08:30起動]\r\n\r\n") + tail));
    }

    void secondStartDiscardsTheFirstRun()
    {
        TempProgramFolder folder;
        FakeClock clock(QDateTime(QDate(2026, 1, 9), QTime(12, 0)));
        ScopedClock scoped(&clock);
        WriteStartLog();
        QVERIFY(WriteActivityLog("first run"));
        clock.advance(60 * 1000);
        WriteStartLog();
        QVERIFY(WriteActivityLog("second run"));
        QCOMPARE(readLog(), Cp932::encode(QStringLiteral("\r\n[26/01/09 12:01起動]\r\n\r\nsecond run\r\n")));
    }

    void lineWithoutStartLogCreatesTheFile()
    {
        TempProgramFolder folder;
        QVERIFY(WriteActivityLog("x"));
        QCOMPARE(readLog(), QByteArray("x\r\n"));
    }

    // The log is kept open between lines: a file removed or replaced by someone
    // else during the run must get the next lines, not the vanished file.
    void removedOrReplacedLogGetsTheNextLine_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("removed") << false;
        QTest::newRow("replaced") << true;
    }
    void removedOrReplacedLogGetsTheNextLine()
    {
        QFETCH(bool, replace);
        TempProgramFolder folder;
        QVERIFY(WriteActivityLog("before"));
        QVERIFY(QFile::remove(activityLogPath()));
        if (replace) {
            QFile other(activityLogPath());
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write("other\r\n");
        }
        QVERIFY(WriteActivityLog("after"));
        QCOMPARE(readLog(), QByteArray(replace ? "other\r\nafter\r\n" : "after\r\n"));
    }

    void logOfAnotherProgramFolderIsNotMixedIn()
    {
        {
            TempProgramFolder first;
            QVERIFY(WriteActivityLog("first"));
        }
        TempProgramFolder second;
        QVERIFY(WriteActivityLog("second"));
        QCOMPARE(readLog(), QByteArray("second\r\n"));
    }

    void unwritableLogLosesTheLine()
    {
        TempProgramFolder folder;
        QVERIFY(QDir().mkdir(activityLogPath())); // a folder where the log should be
        WriteStartLog();                          // ignores the error
        QVERIFY(!WriteActivityLog("lost"));
    }
};

QTEST_GUILESS_MAIN(TestActivityLog)
#include "test_activitylog.moc"
