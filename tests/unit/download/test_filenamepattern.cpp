#include "core/apppaths.h"
#include "core/cp932.h"
#include "download/filenamepattern.h"
#include "testsupport.h"

#include <QFile>
#include <QtTest>

class TestFileNamePattern : public QObject
{
    Q_OBJECT
private slots:
    void match_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<QString>("lastLog");
        const QString def = QStringLiteral("DU,DW,DX,DZ,SH,SJ,SQ,KK,CC");
        const QString none = QStringLiteral("パターンに合致しない");
        QTest::newRow("default SH") << "SH991204.LZH" << def << true << "SH##????.LZHと合致";
        QTest::newRow("lower case") << "du991204.lzh" << def << true << "DU##????.LZHと合致";
        QTest::newRow("one short") << "DU99120.LZH" << def << false << none;
        QTest::newRow("extra extension") << "DU991204.LZH.TXT" << def << false << none;
        QTest::newRow("third not a digit") << "DUX91204.LZH" << def << false << none;
        QTest::newRow("empty list") << "DU991204.LZH"
                                    << "" << false << none;
        QTest::newRow("double comma") << "KK991204.LZH"
                                      << "DU,,KK" << true << "KK##????.LZHと合致";
        QTest::newRow("trailing comma") << "991204.LZH"
                                        << "DU," << true << "##????.LZHと合致";
        QTest::newRow("blank after comma") << "DW991204.LZH"
                                           << "DU, DW" << false << none;
        QTest::newRow("unsafe name") << "../DU991204.LZH"
                                     << "DU," << false << "ファイル名が安全でないためダウンロード対象外";
    }
    void match()
    {
        QFETCH(QString, name);
        QFETCH(QString, patterns);
        QFETCH(bool, matches);
        QFETCH(QString, lastLog);
        TempProgramFolder home;
        QCOMPARE(MatchFileNamePattern(name, patterns), matches);
        QFile log(AppPaths::inProgramFolder(QStringLiteral("KVLOG.TXT")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = Cp932::decode(log.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), QStringLiteral("ファイル名のパターン合致調査(") + name + QStringLiteral("が") +
                                    patterns + QStringLiteral("のいずれかに含まれているか)"));
        QCOMPARE(lines.last(), lastLog);
    }
};

QTEST_GUILESS_MAIN(TestFileNamePattern)
#include "test_filenamepattern.moc"
