#include "core/secret.h"

#include <QtTest>

// Worked by hand for the key 39516208: X0 = 3951, A = 4 * 62 + 1 = 249, C = 2 * 8 + 1 = 17.
//   X1 = (249 * 3951 + 17) mod 32768 = 983816 mod 32768 = 776,    776 & 63 = 8
//   X2 = (249 * 776 + 17) mod 32768 = 193241 mod 32768 = 29401,   29401 & 63 = 25
//   X3 = (249 * 29401 + 17) mod 32768 = 7320866 mod 32768 = 13602, 13602 & 63 = 34
//   X4 = (249 * 13602 + 17) mod 32768 = 3386915 mod 32768 = 11811, 11811 & 63 = 35
// Alphabet indices: "0"-"9" 0-9, "?" 10, "@" 11, "A"-"Z" 12-37, "a"-"z" 38-63.
//   "abc":  a 38^8 = 46 "i", b 39^25 = 62 "y", c 40^34 = 10 "?"            -> "iy?"
//   "0000": 0^8 = 8 "8", 0^25 = 25 "N", 0^34 = 34 "W", 0^35 = 35 "X"     -> "8NWX"
//   "a b":  the blank is kept and does not advance: a -> "i", b 39^25 -> "y" -> "i y"
//   "AbC9": A 12^8 = 4 "4", b 39^25 = 62 "y", C 14^34 = 44 "g", 9^35 = 42 "e" -> "4yge"
class TestSecret : public QObject
{
    Q_OBJECT
private slots:
    void vectors_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("scrambled");
        QTest::newRow("letters") << "abc"
                                 << "iy?";
        QTest::newRow("digits") << "0000"
                                << "8NWX";
        QTest::newRow("blank does not advance") << "a b"
                                                << "i y";
        QTest::newRow("mixed case") << "AbC9"
                                    << "4yge";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("outside the alphabet stays in clear") << QStringLiteral("競-_ !") << QStringLiteral("競-_ !");
    }
    void vectors()
    {
        QFETCH(QString, plain);
        QFETCH(QString, scrambled);
        QCOMPARE(EncodeString(plain, kPasswordKey), scrambled);
        QCOMPARE(DecodeString(scrambled, kPasswordKey), plain);
    }

    void roundTrips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("password") << "Secr3tPassw0rd";
        QTest::newRow("every symbol") << "0123456789?@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        QTest::newRow("punctuation and kana") << QStringLiteral("p@ss wörd ﾊﾟｽ#1");
        QTest::newRow("long") << QString(5000, u'z');
    }
    void roundTrips()
    {
        QFETCH(QString, text);
        const QString stored = EncodeString(text, kPasswordKey);
        QCOMPARE(stored.size(), text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            const bool inAlphabet = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                                    c == u'?' || c == u'@';
            if (!inAlphabet)
                QCOMPARE(stored[i], text[i]); // kept in clear at its place
        }
        QCOMPARE(DecodeString(stored, kPasswordKey), text);
        // Nothing carries over between calls.
        QCOMPARE(EncodeString(text, kPasswordKey), stored);
    }

    void otherKeyGivesOtherText()
    {
        QVERIFY(EncodeString("abcdef", "12345678") != EncodeString("abcdef", kPasswordKey));
        QCOMPARE(DecodeString(EncodeString("abcdef", "12345678"), "12345678"), QStringLiteral("abcdef"));
    }
};

QTEST_GUILESS_MAIN(TestSecret)
#include "test_secret.moc"
