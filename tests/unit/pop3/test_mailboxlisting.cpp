#include "pop3/mailboxlisting.h"

#include <QtTest>

// Each row: which listing, the reply, the limit the parser gets (STAT: none,
// UIDL: the count, LIST: the highest number), and the table written out:
// STAT "count size", UIDL "n=id" ("-" unusable), LIST "n=size" and "!n" for
// every unusable number in the order met.
class TestMailboxListing : public QObject
{
    Q_OBJECT
private slots:
    void tables_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("table");

        QTest::newRow("stat") << "STAT" << QByteArray("+OK 3 1200\r\n") << 0LL << "3 1200";
        QTest::newRow("stat with text after the size") << "STAT" << QByteArray("+OK 2 10 octets\r\n") << 0LL << "2 10";
        QTest::newRow("stat sign") << "STAT" << QByteArray("+OK +2 10\r\n") << 0LL << "-1 10";
        QTest::newRow("stat without size") << "STAT" << QByteArray("+OK 2\r\n") << 0LL << "2 -1";
        QTest::newRow("stat too many") << "STAT" << QByteArray("+OK 1000001 10\r\n") << 0LL << "-1 10";
        QTest::newRow("stat at most") << "STAT" << QByteArray("+OK 1000000 0\r\n") << 0LL << "1000000 0";
        QTest::newRow("stat refused") << "STAT" << QByteArray("-ERR 2 10\r\n") << 0LL << "-1 -1";

        QTest::newRow("uidl") << "UIDL" << QByteArray("+OK\r\n1 a\r\n2 b\r\n.\r\n") << 2LL << "1=a 2=b";
        QTest::newRow("uidl short, highest listed counts")
            << "UIDL" << QByteArray("+OK\r\n3 c\r\n.\r\n") << 5LL << "1=- 2=- 3=c";
        QTest::newRow("uidl beyond the count") << "UIDL" << QByteArray("+OK\r\n1 a\r\n4 d\r\n.\r\n") << 3LL << "1=a";
        QTest::newRow("uidl duplicate line") << "UIDL" << QByteArray("+OK\r\n1 a\r\n1 b\r\n2 c\r\n.\r\n") << 2LL
                                             << "1=- 2=c";
        QTest::newRow("uidl same id in other case") << "UIDL" << QByteArray("+OK\r\n1 Ab\r\n2 aB\r\n3 x\r\n.\r\n")
                                                    << 3LL << "1=- 2=- 3=x";
        QTest::newRow("uidl malformed ids")
            << "UIDL" << QByteArray("+OK\r\n1\r\n2 a\x7f\r\n3 ") + QByteArray(71, 'z') + "\r\n4 " +
                             QByteArray(70, 'y') + "\r\n.\r\n"
            << 4LL << "1=- 2=- 3=- 4=" + QString(70, u'y');
        QTest::newRow("uidl odd numbers skipped") << "UIDL" << QByteArray("+OK\r\n01 a\r\n1x b\r\n x c\r\n.\r\n")
                                                  << 2LL << "1=a";

        QTest::newRow("list") << "LIST" << QByteArray("+OK\r\n1 10\r\n2 20 \r\n.\r\n") << 2LL << "1=10 2=20";
        QTest::newRow("list missing and beyond") << "LIST" << QByteArray("+OK\r\n2 5\r\n3 9\r\n.\r\n") << 2LL
                                                 << "1=0 2=5";
        QTest::newRow("list bad sizes in the order met")
            << "LIST" << QByteArray("+OK\r\n3 x\r\n1 5\r\n1 6\r\n2 536870913\r\n3 7\r\n.\r\n") << 3LL
            << "1=5 2=0 3=7 !3 !1 !2";
        QTest::newRow("list largest size") << "LIST" << QByteArray("+OK\r\n1 536870912\r\n.\r\n") << 1LL
                                           << "1=536870912";
    }

    void tables()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, reply);
        QFETCH(qint64, limit);
        QStringList out;
        if (kind == u"STAT") {
            const MailboxListing::Stat s = MailboxListing::parseStat(reply);
            out << QString::number(s.count) + u' ' + QString::number(s.size);
        } else if (kind == u"UIDL") {
            const std::vector<QString> ids = MailboxListing::parseUidl(reply, limit);
            for (std::size_t n = 1; n < ids.size(); ++n)
                out << QString::number(n) + u'=' + (ids[n].isEmpty() ? QStringLiteral("-") : ids[n]);
        } else {
            const MailboxListing::Sizes s = MailboxListing::parseList(reply, limit);
            for (std::size_t n = 1; n < s.size.size(); ++n)
                out << QString::number(n) + u'=' + QString::number(s.size[n]);
            for (qint64 n : s.unusable)
                out << u'!' + QString::number(n);
        }
        QTEST(out.join(u' '), "table");
    }
};

QTEST_GUILESS_MAIN(TestMailboxListing)
#include "test_mailboxlisting.moc"
