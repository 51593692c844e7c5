#include "pop3/responsecode.h"

#include <QTest>

using ResponseCode::Code;
Q_DECLARE_METATYPE(ResponseCode::Code)

class TestResponseCode : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Code>("code");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, const char *reply, Code code, bool busy, const QString &text) {
            QTest::newRow(name) << QByteArray(reply) << code << busy << text;
        };
        row("in use", "-ERR [IN-USE] Mailbox is locked\r\n", Code::InUse, true, ResponseCodeText::InUse);
        row("lower case", "-ERR [in-use] locked\r\n", Code::InUse, true, ResponseCodeText::InUse);
        row("login delay", "-ERR [LOGIN-DELAY] wait 900 s\r\n", Code::LoginDelay, true, ResponseCodeText::LoginDelay);
        row("sys/temp", "-ERR [SYS/TEMP] try later\r\n", Code::SysTemp, true, ResponseCodeText::SysTemp);
        row("sys/temp sub-code", "-ERR [SYS/TEMP/DISK] full\r\n", Code::SysTemp, true, ResponseCodeText::SysTemp);
        row("sys/perm", "-ERR [SYS/PERM] broken\r\n", Code::SysPerm, false, ResponseCodeText::SysPerm);
        row("auth", "-ERR [AUTH] Authentication failed.\r\n", Code::Auth, false, ResponseCodeText::Auth);
        row("no code", "-ERR no such user\r\n", Code::None, false, ResponseCodeText::LoginFailed);
        row("unknown code", "-ERR [XYZ] odd\r\n", Code::None, false, ResponseCodeText::LoginFailed);
        row("code later in the text", "-ERR wrong [IN-USE]\r\n", Code::None, false, ResponseCodeText::LoginFailed);
        row("unclosed bracket", "-ERR [IN-USE\r\n] x", Code::None, false, ResponseCodeText::LoginFailed);
        row("a prefix of a code", "-ERR [IN-USED] x\r\n", Code::None, false, ResponseCodeText::LoginFailed);
        row("positive reply", "+OK [IN-USE]\r\n", Code::None, false, ResponseCodeText::LoginFailed);
        row("empty", "", Code::None, false, ResponseCodeText::LoginFailed);
    }
    void parse()
    {
        QFETCH(QByteArray, reply);
        QFETCH(Code, code);
        QFETCH(bool, busy);
        QFETCH(QString, text);
        QCOMPARE(ResponseCode::parse(reply), code);
        QCOMPARE(ResponseCode::busy(code), busy);
        QCOMPARE(ResponseCode::loginFailureText(code), text);
    }

    void serverText_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("status line only") << QByteArray("-ERR [IN-USE] locked\r\nmore\r\n")
                                          << QStringLiteral("-ERR [IN-USE] locked");
        QTest::newRow("control bytes") << QByteArray("-ERR a\tb\x01\xff\r\n") << QStringLiteral("-ERR a?b??");
        QTest::newRow("bounded") << QByteArray("-ERR " + QByteArray(500, 'x')) << "-ERR " + QString(195, 'x');
    }
    void serverText()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        QCOMPARE(ResponseCode::serverText(reply), text);
    }
};

QTEST_GUILESS_MAIN(TestResponseCode)
#include "test_responsecode.moc"
