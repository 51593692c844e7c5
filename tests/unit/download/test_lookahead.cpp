#include "download/lookahead.h"

#include <QtTest>

#include <map>

// Each row: the budget, the planned messages "n:size", and steps: "f" fill,
// "=k:bytes" the k-th command sent (from 1) ends whole with that many bytes,
// "=k:bytes:w" the same for a TOP that shows a wanted file, "~k:bytes" bytes
// of the k-th reply arrived so far, "tN" / "rN" the scan asks for message N's
// TOP / RETR, "dN" the scan is done with N. Expected: the commands in the
// order sent with the replies released ("release k"), and the bytes held at the end.
class TestLookahead : public QObject
{
    Q_OBJECT
private slots:
    void schedule_data()
    {
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<QString>("planned");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<qint64>("held");

        QTest::newRow("coming replies count their LIST size")
            << 250LL << "1:100 2:100 3:100" << "f" << "TOP 1 20|TOP 2 20|TOP 3 20" << 300LL;
        QTest::newRow("an ended reply counts its own bytes")
            << 250LL << "1:100 2:100 3:100 4:100" << "f =1:10 f" << "TOP 1 20|TOP 2 20|TOP 3 20|TOP 4 20"
            << 310LL;
        QTest::newRow("more arrived than listed counts what arrived")
            << 1000LL << "1:100" << "f ~1:400" << "TOP 1 20" << 400LL;
        QTest::newRow("a wanted file's retrieval goes ahead")
            << 1000LL << "1:100 2:50" << "f =1:20:w f" << "TOP 1 20|TOP 2 20|RETR 1" << 170LL;
        QTest::newRow("no retrieval for other mails") << 1000LL << "1:100 2:50" << "f =1:20 f"
                                                       << "TOP 1 20|TOP 2 20" << 70LL;
        QTest::newRow("looked at in order: a later reply waits for the earlier")
            << 1000LL << "1:100 2:50" << "f =2:20:w f" << "TOP 1 20|TOP 2 20" << 120LL;
        QTest::newRow("done frees its bytes for the next")
            << 150LL << "1:100 2:100 3:100" << "f t1 =1:30 d1 f t2"
            << "TOP 1 20|TOP 2 20|release 1|TOP 3 20" << 200LL;
        QTest::newRow("a retrieval sent ahead and never asked for is released")
            << 1000LL << "1:100 2:50" << "f =1:20:w f t1 d1" << "TOP 1 20|TOP 2 20|RETR 1|release 1|release 3" << 50LL;
        QTest::newRow("asked before it went ahead: sent once, then")
            << 50LL << "1:100 2:100" << "f t1 t2 r2 f" << "TOP 1 20|TOP 2 20|RETR 2" << 300LL;
        QTest::newRow("the retrieval sent ahead is the one given")
            << 1000LL << "1:10" << "f =1:5:w f r1" << "TOP 1 20|RETR 1" << 15LL;
    }

    void schedule()
    {
        QFETCH(qint64, budget);
        QFETCH(QString, planned);
        QFETCH(QString, steps);

        std::map<Lookahead::Id, Lookahead::Reply> replies;
        std::map<Lookahead::Id, bool> wanted;
        QStringList sent;
        Lookahead::Line line;
        line.submit = [&](const QByteArray &command, ReplyMode, qint64) {
            sent << QString::fromLatin1(command);
            replies[sent.size()];
            return Lookahead::Id(sent.size());
        };
        line.reply = [&](Lookahead::Id id) -> const Lookahead::Reply * {
            const auto it = replies.find(id);
            return it == replies.end() ? nullptr : &it->second;
        };
        line.wanted = [&](const QByteArray &top) { return top.endsWith('w'); };
        line.release = [&](Lookahead::Id id) { sent << QStringLiteral("release %1").arg(id); };
        Lookahead ahead(line, budget);
        for (const QString &p : planned.split(u' '))
            ahead.plan(p.section(u':', 0, 0).toLongLong(), p.section(u':', 1, 1).toLongLong());
        for (const QString &step : steps.split(u' ')) {
            const qint64 n = step.mid(1).section(u':', 0, 0).toLongLong();
            switch (step.front().unicode()) {
            case 'f': ahead.fill(); break;
            case 't': ahead.top(n); break;
            case 'r': ahead.retr(n); break;
            case 'd': ahead.done(n); break;
            default: {
                Lookahead::Reply &r = replies.at(Lookahead::Id(n));
                r.bytes = QByteArray(step.section(u':', 1, 1).toInt(), 'x');
                if (step.section(u':', 2, 2) == u"w")
                    r.bytes.back() = 'w';
                if (step.front() == u'=')
                    r.status = CommandStatus::Complete;
            }
            }
        }
        QTEST(sent.join(u'|'), "sent");
        QTEST(ahead.held(), "held");
    }
};

QTEST_GUILESS_MAIN(TestLookahead)
#include "test_lookahead.moc"
