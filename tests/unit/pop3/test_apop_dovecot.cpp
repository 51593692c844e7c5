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

bool waitForCommand(aPOP &pop)
{
    while (pop.CommandStatus() == aPOP::CommandWaiting)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 200);
    return int(pop.CommandStatus()) == int(aPOP::CommandComplete);
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
        QVERIFY(pop.GetMessage().startsWith("+OK"));
        QVERIFY(pop.Authorize(env("KIVREL_TEST_POP3_USER"), env("KIVREL_TEST_POP3_PASSWORD")));

        const QByteArray stat = pop.STAT(true);
        QCOMPARE(pop.CommandStatus(), aPOP::CommandComplete);
        const int count = messageCount(stat);
        QVERIFY2(count > 0, stat.constData());

        const QByteArray uidl = pop.UIDL(0, true);
        QCOMPARE(pop.CommandStatus(), aPOP::CommandComplete);
        QCOMPARE(uidl.count("\r\n"), count + 2);
        const QByteArray list = pop.LIST(0, true);
        QCOMPARE(pop.CommandStatus(), aPOP::CommandComplete);
        const QByteArray first = list.split('\n').value(1).trimmed(); // "1 <size>"
        const qint64 size = first.split(' ').value(1).toLongLong();
        QVERIFY(size > 0);

        pop.TOP_(1, 20);
        QVERIFY(waitForCommand(pop));
        QVERIFY(pop.GetMessage().startsWith("+OK"));

        pop.setExpectedSize(size);
        pop.RETR(1);
        QVERIFY(waitForCommand(pop));
        // The reply is the status line, the mail (dot-stuffed) and the terminator.
        QVERIFY(pop.ReceiveBytes() >= size);
        QVERIFY(pop.GetMessage().endsWith("\r\n.\r\n"));

        QCOMPARE(pop.LIST(1, true).left(6), QByteArray("+OK 1 "));
        pop.DELE(count + 1, true);
        QCOMPARE(pop.CommandStatus(), aPOP::CommandFailed); // -ERR ends at once
        pop.RSET_(true);
        QCOMPARE(pop.CommandStatus(), aPOP::CommandComplete);
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
