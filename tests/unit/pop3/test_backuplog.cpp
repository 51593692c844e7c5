#include "fakeclock.h"
#include "pop3/backuplog.h"
#include "pop3/messageparser.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray mail(const QByteArray &status, const QByteArray &subject)
{
    return status + "\r\nSubject: " + subject +
           "\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\nbody\r\n--B\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\nTWFu\r\n--B--\r\n.\r\n";
}

} // namespace

class TestBackupLog : public QObject
{
    Q_OBJECT
private slots:
    void record_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("bare +OK line dropped") << QByteArray("+OK ") << QByteArray("S") << mail("+OK ", "S").mid(6);
        QTest::newRow("status with size kept")
            << QByteArray("+OK 120 octets") << QByteArray("S") << mail("+OK 120 octets", "S");
        QTest::newRow("+OK without blank kept") << QByteArray("+OK") << QByteArray("S") << mail("+OK", "S");
        QTest::newRow("JIS subject converted")
            << QByteArray("+OK ") << QByteArray("\x1b$B4A;z\x1b(B") << mail("+OK ", "\x8a\xbf\x8e\x9a").mid(6);
    }
    void record()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, subject);
        QFETCH(QByteArray, expected);
        FakeClock clock(QDateTime(QDate(2026, 3, 4), QTime(23, 59)));
        ScopedClock scoped(&clock);
        QTemporaryDir dir;
        MessageParser parser;
        QVERIFY(parser.parse(mail(status, subject), MessageParser::Mode::Reply));
        QVERIFY(BackupLog::WriteLog(parser, dir.path()));
        QCOMPARE(TestFiles::readOrMissing(dir.filePath(QStringLiteral("20260304.bkl"))), expected);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("20260304.bkl")});
    }

    void recordsOfOneDayFollowEachOther()
    {
        FakeClock clock(QDateTime(QDate(2026, 3, 4), QTime(10, 0)));
        ScopedClock scoped(&clock);
        QTemporaryDir dir;
        MessageParser parser;
        QVERIFY(parser.parse(mail("+OK ", "one"), MessageParser::Mode::Reply));
        QVERIFY(BackupLog::WriteLog(parser, dir.path()));
        QVERIFY(parser.parse(mail("+OK 99", "two"), MessageParser::Mode::Reply));
        QVERIFY(BackupLog::WriteLog(parser, dir.path()));
        QCOMPARE(TestFiles::readOrMissing(dir.filePath(QStringLiteral("20260304.bkl"))),
                 mail("+OK ", "one").mid(6) + mail("+OK 99", "two"));

        // After midnight the next record goes into the next day's file.
        clock.advance(14 * 3600 * 1000);
        QVERIFY(BackupLog::WriteLog(parser, dir.path()));
        QCOMPARE(TestFiles::readOrMissing(dir.filePath(QStringLiteral("20260305.bkl"))), mail("+OK 99", "two"));
    }

    void refused_data()
    {
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<QString>("sub"); // folder below the temporary one; "-": empty folder argument
        QTest::newRow("empty folder") << true << QStringLiteral("-");
        QTest::newRow("before any parse") << false << QString();
        QTest::newRow("missing folder") << true << QStringLiteral("KVLOG");
    }
    void refused()
    {
        QFETCH(bool, parsed);
        QFETCH(QString, sub);
        QTemporaryDir dir;
        MessageParser parser;
        if (parsed)
            QVERIFY(parser.parse(mail("+OK ", "S"), MessageParser::Mode::Reply));
        const QString folder = sub == QLatin1String("-") ? QString() : sub.isEmpty() ? dir.path() : dir.filePath(sub);
        QVERIFY(!BackupLog::WriteLog(parser, folder));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // A device that fails after N bytes: the record is not left half written.
    void diskFullLeavesTheLogAsItWas()
    {
        FakeClock clock(QDateTime(QDate(2026, 3, 4), QTime(10, 0)));
        ScopedClock scoped(&clock);
        QTemporaryDir dir;
        MessageParser parser;
        QVERIFY(parser.parse(mail("+OK ", "one"), MessageParser::Mode::Reply));
        QVERIFY(BackupLog::WriteLog(parser, dir.path()));
        const QByteArray before = TestFiles::readOrMissing(dir.filePath(QStringLiteral("20260304.bkl")));

        QByteArray big = mail("+OK 1", "big");
        big.replace("TWFu", QByteArray(200000, 'A'));
        QVERIFY(parser.parse(big, MessageParser::Mode::Reply));
        bool ok = true;
        {
            FileSizeLimit full(100000);
            QVERIFY(full.active());
            ok = BackupLog::WriteLog(parser, dir.path());
        }
        QVERIFY(!ok);
        QCOMPARE(TestFiles::readOrMissing(dir.filePath(QStringLiteral("20260304.bkl"))), before);
    }
};

QTEST_GUILESS_MAIN(TestBackupLog)
#include "test_backuplog.moc"
