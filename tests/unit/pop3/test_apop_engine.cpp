#include "apoptestsession.h"

#include <QtTest>

using Chunks = QList<QByteArray>;

class TestApopEngine : public QObject
{
    Q_OBJECT
private slots:
    // Each chunk arrives on its own pump; the command must still be waiting
    // before the last chunk and end with `status` right after it.
    void replyCompletion_data()
    {
        QTest::addColumn<bool>("multiLine");
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<int>("status");
        const int ok = int(aPOP::CommandComplete), failed = int(aPOP::CommandFailed),
                  waiting = int(aPOP::CommandWaiting);
        QTest::newRow("stat one chunk") << false << Chunks{"+OK 2 320\r\n"} << ok;
        QTest::newRow("stat split") << false << Chunks{"+OK 2 3", "20\r\n"} << ok;
        QTest::newRow("CR and LF in two chunks") << false << Chunks{"+OK 2 320\r", "\n"} << ok;
        QTest::newRow("bare +OK") << false << Chunks{"+OK\r\n"} << ok;
        QTest::newRow("-ERR single") << false << Chunks{"-ERR no such message\r\n"} << failed;
        QTest::newRow("-ERR split") << false << Chunks{"-ERR no", " such message\r\n"} << failed;
        // the first line is the reply; the second is nobody's (the stream is out of step)
        QTest::newRow("second line is nobody's") << false << Chunks{"+OK 1 2\r\n+OK 3 4\r\n"} << ok;
        QTest::newRow("+OK without CRLF") << false << Chunks{"+OK 2 320"} << waiting;
        QTest::newRow("+OKAY is no reply") << false << Chunks{"+OKAY\r\n"} << failed;
        QTest::newRow("empty listing") << true << Chunks{"+OK\r\n.\r\n"} << ok;
        QTest::newRow("listing split in terminator") << true << Chunks{"+OK\r\n1 320\r\n.", "\r\n"} << ok;
        QTest::newRow("listing in many pieces")
            << true << Chunks{"+OK 2", " messages\r\n1 1", "20\r\n2 200\r\n", ".\r\n"} << ok;
        QTest::newRow("dot line inside") << true << Chunks{"+OK\r\n..\r\nmore\r\n"} << waiting;
        QTest::newRow("-ERR multi") << true << Chunks{"-ERR no such message\r\n"} << failed;
        QTest::newRow("-ERR multi before CRLF") << true << Chunks{"-ERR no such message"} << waiting;
    }
    void replyCompletion()
    {
        QFETCH(bool, multiLine);
        QFETCH(Chunks, chunks);
        QFETCH(int, status);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        for (const QByteArray &c : chunks)
            s.transport->server(c);
        const aPOP::Id id = multiLine ? s.pop.LIST() : s.pop.STAT();
        for (qsizetype i = 0; i + 1 < chunks.size(); ++i) {
            s.pumpOnce();
            QCOMPARE(s.status(id), CommandStatus::Waiting);
        }
        s.pumpOnce();
        QCOMPARE(int(s.status(id)), status);
        QCOMPARE(s.dataEvents, chunks.size());
        // What follows a reply, or what is no reply, belongs to nobody.
        const QByteArray all = chunks.join();
        const bool extra = status != int(aPOP::CommandWaiting) && !all.endsWith(".\r\n") && all.count("\r\n") > 1;
        const bool stray = extra || all.startsWith("+OKAY");
        QCOMPARE(s.pop.inStep(), !stray);
        if (!stray)
            QCOMPARE(s.bytes(id), all);
    }

    // Completion is noticed when the data arrives, not only on a tick.
    void completesOnArrivalWithoutTick()
    {
        ApopTestSession s(ApopTestSession::Tick::Never);
        QVERIFY(s.connectUp());
        s.transport->server("+OK\r\n1 2\r\n.\r\n");
        const aPOP::Id id = s.pop.UIDL();
        s.pumpOnce();
        QCOMPARE(s.status(id), CommandStatus::Complete);
    }

