#include "core/token.h"

#include <QtTest>

class TestToken : public QObject
{
    Q_OBJECT
private slots:
    void splitting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("chars");
        QTest::addColumn<QString>("string");
        // What NextToken returns until IsEnd, and what Fields 1..FieldsCount give.
        QTest::addColumn<QStringList>("sequence");
        QTest::addColumn<QStringList>("fields");

        const QString dot = QStringLiteral("\r\n.\r\n");
        QTest::newRow("backslashes, leading/doubled/trailing")
            << QStringLiteral("\\a\\\\b\\") << QStringLiteral("\\") << QString() << QStringList{"a", "b", ""}
            << QStringList{"a", "b", ""};
        QTest::newRow("empty place between commas is skipped")
            << QStringLiteral("DU,DW,,KK") << QStringLiteral(",") << QString() << QStringList{"DU", "DW", "KK"}
            << QStringList{"DU", "DW", "KK"};
        QTest::newRow("tab cr lf, trailing line end gives one empty field")
            << QStringLiteral("a\tb\r\n") << QStringLiteral("\t\r\n") << QString() << QStringList{"a", "b", ""}
            << QStringList{"a", "b", ""};
        QTest::newRow("only delimiters") << QStringLiteral(",,,") << QStringLiteral(",") << QString() << QStringList{""}
                                         << QStringList{""};
        QTest::newRow("no delimiter in text")
            << QStringLiteral("abc") << QStringLiteral(",") << QString() << QStringList{"abc"} << QStringList{"abc"};
        QTest::newRow("string ending in delimiter has no empty field after it")
            << (QStringLiteral("m1") + dot + QStringLiteral("m2") + dot) << QString() << dot << QStringList{"m1", "m2"}
            << QStringList{"m1", "m2"};
        QTest::newRow("two delimiter strings in a row give an empty field")
            << (QStringLiteral("m1") + dot + dot + QStringLiteral("m2")) << QString() << dot
            << QStringList{"m1", "", "m2"} << QStringList{"m1", "", "m2"};
        QTest::newRow("string starting with the delimiter")
            << (dot + QStringLiteral("x")) << QString() << dot << QStringList{"", "x"} << QStringList{"", "x"};
        QTest::newRow("delimiter string is case-sensitive")
            << QStringLiteral("aXbxc") << QString() << QStringLiteral("x") << QStringList{"aXb", "c"}
            << QStringList{"aXb", "c"};
        QTest::newRow("characters win over the string")
            << QStringLiteral("a,b;c") << QStringLiteral(",") << QStringLiteral(";") << QStringList{"a", "b;c"}
            << QStringList{"a", "b;c"};
        QTest::newRow("empty text") << QString() << QStringLiteral(",") << QString() << QStringList{} << QStringList{};
        QTest::newRow("empty text, string mode") << QString() << QString() << dot << QStringList{} << QStringList{};
    }
    void splitting()
    {
        QFETCH(QString, text);
        QFETCH(QString, chars);
        QFETCH(QString, string);
        QFETCH(QStringList, sequence);
        QFETCH(QStringList, fields);

        Token t;
        t.Init(text, chars, string);
        QStringList got;
        while (!t.IsEnd() && got.size() <= sequence.size())
            got << t.NextToken();
        QCOMPARE(got, sequence);
        QVERIFY(t.NextToken().isEmpty());

        // The index is built from the start and does not move the sequential position.
        Token r;
        r.Init(text, chars, string);
        QCOMPARE(r.NextToken(), sequence.value(0));
        QCOMPARE(r.FieldsCount(), fields.size());
        for (int i = 1; i <= fields.size(); ++i)
            QCOMPARE(r.Fields(i), fields[i - 1]);
        QCOMPARE(r.Fields(0), QString());
        QCOMPARE(r.Fields(-1), QString());
        QCOMPARE(r.Fields(fields.size() + 1), QString());
        QCOMPARE(r.Fields(std::numeric_limits<int>::max()), QString());
        if (sequence.size() > 1)
            QCOMPARE(r.NextToken(), sequence[1]);
    }

    void fieldIndexArithmetic_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("index");
        QTest::newRow("10 chars: width 2, field at 3 of length 4")
            << QStringLiteral(",,abcd,efg") << 2 << QStringLiteral("03040803");
        QTest::newRow("9 chars: width 1") << QStringLiteral("ab,cd,efg") << 1 << QStringLiteral("124273");
        QTest::newRow("trailing delimiter recorded with start 0")
            << QStringLiteral("a,") << 1 << QStringLiteral("1100");
        QTest::newRow("empty text: width 1, no fields") << QString() << 1 << QString();
        QTest::newRow("100 chars: width 3") << (QString(99, u'x') + u',') << 3 << QStringLiteral("001099000000");
    }
    void fieldIndexArithmetic()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, index);
        Token t;
        t.Init(text, QStringLiteral(","));
        QCOMPARE(t.fieldIndexWidth(), 0); // built lazily
        t.FieldsCount();
        QCOMPARE(t.fieldIndexWidth(), width);
        QCOMPARE(t.fieldIndexText(), index);
    }

    void settingTextResetsPositionAndIndex()
    {
        Token t;
        t.Init(QStringLiteral("a,b"), QStringLiteral(","));
        QCOMPARE(t.NextToken(), QStringLiteral("a"));
        QCOMPARE(t.FieldsCount(), 2);
        t.setSourceText(QStringLiteral("x,y,z"));
        QCOMPARE(t.SourceText(), QStringLiteral("x,y,z"));
        QCOMPARE(t.NextToken(), QStringLiteral("x"));
        QCOMPARE(t.FieldsCount(), 3);
        QCOMPARE(t.Fields(3), QStringLiteral("z"));
    }

    void neitherDelimiterHasNoFields()
    {
        Token t;
        t.Init(QStringLiteral("some text"));
        QCOMPARE(t.FieldsCount(), 0);
        QCOMPARE(t.Fields(1), QString());
        QCOMPARE(t.NextToken(), QString());
        QVERIFY(!t.IsEnd()); // the position never moves
    }

    void emptyTextIsEndAtOnce()
    {
        Token t;
        t.Init(QString(), QStringLiteral(","));
        QVERIFY(t.IsEnd());
        QCOMPARE(t.NextToken(), QString());
    }

    void fieldsValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("integer") << QStringLiteral("12") << QVariant(12);
        QTest::newRow("leading zeros") << QStringLiteral("007") << QVariant(7);
        QTest::newRow("fraction") << QStringLiteral("1.5") << QVariant(1.5);
        QTest::newRow("trailing zero fraction") << QStringLiteral("2.50") << QVariant(2.5);
        QTest::newRow("whole number with point") << QStringLiteral("3.0") << QVariant(3);
        QTest::newRow("number then letters") << QStringLiteral("12abc") << QVariant(12);
        QTest::newRow("fraction then letters") << QStringLiteral("2.5kg") << QVariant(2.5);
        QTest::newRow("letters") << QStringLiteral("abc") << QVariant(0);
        QTest::newRow("empty") << QString() << QVariant(0);
        QTest::newRow("negative") << QStringLiteral("-4") << QVariant(-4);
        QTest::newRow("below one") << QStringLiteral("0.5") << QVariant(0.5);
        QTest::newRow("beyond 32 bits") << QStringLiteral("3000000000") << QVariant(3e9);
        QTest::newRow("not a number word") << QStringLiteral("nan") << QVariant(0);
    }
    void fieldsValue()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, value);
        Token t;
        t.Init(QStringLiteral("x\t") + text + QStringLiteral("\ty"), QString(), QStringLiteral("\t"));
        const QVariant got = t.FieldsValue(2);
        QCOMPARE(got.typeId(), value.typeId());
        QCOMPARE(got, value);
    }

    void fieldsValueOutOfRange()
    {
        Token t;
        t.Init(QStringLiteral("5,6"), QStringLiteral(","));
        QCOMPARE(t.FieldsValue(-3), QVariant(0));
        QCOMPARE(t.FieldsValue(0), QVariant(0));
        QCOMPARE(t.FieldsValue(3), QVariant(0));
        QCOMPARE(t.FieldsValue(2), QVariant(6));
    }
};

QTEST_GUILESS_MAIN(TestToken)
#include "test_token.moc"
