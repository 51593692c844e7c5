#include "pop3/replymatcher.h"

#include <QtTest>

using Steps = QList<QByteArray>;

// A conversation as the matcher sees it. Steps: "S", "M" or "P" a command (a
// single-line, multi-line or proof reply expected); "A" / "G" the oldest
// reply given up and kept as it stands / failed; "<bytes" server bytes, one
// chunk per step. Each reply ends as "Cw" (complete and whole), "C-" (taken
// without its end), "Fw" (refused), "F-" (failed) or "W-" (still waiting),
// with "t" added when bytes that were no reply came right after it.
class TestReplyMatcher : public QObject
{
    Q_OBJECT
private slots:
    void matching_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QByteArray>("outcomes");
        QTest::addColumn<Steps>("bodies");
        QTest::addColumn<QByteArray>("stream");

        QTest::newRow("late tail never completes the next command")
            << Steps{"M", "<+OK\r\n--BND--\r\n", "A", "S", "<\r\n.\r\n+OK 1 2\r\n"} << QByteArray("C- W-")
            << Steps{"+OK\r\n--BND--\r\n", ""} << QByteArray("out");
        QTest::newRow("late tail, then the proof, then the next reply")
            << Steps{"M", "<+OK\r\n--BND--\r\n", "A", "P", "S", "<\r\n.\r\n+OK\r\n", "<+OK 1 2\r\n"}
            << QByteArray("C- Cw Cw") << Steps{"+OK\r\n--BND--\r\n", "+OK\r\n", "+OK 1 2\r\n"} << QByteArray("in");
        QTest::newRow("proof after text that is no tail")
            << Steps{"M", "<+OK\r\nab\r\n", "A", "P", "S", "<cd\r\n.\r\n+OK\r\n"} << QByteArray("C- F- F-")
            << Steps{"+OK\r\nab\r\n", "cd\r\n", ""} << QByteArray("broken");
        QTest::newRow("proof after two terminator lines")
            << Steps{"M", "<+OK\r\nab", "G", "P", "<\r\n.\r\n.\r\n+OK\r\n"} << QByteArray("F- F-")
            << Steps{"+OK\r\nab", ".\r\n"} << QByteArray("broken");
        QTest::newRow("bytes after the proof, before anything was sent")
            << Steps{"S", "<+OK 2", "G", "P", "<\r\n+OK\r\n+OK 1\r\n"} << QByteArray("F- Cw")
            << Steps{"+OK 2", "+OK\r\n"} << QByteArray("broken");
        QTest::newRow("unasked bytes are out of step")
            << Steps{"<+OK hello\r\n", "S", "<+OK 1 2\r\n"} << QByteArray("W-") << Steps{""} << QByteArray("out");
        QTest::newRow("unasked bytes, then the proof")
            << Steps{"<+OK hello\r\n", "P", "<+OK\r\n"} << QByteArray("Cw") << Steps{"+OK\r\n"} << QByteArray("in");
        QTest::newRow("reply without a status indicator")
            << Steps{"S", "S", "<OK 2 320\r\n+OK\r\n"} << QByteArray("F- F-") << Steps{"OK 2 320\r\n", ""}
            << QByteArray("out");
        QTest::newRow("terminator split across chunks")
            << Steps{"M", "<+OK\r\n1 a\r", "<\n", "<.", "<\r", "<\n"} << QByteArray("Cw")
            << Steps{"+OK\r\n1 a\r\n.\r\n"} << QByteArray("in");
        QTest::newRow("dot-stuffed line split after its first dot")
            << Steps{"M", "<+OK\r\nx\r\n.", "<.\r\n", "<y\r\n.\r\n"} << QByteArray("Cw")
            << Steps{"+OK\r\nx\r\n..\r\ny\r\n.\r\n"} << QByteArray("in");
        QTest::newRow("-ERR to a multi-line command ends at its status line")
            << Steps{"M", "S", "<-ERR no such message\r\n+OK\r\n"} << QByteArray("Fw Cw")
            << Steps{"-ERR no such message\r\n", "+OK\r\n"} << QByteArray("in");
        QTest::newRow("replies in command order, one chunk")
            << Steps{"M", "S", "<+OK\r\n.\r\n+OK 1 2\r\n"} << QByteArray("Cw Cw")
            << Steps{"+OK\r\n.\r\n", "+OK 1 2\r\n"} << QByteArray("in");
        QTest::newRow("a lone dot ends a reply early, the rest is nobody's")
            << Steps{"M", "<+OK\r\nab\r\n.\r\ncd\r\n.\r\n"} << QByteArray("Cwt") << Steps{"+OK\r\nab\r\n.\r\n"}
            << QByteArray("out");
        QTest::newRow("the rest in place of the next reply")
            << Steps{"M", "S", "<+OK\r\nab\r\n.\r\n", "<cd\r\n.\r\n"} << QByteArray("Cwt F-")
            << Steps{"+OK\r\nab\r\n.\r\n", "cd\r\n"} << QByteArray("out");
        QTest::newRow("a reply taken without its end is not trailed")
            << Steps{"M", "<+OK\r\nab\r\n", "A", "<x\r\n"} << QByteArray("C-") << Steps{"+OK\r\nab\r\n"}
            << QByteArray("out");
        QTest::newRow("rest of a failed reply is not the next one's")
            << Steps{"S", "<+OK 2", "G", "S", "< 320\r\n"} << QByteArray("F- W-") << Steps{"+OK 2", ""}
            << QByteArray("out");
    }
    void matching()
    {
        QFETCH(Steps, steps);
        QFETCH(QByteArray, outcomes);
        QFETCH(Steps, bodies);
        QFETCH(QByteArray, stream);
        ReplyMatcher matcher;
        QList<ReplyMatcher::Id> ids;
        for (const QByteArray &step : steps) {
            if (step == "S")
                ids << matcher.expect(ReplyMode::SingleLine);
            else if (step == "M")
                ids << matcher.expect(ReplyMode::MultiLine);
            else if (step == "P")
                ids << matcher.expectProof();
            else if (step == "A" || step == "G")
                matcher.giveUpOldest(step == "A");
            else
                matcher.feed(QByteArrayView(step).sliced(1));
        }
        QStringList got;
        QList<QByteArray> gotBodies;
        for (ReplyMatcher::Id id : ids) {
            const ReplyMatcher::Reply *r = matcher.find(id);
            QVERIFY(r);
            const char status = r->status == CommandStatus::Complete  ? 'C'
                                : r->status == CommandStatus::Waiting ? 'W'
                                                                      : 'F';
            got << QString(QLatin1Char(status)) + QLatin1Char(r->whole ? 'w' : '-') +
                       (r->trailed ? QStringLiteral("t") : QString());
            gotBodies << r->bytes;
        }
        QCOMPARE(got.join(u' ').toLatin1(), outcomes);
        QCOMPARE(gotBodies, bodies);
        const QByteArray state = matcher.broken() ? "broken" : matcher.outOfStep() ? "out" : "in";
        QCOMPARE(state, stream);
    }
};

QTEST_APPLESS_MAIN(TestReplyMatcher)
#include "test_replymatcher.moc"
