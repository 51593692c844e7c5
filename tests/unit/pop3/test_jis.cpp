#include "pop3/jis.h"

#include <QTest>

// ESC "$B" 漢字 ESC "(B" and the Shift_JIS bytes of 漢字.
static const QByteArray Kanji = QByteArray("\x1b$B4A;z\x1b(B");
static const QByteArray KanjiSjis = QByteArray("\x8a\xbf\x8e\x9a");

class TestJis : public QObject
{
    Q_OBJECT
private slots:
    void convert_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("ok");

        QTest::newRow("no marker") << QByteArray("plain text\r\n") << QByteArray("plain text\r\n") << true;
        QTest::newRow("two kanji") << Kanji << KanjiSjis << true;
        QTest::newRow("text around") << "[" + Kanji + "]"
                                     << "[" + KanjiSjis + "]" << true;
        QTest::newRow("(B before the first $B") << "\x1b(Babc" + Kanji << "\x1b(Babc" + KanjiSjis << true;
        QTest::newRow("ended by (J") << QByteArray("\x1b$B$\"\x1b(J") << QByteArray("\x82\xa0") << true;
        // The segment runs to the (J although an (B comes first; the (B and
        // the letters inside are taken as pairs too.
        QTest::newRow("(J wins over an earlier (B")
            << QByteArray("\x1b$B4A\x1b(Bx\x1b(Jz") << QByteArray("\x8a\xbf\x81\xac\x91\xf6z") << true;
        QTest::newRow("no end marker") << QByteArray("a\x1b$B4A;z") << QByteArray("a\x1b$B4A;z") << true;
        QTest::newRow("second segment unterminated") << Kanji + "\x1b$B4A" << KanjiSjis + "\x1b$B4A" << true;
        QTest::newRow("two segments") << Kanji + " " + Kanji << KanjiSjis + " " + KanjiSjis << true;
        QTest::newRow("empty segment") << QByteArray("a\x1b$B\x1b(Bb") << QByteArray("ab") << true;
        // Removing an empty segment joins ESC and "$B" into a new start marker.
        QTest::newRow("marker formed by removal")
            << QByteArray("\x1b\x1b$B\x1b(B$B4A\x1b(B") << QByteArray("\x8a\xbf") << true;
        QTest::newRow("marker formed, two bytes before")
            << QByteArray("\x1b$\x1b$B\x1b(BB4A\x1b(B") << QByteArray("\x8a\xbf") << true;
        // The kept lone byte of an odd segment completes ESC "$B" with the two bytes before it.
        QTest::newRow("marker completed by a lone byte")
            << QByteArray("\x1b$\x1b$BB\x1b(J4A\x1b(B") << QByteArray("\x8a\xbf") << false;
        QTest::newRow("odd segment keeps its pairs")
            << QByteArray("\x1b$B4A;\x1b(B") << QByteArray("\x8a\xbf;") << false;
        QTest::newRow("odd segment, later one converted")
            << QByteArray("\x1b$B4A;\x1b(B-") + Kanji << QByteArray("\x8a\xbf;-") + KanjiSjis << false;
        QTest::newRow("line end inside a segment") << QByteArray("\x1b$B\r\n\x1b(B") << QByteArray("\x81\xac") << true;
        QTest::newRow("empty") << QByteArray() << QByteArray() << true;
    }
    void convert()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QFETCH(bool, ok);
        bool converted = !ok;
        QCOMPARE(JisToShiftJis(input, &converted), expected);
        QCOMPARE(converted, ok);
        // The same result on a text that is not shared (converted where it lies).
        QByteArray own(input.constData(), input.size());
        QCOMPARE(JisToShiftJis(std::move(own)), expected);
        // Converted start plus the unchanged rest.
        qsizetype consumed = -1;
        const QByteArray head = JisToShiftJisHead(input, &consumed);
        QCOMPARE(head + input.mid(consumed), expected);
    }

    void sharedInputIsLeftAlone()
    {
        const QByteArray original = "x" + Kanji + "y";
        const QByteArray copy = original;
        const QByteArray converted = JisToShiftJis(copy);
        QCOMPARE(original, "x" + Kanji + "y");
        QCOMPARE(copy, original);
        QCOMPARE(converted, "x" + KanjiSjis + "y");
    }

    void manySegmentsWithoutRomanMarker()
    {
        // Linear time matters here: every segment ends with (B and there is no (J.
        QByteArray text, expected;
        for (int i = 0; i < 20000; ++i) {
            text += Kanji + "\r\n";
            expected += KanjiSjis + "\r\n";
        }
        QCOMPARE(JisToShiftJis(text), expected);
    }
};

QTEST_GUILESS_MAIN(TestJis)
#include "test_jis.moc"
