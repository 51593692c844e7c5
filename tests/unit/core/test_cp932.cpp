#include "core/cp932.h"

#include <QtTest>

class TestCp932 : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("+OK 2 320") << QByteArray("+OK 2 320");
        QTest::newRow("fullwidth plus") << QStringLiteral("＋") << QByteArray("\x81\x7b");
        QTest::newRow("middle dot") << QStringLiteral("・") << QByteArray("\x81\x45");
        QTest::newRow("fullwidth minus") << QStringLiteral("－") << QByteArray("\x81\x7c");
        QTest::newRow("halfwidth katakana") << QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ") << QByteArray("\xc0\xde\xb3\xdd\xdb\xb0\xc4\xde");
        QTest::newRow("kanji") << QStringLiteral("競走馬") << QByteArray("\x8b\xa3\x91\x96\x94\x6e");
        QTest::newRow("ideographic space") << QStringLiteral("\u3000") << QByteArray("\x81\x40");
        QTest::newRow("wave dash form") << QStringLiteral("～") << QByteArray("\x81\x60");
    }
    void roundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Cp932::encode(text), bytes);
        QCOMPARE(Cp932::decode(bytes), text);
    }

    void invalidBytesBecomeReplacement()
    {
        // A lead byte without its trail byte at the end, and an unassigned byte.
        QCOMPARE(Cp932::decode(QByteArray("a\x82")), QStringLiteral("a\uFFFD"));
        QCOMPARE(Cp932::decode(QByteArray("\xa0" "b")), QStringLiteral("\uFFFD" "b"));
    }

    void unmappableCharactersBecomeQuestionMarks()
    {
        QCOMPARE(Cp932::encode(QStringLiteral("a\u00e9b")), QByteArray("a?b"));
        QCOMPARE(Cp932::encode(QString::fromUtf8("x\xF0\x9F\x98\x80y")), QByteArray("x?y"));
    }
};

QTEST_GUILESS_MAIN(TestCp932)
#include "test_cp932.moc"
