#include "core/wildcard.h"

#include <QtTest>

class TestWildcard : public QObject
{
    Q_OBJECT
private slots:
    void matching_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        QTest::newRow("star any run") << "DU991224.LZH"
                                      << "DU*.LZH" << true;
        QTest::newRow("case ignored") << "du991224.lzh"
                                      << "DU*.LZH" << true;
        QTest::newRow("other kind") << "SH991224.LZH"
                                    << "DU*.LZH" << false;
        QTest::newRow("star empty run") << "DU.LZH"
                                        << "DU*.LZH" << true;
        QTest::newRow("question one char") << "CC1.LZH"
                                           << "CC?.LZH" << true;
        QTest::newRow("question not zero chars") << "CC.LZH"
                                                 << "CC?.LZH" << false;
        QTest::newRow("hash digit") << "CC991224.LZH"
                                    << "CC######.LZH" << true;
        QTest::newRow("hash not letter") << "CC99122X.LZH"
                                         << "CC######.LZH" << false;
        QTest::newRow("hash not fullwidth digit") << QStringLiteral("CC１") << "CC#" << false;
        QTest::newRow("command line settings switch") << "kivrel /S"
                                                      << "*/s*" << true;
        QTest::newRow("switch inside a word") << "/home/me/my-stuff"
                                              << "*-s*" << true;
        QTest::newRow("no switch") << "/a"
                                   << "*/s*" << false;
        QTest::newRow("empty text, star") << ""
                                          << "*" << true;
        QTest::newRow("empty text, empty pattern") << ""
                                                   << "" << true;
        QTest::newRow("text, empty pattern") << "a"
                                             << "" << false;
        QTest::newRow("brackets are literal") << "[a]"
                                              << "[a]" << true;
        QTest::newRow("bracket not a class") << "a"
                                             << "[a]" << false;
        QTest::newRow("star needs backtracking") << "aXbXc"
                                                 << "*X*c" << true;
        QTest::newRow("japanese") << QStringLiteral("出馬表.LZH") << QStringLiteral("出?表*") << true;
        QTest::newRow("question on a surrogate pair") << QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                                           "b")
                                                      << "a?b" << true;
        QTest::newRow("many stars, no match") << QString(2000, u'a') << "*a*a*a*a*a*a*a*a*b" << false;
        QTest::newRow("many stars, match") << (QString(2000, u'a') + u'b') << "*a*a*a*a*a*a*a*a*b" << true;
    }
    void matching()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(WildcardMatch(text, pattern), matches);
    }
};

QTEST_GUILESS_MAIN(TestWildcard)
#include "test_wildcard.moc"
