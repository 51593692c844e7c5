// A real conversation with Dovecot on loopback, plain, TLS and STARTTLS.
// Skipped unless the server's variables are set (tools/dovecot-fixture prints them):
// KIVREL_TEST_POP3_HOST, KIVREL_TEST_POP3_PORT, KIVREL_TEST_POP3S_PORT,
// KIVREL_TEST_POP3_USER, KIVREL_TEST_POP3_PASSWORD, KIVREL_TEST_CA.
// The mailbox must hold at least one mail.

#include "platform/qtpop3transport.h"
#include "pop3/apop.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QtTest>

namespace {
QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

// The number after "+OK " of a STAT reply.
int messageCount(const QByteArray &stat)
{
    const QList<QByteArray> parts = stat.split(' ');
    return parts.size() >= 2 ? parts.at(1).toInt() : -1;
}

struct Answer {
    QByteArray bytes;
    CommandStatus status = CommandStatus::Failed;
};

// The reply of command `id` once it has ended.
Answer await(aPOP &pop, aPOP::Id id)
{
    pop.waitFor(id);
    Answer answer;
    if (const aPOP::Reply *r = pop.reply(id))
        answer = {r->bytes, r->status};
    pop.release(id);
    return answer;
}
} // namespace

class TestApopDovecot : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        const bool needsServer = qstrcmp(QTest::currentTestFunction(), "refused") != 0;
        if (needsServer && (env("KIVREL_TEST_POP3_PORT").isEmpty() || env("KIVREL_TEST_POP3_USER").isEmpty()))
            QSKIP("no Dovecot test server configured (KIVREL_TEST_POP3_PORT and friends)");
        m_host = env("KIVREL_TEST_POP3_HOST").isEmpty() ? QStringLiteral("127.0.0.1") : env("KIVREL_TEST_POP3_HOST");
        QtPop3Transport::setExtraCaFile(env("KIVREL_TEST_CA"));
    }
    void cleanup() { QtPop3Transport::setExtraCaFile(QString()); }

    void session_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("portVariable");
        QTest::newRow("plain") << "None"
                               << "KIVREL_TEST_POP3_PORT";
        QTest::newRow("TLS") << "TLS"
                             << "KIVREL_TEST_POP3S_PORT";
        QTest::newRow("STARTTLS") << "STARTTLS"
                                  << "KIVREL_TEST_POP3_PORT";
    }
    void session()
    {
        QFETCH(QString, security);
        QFETCH(QString, portVariable);
        aPOP pop;
        pop.setSecurity(security);
        pop.setPort(env(qPrintable(portVariable)).toInt());
        QVERIFY2(pop.ConnectByName(m_host), qPrintable(pop.StatusMessage()));
        QVERIFY(pop.inStep()); // the greeting was read as the connection's reply
        QVERIFY(pop.Authorize(env("KIVREL_TEST_POP3_USER"), env("KIVREL_TEST_POP3_PASSWORD")));

        const Answer stat = await(pop, pop.STAT());
        QCOMPARE(stat.status, CommandStatus::Complete);
        const int count = messageCount(stat.bytes);
        QVERIFY2(count > 0, stat.bytes.constData());

        const Answer uidl = await(pop, pop.UIDL());
        QCOMPARE(uidl.status, CommandStatus::Complete);
        QCOMPARE(uidl.bytes.count("\r\n"), count + 2);
        const Answer list = await(pop, pop.LIST());
        QCOMPARE(list.status, CommandStatus::Complete);
        const QByteArray first = list.bytes.split('\n').value(1).trimmed(); // "1 <size>"
        const qint64 size = first.split(' ').value(1).toLongLong();
        QVERIFY(size > 0);

        const Answer top = await(pop, pop.TOP_(1, 20));
        QCOMPARE(top.status, CommandStatus::Complete);
        QVERIFY(top.bytes.startsWith("+OK"));

        const Answer mail = await(pop, pop.RETR(1, size));
        QCOMPARE(mail.status, CommandStatus::Complete);
        // The reply is the status line, the mail (dot-stuffed) and the terminator.
        QVERIFY(mail.bytes.size() >= size);
        QVERIFY(mail.bytes.endsWith("\r\n.\r\n"));

        QCOMPARE(await(pop, pop.submit("LIST 1", aPOP::SingleLine)).bytes.left(6), QByteArray("+OK 1 "));
        QCOMPARE(await(pop, pop.DELE(count + 1)).status, CommandStatus::Failed); // -ERR ends at once
        QCOMPARE(await(pop, pop.submit("RSET", aPOP::SingleLine)).status, CommandStatus::Complete);
        QVERIFY(pop.QUIT());
        pop.Destroy();
        QCOMPARE(pop.WinsockState(), int(Pop3Transport::Closed));
        QVERIFY(pop.StatusMessage() != aPOPText::ConnectionAborted);
    }

    void wrongPassword()
    {
        aPOP pop;
        pop.setPort(env("KIVREL_TEST_POP3_PORT").toInt());
        QVERIFY(pop.ConnectByName(m_host));
        QVERIFY(!pop.Authorize(env("KIVREL_TEST_POP3_USER"), QStringLiteral("not-the-password")));
        // Dovecot names the refusal "[AUTH]"; its words are kept beside ours.
        QCOMPARE(pop.StatusMessage(), ResponseCodeText::Auth);
        QVERIFY(pop.lastFailure().startsWith(ResponseCodeText::Auth + ": -ERR [AUTH]"));
        QCOMPARE(pop.WinsockState(), int(Pop3Transport::Closed));
    }

    // Without the test CA the certificate cannot be checked, and the
    // connection must end rather than go on unencrypted.
    void unknownCertificate_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("portVariable");
        QTest::newRow("TLS") << "TLS"
                             << "KIVREL_TEST_POP3S_PORT";
        QTest::newRow("STARTTLS") << "STARTTLS"
                                  << "KIVREL_TEST_POP3_PORT";
    }
    void unknownCertificate()
    {
        QFETCH(QString, security);
        QFETCH(QString, portVariable);
        if (!env("KIVREL_CA_FILE").isEmpty())
            QSKIP("KIVREL_CA_FILE is set");
        QtPop3Transport::setExtraCaFile(QString());
        aPOP pop;
        pop.setSecurity(security);
        pop.setPort(env(qPrintable(portVariable)).toInt());
        QVERIFY(!pop.ConnectByName(m_host));
        QVERIFY2(pop.StatusMessage().startsWith(Pop3TransportText::CertificateFailed), qPrintable(pop.StatusMessage()));
        QCOMPARE(pop.LastWinsockErrNumber(), int(Pop3Transport::ErrTlsCertificate));
        QCOMPARE(pop.WinsockState(), int(Pop3Transport::Closed));
    }

    void refused()
    {
        // A port nobody listens on: bind one, note it, let it go.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int port = probe.serverPort();
        probe.close();
        aPOP pop;
        pop.setPort(port);
        QVERIFY(!pop.ConnectByName(QStringLiteral("127.0.0.1")));
        QCOMPARE(pop.LastWinsockErrNumber(), int(Pop3Transport::ErrConnectionRefused));
        QCOMPARE(pop.StatusMessage(), aPOPText::ConnectFailed);
    }

private:
    QString m_host;
};

QTEST_GUILESS_MAIN(TestApopDovecot)
#include "test_apop_dovecot.moc"
