#include "core/cp932.h"
#include "core/settings.h"
#include "download/readlist.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
void writeList(const QByteArray &bytes)
{
    QFile f(ReadList::filePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray readListFile()
{
    QFile f(ReadList::filePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestReadList : public QObject
{
    Q_OBJECT
private slots:
    void init() { Settings = SettingsRecord(); }

    void linesLoadAndSaveUnchanged_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("handledIsDate");
        QTest::newRow("five fields, two dates")
            << Cp932::encode(
                   QStringLiteral("1999/12/24 18:05:09\t1999/12/24 17:59:00\tCC991224.LZH\tuid-1\t調教師・現役\r\n"))
            << true;
        QTest::newRow("date alone, hour not padded")
            << QByteArray("1999/12/24\t1999/12/24 8:05:09\t-\tuid-2\tx\r\n") << true;
        QTest::newRow("four fields") << QByteArray("2001/01/02 3:04:05\t2001/01/02\t-\tuid-3\t\r\n") << true;
        QTest::newRow("text that is no date") << QByteArray("yesterday\tsoon\tDU991204.LZH\tuid-4\td\r\n") << false;
    }
    void linesLoadAndSaveUnchanged()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, handledIsDate);
        TempProgramFolder home;
        writeList(line);
        ReadList list;
        list.LoadReadList();
        QCOMPARE(list.ReadCount(), 1);
        QCOMPARE(list.at(0).HandledTime.metaType().id() == QMetaType::QDateTime, handledIsDate);
        QVERIFY(list.SaveReadList());
        QCOMPARE(readListFile(), line);
    }

    // A record goes back as its bytes only where decoding and encoding it
    // again gives those bytes; every other record is written from its decoded
    // form, so the file is the same either way.
    void savedAsDecodingAndEncodingMakeIt_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray head = "2026/12/10 5:06:07\t2026/12/10\tDU261210.LZH\tuId\t";
        const QByteArray text = Cp932::encode(QStringLiteral("競走馬ｶﾅ"));
        QTest::newRow("as written") << head + text + "\r\n" << head + text + "\r\n";
        QTest::newRow("empty last field") << head + "\r\n" << head + "\r\n";
        QTest::newRow("dates in another form")
            << QByteArray("2026/1/2 05:06:07\t2026/12/10 0:00:00\t-\tu\td\r\n")
            << QByteArray("2026/01/02 5:06:07\t2026/12/10\t-\tu\td\r\n");
        QTest::newRow("text that is no date") << QByteArray("soon\t2026/13/01\t-\tu\td\r\n")
                                              << QByteArray("soon\t2026/13/01\t-\tu\td\r\n");
        QTest::newRow("LF alone") << head + "d\n" << head + "d\r\n";
        QTest::newRow("NEC-selected IBM code") << head + "\xED\x40\r\n" << head + "\xFA\x5C\r\n";
        QTest::newRow("IBM code of a NEC one") << head + "\xFA\x4A\r\n" << head + "\x87\x54\r\n";
        QTest::newRow("byte outside the code page") << head + "a\x80z\r\n" << head + "a?z\r\n";
        QTest::newRow("lead byte without its trail") << head + "a\x82\r\n" << head + "a?\r\n";
        QTest::newRow("six fields") << head + "d\tsixth\r\n" << head + "d\r\n";
        QTest::newRow("TAB run before the last field") << head + "\td\r\n" << head + "d\r\n";
        QTest::newRow("CR inside") << head + "de\rsc\r\n" << head + "de\r\n";
        QTest::newRow("one of each") << head + "d\r\n" + head + "\xED\x40\r\n" + "yesterday\tx\t-\tv\t\r\n"
                                     << head + "d\r\n" + head + "\xFA\x5C\r\n" + "yesterday\tx\t-\tv\t\r\n";
    }
    void savedAsDecodingAndEncodingMakeIt()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, saved);
        TempProgramFolder home;
        writeList(stored);
        ReadList list;
        list.LoadReadList();
        QVERIFY(list.SaveReadList());
        QCOMPARE(readListFile(), saved);
        // What the grid reads from the bytes is what the decoded record says.
        ReadList decoded;
        decoded.LoadReadList();
        for (int i = 0; i < list.ReadCount(); ++i) {
            const ReadEntry &e = decoded.at(i);
            QCOMPARE(list.handledNumber(i), ReadList::numberOf(e.HandledTime));
            QCOMPARE(list.mailDateNumber(i), ReadList::numberOf(e.MailDate));
            const QDateTime t(QDate(2026, 12, 10), QTime(5, 6, 6));
            QCOMPARE(list.handledAfter(i, t), e.HandledTime.typeId() == QMetaType::QDateTime && e.HandledTime.toDateTime() > t);
            const int weight = list.fieldWeight(i, 4);
            QVERIFY(weight == -1 || weight == Cp932::displayWeight(e.Description));
        }
    }

    // The file is read in pieces: lines across a piece's end, and a line
    // longer than a piece, load and save as they were.
    void longListLoadsAndSavesUnchanged()
    {
        TempProgramFolder home;
        QString text;
        for (int i = 0; i < 4000; ++i)
            text += QStringLiteral("2001/01/01 8:%1:00\t2001/01/01\tDU010101.LZH\tid%2\t競走馬＋出馬表 %2\r\n")
                        .arg(i % 60, 2, 10, QLatin1Char('0'))
                        .arg(i);
        text += QStringLiteral("2001/01/02\t2001/01/02\t-\tlong\t") + QString(200000, u'表') + QStringLiteral("\r\n");
        const QByteArray bytes = Cp932::encode(text);
        writeList(bytes);
        ReadList list;
        list.LoadReadList();
        QCOMPARE(list.ReadCount(), 4001);
        QCOMPARE(list.at(4000).Description.size(), 200000);
        QVERIFY(list.SaveReadList());
        QVERIFY(readListFile() == bytes);
    }

    void malformedLinesAreDroppedAndTabRunsCollapse()
    {
        TempProgramFolder home;
        writeList("\r\nonly\tthree\tfields\r\n1999/12/24\t\t1999/12/24\tA.LZH\tuid\tdesc\r\n\r\n");
        ReadList list;
        list.LoadReadList();
        QCOMPARE(list.ReadCount(), 1);
        // The empty field between two TABs is skipped: the fields move forward.
        QCOMPARE(list.at(0).FileName, QStringLiteral("A.LZH"));
        QCOMPARE(list.at(0).Uid, QStringLiteral("uid"));
        QCOMPARE(list.at(0).Description, QStringLiteral("desc"));
    }

    void putReplacesByUidWithoutRegardToCase()
    {
        TempProgramFolder home;
        ReadList list;
        const QDateTime t(QDate(2026, 12, 4), QTime(9, 0));
        list.PutReadEntry(t, t, QStringLiteral("A.LZH"), QStringLiteral("AbC"), QStringLiteral("first"));
        list.PutReadEntry(t, t, QStringLiteral("B.LZH"), QStringLiteral("other"), QStringLiteral("second"));
        list.PutReadEntry(t.addDays(1), t, QStringLiteral("C.LZH"), QStringLiteral("aBc"), QStringLiteral("again"));
        QCOMPARE(list.ReadCount(), 2);
        QCOMPARE(list.at(0).FileName, QStringLiteral("C.LZH"));
        QCOMPARE(list.at(0).Uid, QStringLiteral("aBc"));
        QCOMPARE(list.find(QStringLiteral("ABC")), 0);
        for (int i = 0; i < 300; ++i)
            list.PutReadEntry(t, t, QStringLiteral("-"), QStringLiteral("u%1").arg(i), QString());
        QCOMPARE(list.ReadCount(), 302);
        QCOMPARE(list.at(301).Uid, QStringLiteral("u299"));
    }

    void duplicateIdsLoadAndTheFirstIsUsed()
    {
        TempProgramFolder home;
        writeList("1999/12/24\t1999/12/24\tA.LZH\tdup\t\r\n1999/12/25\t1999/12/25\tB.LZH\tDUP\t\r\n");
        ReadList list;
        list.LoadReadList();
        QCOMPARE(list.ReadCount(), 2);
        QCOMPARE(list.find(QStringLiteral("Dup")), 0);
        const QDateTime t(QDate(2026, 12, 4), QTime(9, 0));
        list.PutReadEntry(t, t, QStringLiteral("C.LZH"), QStringLiteral("dUp"), QString());
        QCOMPARE(list.ReadCount(), 2);
        QCOMPARE(list.at(0).FileName, QStringLiteral("C.LZH"));
        QCOMPARE(list.at(1).FileName, QStringLiteral("B.LZH"));
    }

    void presenceIsTestedInEverySaveFolder()
    {
        TempProgramFolder home;
        const QString third = home.file(QStringLiteral("third"));
        QDir().mkpath(third);
        QFile f(third + QStringLiteral("/KK991224.LZH"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        Settings.SaveFolder[0] = home.file(QStringLiteral("missing"));
        Settings.SaveFolder[2] = third + QStringLiteral("/");
        writeList("1999/12/24\t1999/12/24\tKK991224.LZH\tu1\t\r\n1999/12/24\t1999/12/24\tKK000000.LZH\tu2\t\r\n");
        ReadList list;
        list.LoadReadList();
        QVERIFY(list.at(0).FilePresent);
        QVERIFY(!list.at(1).FilePresent);
    }

    void removedEntriesLeaveAtTheNextSave()
    {
        TempProgramFolder home;
        writeList("1999/12/24\t1999/12/24\t-\tu1\t\r\n1999/12/25\t1999/12/25\t-\tu2\t\r\n");
        ReadList list;
        list.LoadReadList();
        list.markRemoved({QStringLiteral("U1")});
        QVERIFY(list.SaveReadList());
        list.LoadReadList();
        QCOMPARE(list.ReadCount(), 1);
        QCOMPARE(list.at(0).Uid, QStringLiteral("u2"));
    }

    void missingOrUnwritableFileKeepsWhatThereIs()
    {
        TempProgramFolder home;
        ReadList list;
        const QDateTime t(QDate(2026, 12, 4), QTime(9, 0));
        list.PutReadEntry(t, t, QStringLiteral("-"), QStringLiteral("u1"), QString());
        list.LoadReadList(); // no file yet: the list in memory stays
        QCOMPARE(list.ReadCount(), 1);
        QVERIFY(list.SaveReadList());
        const QByteArray saved = readListFile();
        QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        list.PutReadEntry(t, t, QStringLiteral("-"), QStringLiteral("u2"), QString());
        bool ok = true;
        {
            PermissionsBind asUser;
            QVERIFY(asUser.active());
            ok = list.SaveReadList();
        }
        QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!ok);
        QCOMPARE(readListFile(), saved);
    }
};

QTEST_GUILESS_MAIN(TestReadList)
#include "test_readlist.moc"
