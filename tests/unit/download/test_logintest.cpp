#include "../pop3/apoptestsession.h"
#include "download/logintest.h"

#include <QTest>

// The settings dialog's login test over a scripted server: it logs in, says
// how, logs out and fetches nothing; a failure says why. (The password
// command runs a real process: its rows are in test_passwordcommand and the
// integration test, not under this fake clock.)
class TestLoginTest : public QObject
{
    Q_OBJECT
private slots:
    void run_data()
    {
        QTest::addColumn<QByteArray>("passReply"); // the server's answer to PASS
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<QByteArray>>("sent");
        using L = QList<QByteArray>;
        QTest::newRow("logged in") << QByteArray("+OK\r\n") << true << LoginTestText::Succeeded + "USER"
                                   << L{"CAPA", "USER taro", "PASS s3cr*t", "QUIT"};
        QTest::newRow("refused") << QByteArray("-ERR [AUTH] no\r\n") << false
                                 << LoginTestText::Failed + ResponseCodeText::Auth + ": -ERR [AUTH] no"
                                 << L{"CAPA", "USER taro", "PASS s3cr*t"};
    }
    void run()
    {
        QFETCH(QByteArray, passReply);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QFETCH(QList<QByteArray>, sent);
        ApopTestSession s;
        s.transport->setGreeting("+OK ready\r\n");
        s.transport->respond("CAPA", "+OK\r\nUSER\r\n.\r\n");
        s.transport->respond("USER taro", "+OK\r\n");
        s.transport->respond("PASS s3cr*t", passReply);
        s.transport->respondThenClose("QUIT", "+OK bye\r\n");
        const LoginTest::Outcome outcome =
            LoginTest::run({"127.0.0.1", 110, "None", "taro", "s3cr*t", QString(), "Auto"}, s.pop);
        QCOMPARE(outcome.ok, ok);
        QCOMPARE(outcome.text, text);
        QCOMPARE(s.transport->clientLines(), sent);
    }
};

QTEST_GUILESS_MAIN(TestLoginTest)
#include "test_logintest.moc"
