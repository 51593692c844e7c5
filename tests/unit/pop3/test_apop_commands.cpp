#include "apoptestsession.h"

#include <QtTest>

namespace {
aPOP::Id send(aPOP &pop, const QString &command, int n, int k)
{
    if (command == "STAT")
        return pop.STAT();
    if (command == "LIST")
        return pop.LIST();
    if (command == "UIDL")
        return pop.UIDL();
    if (command == "TOP")
        return pop.TOP_(n, k);
    if (command == "RETR")
        return pop.RETR(n);
    return pop.DELE(n);
}
} // namespace

class TestApopCommands : public QObject
{
    Q_OBJECT
private slots:
    void linesSent_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("k");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("replyMode");
        const int single = int(aPOP::SingleLine), multi = int(aPOP::MultiLine);
        QTest::newRow("STAT") << "STAT" << 0 << 0 << QByteArray("STAT\r\n") << single;
        QTest::newRow("LIST all") << "LIST" << 0 << 0 << QByteArray("LIST\r\n") << multi;
        QTest::newRow("UIDL all") << "UIDL" << 0 << 0 << QByteArray("UIDL\r\n") << multi;
        QTest::newRow("TOP") << "TOP" << 3 << 20 << QByteArray("TOP 3 20\r\n") << multi;
        QTest::newRow("RETR") << "RETR" << 7 << 0 << QByteArray("RETR 7\r\n") << multi;
        QTest::newRow("RETR past 16 bits") << "RETR" << 40000 << 0 << QByteArray("RETR 40000\r\n") << multi;
        QTest::newRow("DELE") << "DELE" << 2 << 0 << QByteArray("DELE 2\r\n") << single;
        QTest::newRow("DELE past 16 bits") << "DELE" << 123456 << 0 << QByteArray("DELE 123456\r\n") << single;
    }
    void linesSent()
    {
        QFETCH(QString, command);
        QFETCH(int, n);
        QFETCH(int, k);
        QFETCH(QByteArray, line);
        QFETCH(int, replyMode);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        const int pumps = s.pump.pumpCount();
        const aPOP::Id id = send(s.pop, command, n, k);
        QCOMPARE(s.pump.pumpCount(), pumps); // sending never waits
        QCOMPARE(s.transport->client(), line);
        QCOMPARE(s.status(id), CommandStatus::Waiting);
        QVERIFY(s.bytes(id).isEmpty());
        QVERIFY(!s.pop.lastSendFailed());
        QVERIFY(s.statuses.isEmpty());
        // A status line ends a single-line reply; a multi-line one waits for its ".".
        s.transport->server("+OK\r\n");
        s.pumpOnce();
        QCOMPARE(s.status(id), replyMode == int(aPOP::SingleLine) ? CommandStatus::Complete : CommandStatus::Waiting);
    }

    void syncReturnsReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<int>("status");
        QTest::newRow("complete") << QByteArray("+OK\r\n1 abc\r\n2 def\r\n.\r\n") << 0 << int(aPOP::CommandComplete);
        QTest::newRow("in 3-byte pieces")
            << QByteArray("+OK\r\n1 abc\r\n2 def\r\n.\r\n") << 3 << int(aPOP::CommandComplete);
        QTest::newRow("refused") << QByteArray("-ERR not now\r\n") << 0 << int(aPOP::CommandFailed);
        QTest::newRow("no terminator") << QByteArray("+OK\r\n1 abc\r\n") << 0 << int(aPOP::CommandFailed);
        QTest::newRow("silence") << QByteArray() << 0 << int(aPOP::CommandFailed);
    }
    void syncReturnsReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, chunk);
        QFETCH(int, status);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.transport->respond("UIDL", [&](FakeTransport &t, const QByteArray &) { t.server(reply, chunk); });
        const aPOP::Id id = s.pop.UIDL();
        QCOMPARE(s.await(id), reply);
        QCOMPARE(int(s.status(id)), status);
    }

    // The caller may end a wait on a reply: taken as it stands, or failed.
    void waitEndsWhenCallerGivesUp_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::newRow("taken as it stands") << true;
        QTest::newRow("failed") << false;
    }
    void waitEndsWhenCallerGivesUp()
    {
        QFETCH(bool, keep);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        const aPOP::Id id = s.pop.RETR(1);
        const aPOP::Id next = s.pop.DELE(1);
        s.pump.addHook([&] {
            if (s.pump.pumpCount() == 40)
                s.pop.giveUp(id, keep);
        });
        s.transport->server("+OK partial");
        QCOMPARE(s.await(id), QByteArray("+OK partial"));
        QCOMPARE(s.pump.pumpCount(), 40);
        QCOMPARE(s.status(id), keep ? CommandStatus::Complete : CommandStatus::Failed);
        // The reply behind it has lost its place either way, and the line is out of step.
        QCOMPARE(s.status(next), CommandStatus::Failed);
        QVERIFY(!s.pop.inStep());
    }

    void sendOnClosedSocket_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        // A command that could not be sent has no reply to wait for.
        QTest::newRow("STAT") << "STAT" << int(aPOP::CommandFailed);
        QTest::newRow("RETR") << "RETR" << int(aPOP::CommandFailed);
        QTest::newRow("DELE") << "DELE" << int(aPOP::CommandFailed);
        QTest::newRow("TOP") << "TOP" << int(aPOP::CommandFailed);
    }
    void sendOnClosedSocket()
    {
        QFETCH(QString, command);
        QFETCH(int, status);
        ApopTestSession s;
        const int pumps = s.pump.pumpCount();
        const aPOP::Id id = send(s.pop, command, 1, 20);
        QVERIFY(s.pop.lastSendFailed());
        QCOMPARE(int(s.status(id)), status);
        // nothing waits for a reply that cannot come
        QVERIFY(s.await(id).isEmpty());
        QCOMPARE(s.pump.pumpCount(), pumps);
    }

    // STARTTLS is the component's own exchange: "STLS", "+OK", the handshake,
    // and nothing in between; anything else ends the connection unencrypted.
    void startTls_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("handshakes");
        QTest::newRow("accepted") << QByteArray("+OK begin TLS\r\n") << true << 1;
        QTest::newRow("refused") << QByteArray("-ERR not here\r\n") << false << 0;
        QTest::newRow("bytes after +OK") << QByteArray("+OK begin\r\n+OK injected\r\n") << false << 0;
        QTest::newRow("no status line") << QByteArray("hello\r\n") << false << 0;
    }
    void startTls()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, connected);
        QFETCH(int, handshakes);
        ApopTestSession s;
        s.pop.setSecurity(QStringLiteral("STARTTLS"));
        s.transport->respond("STLS", reply);
        QCOMPARE(s.connectUp(), connected);
        QCOMPARE(s.transport->startTlsCount() > 0 && s.transport->encrypted() ? 1 : 0, handshakes);
        QCOMPARE(s.transport->clientLines(), QList<QByteArray>{"STLS"});
        if (!connected) {
            QCOMPARE(s.pop.WinsockState(), int(Pop3Transport::Closed));
            QVERIFY(!s.pop.Authorize(QStringLiteral("u"), QStringLiteral("p")));
            QCOMPARE(s.transport->clientLines(), QList<QByteArray>{"STLS"}); // nothing in the clear
        }
    }

    void connectSettings_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("usedPort");
        QTest::addColumn<int>("usedSecurity");
        QTest::newRow("plain default") << "None" << 0 << 110 << int(Pop3Transport::Security::None);
        QTest::newRow("TLS default") << "TLS" << 0 << 995 << int(Pop3Transport::Security::Tls);
        QTest::newRow("STARTTLS default") << "starttls" << 0 << 110 << int(Pop3Transport::Security::StartTls);
        QTest::newRow("TLS own port") << "TLS" << 10995 << 10995 << int(Pop3Transport::Security::Tls);
        QTest::newRow("unknown is plain") << "SSL3" << 2110 << 2110 << int(Pop3Transport::Security::None);
    }
    void connectSettings()
    {
        QFETCH(QString, security);
        QFETCH(int, port);
        QFETCH(int, usedPort);
        QFETCH(int, usedSecurity);
        ApopTestSession s;
        s.pop.setSecurity(security);
        s.pop.setPort(port);
        s.transport->respond("STLS", "+OK begin TLS\r\n");
        QVERIFY(s.connectUp());
        QCOMPARE(s.transport->lastHost(), QStringLiteral("127.0.0.1"));
        QCOMPARE(s.transport->lastPort(), usedPort);
        QCOMPARE(int(s.transport->lastSecurity()), usedSecurity);
    }

    void connectByName_data()
    {
        QTest::addColumn<QByteArray>("greeting"); // empty: none
        QTest::addColumn<int>("errorNumber");     // 0: the connection comes up
        QTest::addColumn<bool>("hangs");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<int>("maxPumps");
        QTest::addColumn<int>("minPumps");
        const QStringList up{aPOPText::Connecting, aPOPText::WaitingForGreeting, aPOPText::Connected};
        const QStringList down{aPOPText::Connecting, aPOPText::ConnectFailed};
        const QString cert = Pop3TransportText::CertificateFailed + "self-signed";
        QTest::newRow("greeted") << QByteArray("+OK ready\r\n") << 0 << false << true << up << 4 << 4;
        QTest::newRow("greeting -ERR still connects")
            << QByteArray("-ERR busy\r\n") << 0 << false << true << up << 4 << 4;
        QTest::newRow("no greeting waits 60 s") << QByteArray() << 0 << false << true << up << 305 << 300;
        QTest::newRow("host not found") << QByteArray() << 11001 << false << false << down << 3 << 3;
        QTest::newRow("refused") << QByteArray() << 10061 << false << false << down << 3 << 3;
        QTest::newRow("certificate") << QByteArray() << int(Pop3Transport::ErrTlsCertificate) << false << false
                                     << QStringList{aPOPText::Connecting, cert, aPOPText::ConnectFailed, cert} << 3
                                     << 3;
        QTest::newRow("never connects") << QByteArray() << 0 << true << false << down << 301 << 301;
    }
    void connectByName()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(int, errorNumber);
        QFETCH(bool, hangs);
        QFETCH(bool, result);
        QFETCH(QStringList, statuses);
        QFETCH(int, maxPumps);
        QFETCH(int, minPumps);
        ApopTestSession s;
        s.transport->setGreeting(greeting);
        if (errorNumber != 0)
            s.transport->connectFails(errorNumber, errorNumber == Pop3Transport::ErrTlsCertificate
                                                       ? Pop3TransportText::CertificateFailed + "self-signed"
                                                       : QStringLiteral("failed"));
        s.transport->connectHangs(hangs);
        QCOMPARE(s.pop.ConnectByName("127.0.0.1"), result);
        QCOMPARE(s.statuses, statuses);
        QVERIFY2(s.pump.pumpCount() <= maxPumps && s.pump.pumpCount() >= minPumps,
                 qPrintable(QString::number(s.pump.pumpCount())));
        QCOMPARE(s.pop.WinsockState(), result ? int(Pop3Transport::Connected) : int(Pop3Transport::Closed));
        QCOMPARE(s.transport->closeCount(), result ? 0 : 1);
        if (result) // a greeting is read as the connection's reply; without one the stream is to be proved
            QCOMPARE(s.pop.inStep(), !greeting.isEmpty());
        if (errorNumber != 0)
            QCOMPARE(s.pop.LastWinsockErrNumber(), errorNumber);
    }

    void connectOnOpenSocketFails()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        QVERIFY(!s.pop.ConnectByName("127.0.0.1"));
        QCOMPARE(s.statuses, (QStringList{aPOPText::Connecting, aPOPText::ConnectFailed}));
        // ... and leaves the socket ready for the next attempt
        QVERIFY(s.connectUp());
        QCOMPARE(s.transport->connectCount(), 2);
    }

    void authorize_data()
    {
        QTest::addColumn<QByteArray>("userReply"); // empty: silence
        QTest::addColumn<QByteArray>("passReply");
        QTest::addColumn<bool>("closeAfterUser");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<int>("maxPumps");
        const QString user = aPOPText::UserPrefix + "taro";
        const QString pass = aPOPText::PassPrefix + "******";
        const QByteArray both = "USER taro\r\nPASS s3cr*t\r\n";
        QTest::newRow("accepted") << QByteArray("+OK\r\n") << QByteArray("+OK logged in\r\n") << false << true
                                  << QStringList{user, aPOPText::Ok, pass, aPOPText::Ok} << both << 2;
        QTest::newRow("user refused") << QByteArray("-ERR who?\r\n") << QByteArray() << false << false
                                      << QStringList{user, aPOPText::LoginFailed} << QByteArray("USER taro\r\n") << 1;
        QTest::newRow("password refused") << QByteArray("+OK\r\n") << QByteArray("-ERR [AUTH] no\r\n") << false << false
                                          << QStringList{user, aPOPText::Ok, pass, ResponseCodeText::Auth} << both << 2;
        QTest::newRow("mailbox locked") << QByteArray("+OK\r\n") << QByteArray("-ERR [IN-USE] locked\r\n") << false
                                        << false << QStringList{user, aPOPText::Ok, pass, ResponseCodeText::InUse}
                                        << both << 2;
        QTest::newRow("no answer to USER")
            << QByteArray() << QByteArray() << false << false << QStringList{user, aPOPText::LoginFailed}
            << QByteArray("USER taro\r\n") << 301;
        QTest::newRow("server hangs up") << QByteArray() << QByteArray() << true << false
                                         << QStringList{user, aPOPText::LoginFailed} << QByteArray("USER taro\r\n")
                                         << 1;
    }
    void authorize()
    {
        QFETCH(QByteArray, userReply);
        QFETCH(QByteArray, passReply);
        QFETCH(bool, closeAfterUser);
        QFETCH(bool, result);
        QFETCH(QStringList, statuses);
        QFETCH(QByteArray, written);
        QFETCH(int, maxPumps);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        if (closeAfterUser)
            s.transport->respond("USER taro", [](FakeTransport &t, const QByteArray &) { t.serverClose(); });
        else if (!userReply.isEmpty())
            s.transport->respond("USER taro", userReply);
        if (!passReply.isEmpty())
            s.transport->respond("PASS s3cr*t", passReply);
        const int before = s.pump.pumpCount();
        QCOMPARE(s.pop.Authorize("taro", "s3cr*t"), result);
        QCOMPARE(s.statuses, statuses);
        QCOMPARE(s.transport->client(), written);
        QVERIFY(s.pump.pumpCount() - before <= maxPumps);
        QCOMPARE(s.pop.WinsockState(), result ? int(Pop3Transport::Connected) : int(Pop3Transport::Closed));
        for (const QString &text : std::as_const(s.statuses))
            QVERIFY(!text.contains("s3cr"));
    }

    void quit_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("serverCloses");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("maxPumps");
        QTest::newRow("server closes") << true << true << true << 2;
        QTest::newRow("already closed") << false << false << false << 0;
        QTest::newRow("server keeps the line") << true << false << false << 301;
    }
    void quit()
    {
        QFETCH(bool, open);
        QFETCH(bool, serverCloses);
        QFETCH(bool, result);
        QFETCH(int, maxPumps);
        ApopTestSession s;
        QVERIFY(s.connectUp());
        if (serverCloses)
            s.transport->respondThenClose("QUIT", "+OK bye\r\n");
        else
            s.transport->respond("QUIT", "+OK bye\r\n");
        if (!open) {
            s.transport->serverClose();
            s.pumpOnce();
        }
        const int before = s.pump.pumpCount();
        QCOMPARE(s.pop.QUIT(), result);
        QVERIFY(s.pump.pumpCount() - before <= maxPumps);
        QVERIFY(s.statuses.isEmpty());
        QCOMPARE(s.transport->client(), open ? QByteArray("QUIT\r\n") : QByteArray());
    }

    // The scan sends its deletions back to back and then QUIT; the server's
    // closing the line afterwards is the normal end, not an aborted command.
    void quitAfterDeletions()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.transport->respond("DELE 1", "+OK deleted\r\n");
        s.transport->respond("DELE 2", "+OK deleted\r\n");
        s.transport->respondThenClose("QUIT", "+OK bye\r\n");
        s.pop.DELE(1);
        s.pop.DELE(2);
        QVERIFY(s.pop.QUIT());
        s.pop.Destroy();
        QVERIFY(s.statuses.isEmpty());
        QCOMPARE(s.pop.LastWinsockErrNumber(), 0);
        QCOMPARE(s.transport->client(), QByteArray("DELE 1\r\nDELE 2\r\nQUIT\r\n"));
    }

    // A whole run as the mailbox scan drives it, twice on one component.
    void wholeSessionTwice()
    {
        ApopTestSession s;
        FakeTransport &t = *s.transport;
        t.setGreeting("+OK Dovecot ready.\r\n");
        t.respond("USER taro", "+OK\r\n");
        t.respond("PASS pw", "+OK Logged in.\r\n");
        t.respond("STAT", "+OK 2 1200\r\n");
        t.respond("UIDL", "+OK\r\n1 a1\r\n2 b2\r\n.\r\n");
        t.respond("LIST", "+OK 2 messages:\r\n1 400\r\n2 800\r\n.\r\n");
        const QByteArray mail = "+OK 800 octets\r\nSubject: x\r\n\r\n" + QByteArray(700, 'm') + "\r\n.\r\n";
        t.respond("TOP 2 20", [mail](FakeTransport &f, const QByteArray &) { f.server(mail, 64); });
        t.respond("RETR 2", [mail](FakeTransport &f, const QByteArray &) { f.server(mail, 100); });
        t.respond("DELE 2", "+OK Marked to be deleted.\r\n");
        t.respondThenClose("QUIT", "+OK Logging out.\r\n");
        for (int run = 0; run < 2; ++run) {
            QVERIFY(s.pop.ConnectByName("127.0.0.1"));
            QVERIFY(s.pop.Authorize("taro", "pw"));
            QCOMPARE(s.await(s.pop.STAT()), QByteArray("+OK 2 1200\r\n"));
            QCOMPARE(s.await(s.pop.UIDL()), QByteArray("+OK\r\n1 a1\r\n2 b2\r\n.\r\n"));
            QCOMPARE(s.await(s.pop.LIST()), QByteArray("+OK 2 messages:\r\n1 400\r\n2 800\r\n.\r\n"));
            for (const QByteArray &cmd : {QByteArray("TOP"), QByteArray("RETR")}) {
                s.dataEvents = 0;
                const aPOP::Id id = cmd == "TOP" ? s.pop.TOP_(2, 20) : s.pop.RETR(2);
                s.pumpWhileWaiting(id);
                QCOMPARE(s.status(id), CommandStatus::Complete);
                QCOMPARE(s.bytes(id), mail);
                QVERIFY(s.dataEvents > 1);
            }
            s.pop.DELE(2);
            QVERIFY(s.pop.QUIT());
            s.pop.Destroy();
            QCOMPARE(s.pop.WinsockState(), int(Pop3Transport::Closed));
        }
        QVERIFY2(t.unexpected().isEmpty(), t.unexpected().join(' ').constData());
        QCOMPARE(t.clientLines().count("RETR 2"), qsizetype(2));
        QCOMPARE(t.connectCount(), 2);
        QVERIFY(!s.statuses.contains(aPOPText::ConnectionAborted));
    }

    // Script steps wait for the client's line, and report a different one.
    void expectStepsHoldTheScript()
    {
        ApopTestSession s;
        QVERIFY(s.connectUp());
        s.transport->expect("STAT");
        s.transport->server("+OK 0 0\r\n");
        s.pumpOnce();
        s.pumpOnce();
        QCOMPARE(s.dataEvents, 0); // nothing delivered before STAT
        QCOMPARE(s.await(s.pop.STAT()), QByteArray("+OK 0 0\r\n"));
        s.transport->expect("NOOP");
        s.pop.submit("RSET", aPOP::SingleLine);
        s.pumpOnce();
        QCOMPARE(s.transport->unexpected(), QList<QByteArray>{"RSET"});
    }
};

QTEST_GUILESS_MAIN(TestApopCommands)
#include "test_apop_commands.moc"
