#include "apoptestsession.h"
#include "pop3/authchoice.h"

#include <QCryptographicHash>
#include <QTest>

// Logins over a scripted server: the lines the client sends for each method,
// the continuation steps of AUTH, the APOP fallback, and what a refusal says.
class TestApopLogin : public QObject
{
    Q_OBJECT
private slots:
    void login_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("capa"); // the capabilities; empty: CAPA refused
        QTest::addColumn<QList<QByteArray>>("script"); // client line, then the server's answer, in turn
        QTest::addColumn<QString>("used");             // empty: the login fails
        QTest::addColumn<QString>("failure");          // part of lastFailure()
        const QByteArray plain = QByteArray("\0taro\0s3cr*t", 12).toBase64();
        const QByteArray stamp = "<1896.697170952@dbc.mtview.ca.us>";
        const QByteArray digest = QCryptographicHash::hash(stamp + "s3cr*t", QCryptographicHash::Md5).toHex();
        const QByteArray ready = "+OK ready\r\n";
        const QByteArray stamped = "+OK ready " + stamp + "\r\n";
        using L = QList<QByteArray>;
        QTest::newRow("no CAPA: USER/PASS") << "Auto" << ready << QByteArray()
                                            << L{"USER taro", "+OK\r\n", "PASS s3cr*t", "+OK\r\n"} << "USER" << "";
        QTest::newRow("PLAIN with its first message on the AUTH line")
            << "Auto" << ready << QByteArray("SASL PLAIN\r\n") << L{"AUTH PLAIN " + plain, "+OK\r\n"} << "PLAIN"
            << "";
        QTest::newRow("LOGIN answers each challenge")
            << "LOGIN" << ready << QByteArray("SASL LOGIN\r\nUSER\r\n")
            << L{"AUTH LOGIN", "+ VXNlcm5hbWU6\r\n", "dGFybw==", "+ UGFzc3dvcmQ6\r\n", "czNjcip0", "+OK\r\n"}
            << "LOGIN" << "";
        QTest::newRow("CRAM-MD5 (the challenge of RFC 2195)")
            << "Auto" << ready << QByteArray("SASL CRAM-MD5\r\n")
            << L{"AUTH CRAM-MD5", "+ PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n",
                 "dGFybyAzNTllMzE1NmM1YmM2ZWRjZDZkMjBhYjdkZmI1OWVkYg==", "+OK\r\n"}
            << "CRAM-MD5" << "";
        QTest::newRow("APOP") << "Auto" << stamped << QByteArray("USER\r\n") << L{"APOP taro " + digest, "+OK\r\n"}
                              << "APOP" << "";
        QTest::newRow("APOP refused, USER/PASS once")
            << "Auto" << stamped << QByteArray("USER\r\n")
            << L{"APOP taro " + digest, "-ERR no secret\r\n", "USER taro", "+OK\r\n", "PASS s3cr*t", "+OK\r\n"}
            << "USER" << "";
        QTest::newRow("APOP on a locked mailbox: no fallback")
            << "Auto" << stamped << QByteArray("USER\r\n") << L{"APOP taro " + digest, "-ERR [IN-USE] locked\r\n"}
            << "" << "APOP: " + ResponseCodeText::InUse;
        QTest::newRow("APOP named: no fallback")
            << "APOP" << stamped << QByteArray("USER\r\n") << L{"APOP taro " + digest, "-ERR [AUTH] no secret\r\n"}
            << "" << "APOP: " + ResponseCodeText::Auth + ": -ERR [AUTH] no secret";
        QTest::newRow("SASL refused with a code")
            << "Auto" << ready << QByteArray("SASL PLAIN\r\n") << L{"AUTH PLAIN " + plain, "-ERR [IN-USE] busy\r\n"}
            << "" << "PLAIN: " + ResponseCodeText::InUse;
        QTest::newRow("challenge that is not base64: cancelled")
            << "CRAM-MD5" << ready << QByteArray() << L{"AUTH CRAM-MD5", "+ !!!\r\n", "*", "-ERR cancelled\r\n"} << ""
            << "-ERR cancelled";
        QTest::newRow("named method not offered: nothing sent")
            << "SCRAM-SHA-256" << ready << QByteArray("SASL PLAIN\r\n") << L{} << ""
            << AuthChoiceText::NotOffered + "SCRAM-SHA-256";
        QTest::newRow("bearer token refused (RFC 7628)")
            << "OAUTHBEARER" << ready << QByteArray("SASL OAUTHBEARER\r\n")
            << L{"AUTH OAUTHBEARER " + QByteArray("n,a=taro,\1host=127.0.0.1\1port=110\1auth=Bearer s3cr*t\1\1").toBase64(),
                 "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n", "AQ==", "-ERR [AUTH] bad token\r\n"}
            << "" << R"({"status":"invalid_token"})";
    }
    void login()
    {
        QFETCH(QString, setting);
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, capa);
        QFETCH(QList<QByteArray>, script);
        QFETCH(QString, used);
        QFETCH(QString, failure);
        ApopTestSession s;
        s.transport->setGreeting(greeting);
        s.transport->respond("CAPA", capa.isEmpty() ? QByteArray("-ERR\r\n") : "+OK\r\n" + capa + ".\r\n");
        QList<QByteArray> sent = {"CAPA"};
        for (qsizetype i = 0; i + 1 < script.size(); i += 2) {
            s.transport->respond(script[i], script[i + 1]);
            sent << script[i];
        }
        QVERIFY(s.pop.ConnectByName(QStringLiteral("127.0.0.1")));
        s.pop.setAuthMethod(setting);
        QCOMPARE(s.pop.Authorize("taro", "s3cr*t"), !used.isEmpty());
        QCOMPARE(s.transport->clientLines(), sent);
        QCOMPARE(s.transport->unexpected(), QList<QByteArray>());
        QCOMPARE(s.pop.authMethodUsed(), used);
        QVERIFY2(s.pop.lastFailure().contains(failure), qPrintable(s.pop.lastFailure()));
        for (const QString &text : s.statuses + s.pop.authNotes() + QStringList{s.pop.lastFailure()})
            QVERIFY(!text.contains("s3cr"));
    }

    // A command submitted while an AUTH exchange lasts is not sent and fails;
    // the exchange goes on undisturbed.
    void nothingGoesAheadOfAnExchange()
    {
        ApopTestSession s;
        s.transport->setGreeting("+OK ready\r\n");
        s.transport->respond("CAPA", "+OK\r\nSASL LOGIN\r\n.\r\n");
        s.transport->respond("AUTH LOGIN", "+ VXNlcm5hbWU6\r\n");
        aPOP::Id ahead = 0;
        s.transport->respond("dGFybw==", [&](FakeTransport &t, const QByteArray &) {
            ahead = s.pop.submit("STAT", ReplyMode::SingleLine);
            t.server("+ UGFzc3dvcmQ6\r\n");
        });
        s.transport->respond("czNjcip0", "+OK\r\n");
        QVERIFY(s.pop.ConnectByName(QStringLiteral("127.0.0.1")));
        s.pop.setAuthMethod(QStringLiteral("LOGIN"));
        QVERIFY(s.pop.Authorize("taro", "s3cr*t"));
        QCOMPARE(s.transport->clientLines(), (QList<QByteArray>{"CAPA", "AUTH LOGIN", "dGFybw==", "czNjcip0"}));
        QVERIFY(ahead != 0 && s.pop.reply(ahead) && s.pop.reply(ahead)->status == CommandStatus::Failed);
    }
};

QTEST_GUILESS_MAIN(TestApopLogin)
#include "test_apop_login.moc"
