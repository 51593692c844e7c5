#include "platform/consoleline.h"

#include <QtTest>

#include <sys/stat.h>

class TestConsoleLine : public QObject
{
    Q_OBJECT
private slots:
    void format_data()
    {
        using P = ConsoleLine::Priority;
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("priority");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("terminal: as it is") << "ﾀﾞｳﾝﾛｰﾄﾞ完了" << int(P::Info) << false << QByteArray("ﾀﾞｳﾝﾛｰﾄﾞ完了\n");
        QTest::newRow("journal: failure") << "failed" << int(P::Err) << true << QByteArray("<3>failed\n");
        QTest::newRow("journal: warning") << "busy" << int(P::Warning) << true << QByteArray("<4>busy\n");
        QTest::newRow("journal: progress") << "1 bytes" << int(P::Debug) << true << QByteArray("<7>1 bytes\n");
        QTest::newRow("journal: every line") << "a\nb" << int(P::Info) << true << QByteArray("<6>a\n<6>b\n");
        QTest::newRow("journal: empty line") << "" << int(P::Info) << true << QByteArray("<6>\n");
    }
    void format()
    {
        QFETCH(QString, text);
        QFETCH(int, priority);
        QFETCH(bool, journal);
        QFETCH(QByteArray, expected);
        QCOMPARE(ConsoleLine::format(text, ConsoleLine::Priority(priority), journal), expected);
    }
    void journalOnlyWhereTheStreamIsIt()
    {
        qunsetenv("JOURNAL_STREAM");
        QVERIFY(!ConsoleLine::isJournal(stderr));
        struct stat st;
        QVERIFY(::fstat(fileno(stderr), &st) == 0);
        qputenv("JOURNAL_STREAM", QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino)));
        QVERIFY(ConsoleLine::isJournal(stderr));
        qputenv("JOURNAL_STREAM", "1:2");
        QVERIFY(!ConsoleLine::isJournal(stderr));
        qunsetenv("JOURNAL_STREAM");
    }
};

QTEST_MAIN(TestConsoleLine)
#include "test_consoleline.moc"
