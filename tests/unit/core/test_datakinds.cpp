#include "core/datakinds.h"

#include <QtTest>

class TestDataKinds : public QObject
{
    Q_OBJECT
private slots:
    void catalogue()
    {
        InitDataKinds();
        QCOMPARE(DataKindCount, 10);
        QCOMPARE(DataKinds[0].prefixList, QStringLiteral("DU,DV,DW,DX,DY,DZ"));
        QCOMPARE(DataKinds[0].description, QStringLiteral("出馬表\uFF0B競走馬 日別全場一括"));
        QCOMPARE(DataKinds[1].prefixList, QStringLiteral("D1,D2,D3,D5,D6,D7"));
        QCOMPARE(DataKinds[2].prefixList, QStringLiteral("AA,A1,A2,A3,A5,A6,A7"));
        QCOMPARE(DataKinds[5].description, QStringLiteral("騎手\u30FB現役"));
        QCOMPARE(DataKinds[9].prefixList, QStringLiteral("BB,U0"));
        QCOMPARE(DataKinds[9].description, QStringLiteral("新規馬名登録馬"));
        for (int i = 10; i < kDataKindCapacity; ++i)
            QVERIFY(DataKinds[i].prefixList.isEmpty() && DataKinds[i].description.isEmpty());
        // Filling twice does not grow the table.
        InitDataKinds();
        QCOMPARE(DataKindCount, 10);
    }

    void description_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no year mark") << "TURFNET data\r\n"
                                      << "";
        QTest::newRow("line of a data mail")
            << QStringLiteral("ご利用ありがとうございます\r\n2099年08月22日 競走馬＋出馬表 日別全場一括 前売分\r\n以上")
            << QStringLiteral("2099年08月22日 競走馬＋出馬表 日別全場一括 前売分");
        QTest::newRow("word before the digits left out")
            << QStringLiteral("受付 2099年08月22日 出馬表") << QStringLiteral("2099年08月22日 出馬表");
        QTest::newRow("year with a 7") << QStringLiteral("x2007年1月") << QStringLiteral("2007年1月");
        QTest::newRow("year mark first") << QStringLiteral("年次 報告\r\nnext") << QStringLiteral("年次 報告");
        QTest::newRow("short line, nothing after the line end")
            << QStringLiteral("1年\r\n2000年") << QStringLiteral("1年");
        QTest::newRow("bare line feed ends the line too")
            << QStringLiteral("1999年12月\nrest") << QStringLiteral("1999年12月");
        QTest::newRow("fullwidth digits are not gathered") << QStringLiteral("２０９９年") << QStringLiteral("年");
        QTest::newRow("blanks trimmed") << QStringLiteral("  2000年 春  \r\n") << QStringLiteral("2000年 春");
    }
    void description()
    {
        QFETCH(QString, body);
        QFETCH(QString, expected);
        QCOMPARE(GetDiscription(body), expected);
    }
};

QTEST_GUILESS_MAIN(TestDataKinds)
#include "test_datakinds.moc"