    // Silence is counted from the later of the last data and the command sent.
    void timeoutCountsFromLaterOfDataAndSend_data()
    {
        QTest::addColumn<int>("idlePumpsBeforeCommand");
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<int>("pausePumps"); // between the chunks
        QTest::addColumn<int>("pumpsUntilFailure");
        // 300 pumps are 60 000 ms: not yet more than the limit; the 301st is.
        QTest::newRow("no reply at all") << 0 << Chunks{} << 0 << 301;
        QTest::newRow("no reply after a long idle") << 600 << Chunks{} << 0 << 301;
        QTest::newRow("partial reply restarts the count") << 0 << Chunks{"+OK 2"} << 0 << 302;
        QTest::newRow("late piece restarts again") << 0 << Chunks{"+OK 2", " 3"} << 100 << 403;
    }
    void timeoutCountsFromLaterOfDataAndSend()
    {
        QFETCH(int, idlePumpsBeforeCommand);
        QFETCH(Chunks, chunks);
        QFETCH(int, pausePumps);
        QFETCH(int, pumpsUntilFailure);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        for (int i = 0; i < idlePumpsBeforeCommand; ++i)
            s.pumpOnce();
        for (qsizetype i = 0; i < chunks.size(); ++i) {
            if (i > 0)
                s.transport->pause(pausePumps);
            s.transport->server(chunks.at(i));
        }
        const aPOP::Id id = s.pop.STAT();
        QCOMPARE(s.pumpWhileWaiting(id), pumpsUntilFailure);
        QCOMPARE(s.status(id), CommandStatus::Failed);
        // The buffer keeps what arrived, for the caller to look at.
        QCOMPARE(s.bytes(id), chunks.join());
    }

    // A reply that arrives 59.8 s after a long idle still counts.
    void replyJustInsideTheLimitAfterIdle()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        for (int i = 0; i < 1000; ++i)
            s.pumpOnce();
        s.transport->pause(298);
        s.transport->server("+OK 1 10\r\n");
        const aPOP::Id id = s.pop.STAT();
        s.pumpWhileWaiting(id);
        QCOMPARE(s.status(id), CommandStatus::Complete);
    }

    void tickCounterWrap_data()
    {
        QTest::addColumn<quint32>("startTick");
        QTest::newRow("far from wrap") << 5000u;
        QTest::newRow("wraps during wait") << 0xFFFFFFFFu - 30000u;
        QTest::newRow("wraps at once") << 0xFFFFFFFFu;
        QTest::newRow("signed boundary") << 0x7FFFFFFFu - 100u;
    }
    void tickCounterWrap()
    {
        QFETCH(quint32, startTick);
        ApopTestSession s(ApopTestSession::Tick::EveryPump, startTick);
        QVERIFY(s.connectUp());
        // a piece of reply 10 s in, then silence
        s.transport->pause(49);
        s.transport->server("+OK 2");
        const aPOP::Id id = s.pop.STAT();
        const quint32 sent = s.tick();
        QCOMPARE(s.pumpWhileWaiting(id), 50 + 301);
        QCOMPARE(s.status(id), CommandStatus::Failed);
        QCOMPARE(s.pop.LastDataArrivalTime(), sent + 50u * 200u);
        QCOMPARE(Clock::elapsed(s.pop.LastDataArrivalTime(), s.tick()), 60200u);
    }

    void socketErrors_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("commandStatus");
        QTest::newRow("10060 keeps waiting") << 10060 << "timed out"
                                             << "timed out" << int(aPOP::CommandWaiting);
        QTest::newRow("10053 fails") << 10053 << "aborted" << aPOPText::ConnectionAborted << int(aPOP::CommandFailed);
        QTest::newRow("10054 changes nothing") << 10054 << "reset"
                                               << "" << int(aPOP::CommandWaiting);
    }
    void socketErrors()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(QString, status);
        QFETCH(int, commandStatus);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.transport->serverError(number, description, Pop3Transport::Connected);
        const aPOP::Id id = s.pop.RETR(1);
        s.pumpOnce();
        QCOMPARE(int(s.status(id)), commandStatus);
        QCOMPARE(s.statuses, status.isEmpty() ? QStringList() : QStringList{status});
        QCOMPARE(s.pop.LastWinsockErrNumber(), number);
        QCOMPARE(s.pop.LastWinsockErrMessage(), description);
    }

    // The server hanging up in the middle of a reply ends the command as the
    // aborted connection does; after a complete reply, or after QUIT, it is no fault.
    void serverCloses_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("commandStatus");
        QTest::addColumn<QStringList>("statuses");
        QTest::newRow("mid reply") << QByteArray("+OK 320 octets\r\nFrom: a\r\n") << int(aPOP::CommandFailed)
                                   << QStringList{aPOPText::ConnectionAborted};
        QTest::newRow("after terminator")
            << QByteArray("+OK\r\nbody\r\n.\r\n") << int(aPOP::CommandComplete) << QStringList();
    }
    void serverCloses()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, commandStatus);
        QFETCH(QStringList, statuses);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.transport->server(before);
        s.transport->serverClose();
        const aPOP::Id id = s.pop.RETR(1);
        s.pumpOnce();
        s.pumpOnce();
        QCOMPARE(int(s.status(id)), commandStatus);
        QCOMPARE(s.statuses, statuses);
        QVERIFY(s.pop.ConnectionClosed());
        QCOMPARE(s.bytes(id), before);
    }

    void countsLines_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("three lines") << QByteArray("+OK\r\na\r\n.\r\n") << 3;
        QTest::newRow("unfinished line") << QByteArray("+OK\r\nab") << 1;
    }
    void countsLines()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, count);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        if (!reply.isEmpty())
            s.transport->server(reply, 2);
        const aPOP::Id id = s.pop.RETR(1);
        s.pumpUntil([&] { return s.transport->scriptDone(); });
        QCOMPARE(s.pop.reply(id)->crCount, count);
        QCOMPARE(s.bytes(id), reply);
    }

    // Data that arrives with no command outstanding belongs to nobody: the
    // next command goes out only after a NOOP has proved the line in step.
    void dataWithoutCommandNeedsProof()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.transport->server("stray\r\n");
        s.pumpOnce();
        QVERIFY(!s.pop.inStep());
        s.transport->respond("NOOP", "+OK\r\n");
        s.transport->respond("STAT", "+OK 1 5\r\n");
        QCOMPARE(s.await(s.pop.STAT()), QByteArray("+OK 1 5\r\n"));
        QCOMPARE(s.transport->clientLines(), (QList<QByteArray>{"NOOP", "STAT"}));
        QVERIFY(s.pop.inStep());
    }

    void replyBound()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.pop.setMaxReplyBytes(100);
        s.transport->server(QByteArray(60, 'a'));
        s.transport->server(QByteArray(60, 'b'));
        s.transport->server(QByteArray(60, 'c'));
        const aPOP::Id id = s.pop.RETR(1);
        s.pumpOnce();
        QCOMPARE(s.status(id), CommandStatus::Waiting);
        s.pumpOnce();
        QCOMPARE(s.status(id), CommandStatus::Failed);
        QCOMPARE(s.statuses, QStringList{aPOPText::ReplyTooLarge});
        QCOMPARE(s.bytes(id), QByteArray(60, 'a'));
        // The rest of that reply could only confuse the next command.
        QCOMPARE(s.pop.WinsockState(), int(Pop3Transport::Closed));
        QCOMPARE(s.transport->closeCount(), 1);
    }

    void boundIsPerReply()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.pop.setMaxReplyBytes(20);
        s.transport->server("+OK 1 234567890\r\n");
        QCOMPARE(s.await(s.pop.STAT()), QByteArray("+OK 1 234567890\r\n"));
        s.transport->server("+OK 1 234567890\r\n");
        const aPOP::Id second = s.pop.STAT();
        QCOMPARE(s.await(second), QByteArray("+OK 1 234567890\r\n"));
        QCOMPARE(s.status(second), CommandStatus::Complete);
    }

    void expectedSizeKeepsContent()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        const QByteArray mail = "+OK\r\n" + QByteArray(5000, 'x') + "\r\n.\r\n";
        s.transport->server(mail, 333);
        const aPOP::Id id = s.pop.RETR(1, 5000);
        QCOMPARE(s.await(id), mail);
        QCOMPARE(s.status(id), CommandStatus::Complete);
    }
};

QTEST_GUILESS_MAIN(TestApopEngine)
#include "test_apop_engine.moc"
