#include "pop3/messageparser.h"

#include <QTest>

namespace {

const QByteArray Attachment = "TWFu\r\nTWE=\r\n";

// A data mail as the service sends it, in the RETR reply of the server.
QByteArray dataMail(const QByteArray &status = "+OK 1234 octets",
                    const QByteArray &typeLine = "Content-type: multipart/mixed; boundary=\"XB\"")
{
    return status +
           "\r\n"
           "Date: Mon, 06 Dec 1999 10:00:00 +0900\r\n"
           "From: turf@example.jp\r\n"
           "To: user@example.jp\r\n"
           "Subject: [TURFNET Internet Services]  Power Data\r\n" +
           typeLine +
           "\r\n"
           "\r\n"
           "This is a multi-part message.\r\n"
           "--XB\r\n"
           "Content-Type: text/plain\r\n"
           "\r\n"
           "line one\r\n"
           "line two\r\n"
           "--XB\r\n"
           "Content-Type: application/octet-stream; name=\"CC991224.LZH\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" +
           Attachment +
           "\r\n"
           "--XB--\r\n"
           ".\r\n";
}

} // namespace

class TestMessageParser : public QObject
{
    Q_OBJECT
private slots:
    void mailDate_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime dec6(QDate(1999, 12, 6), QTime(10, 0));
        QTest::newRow("standard, zone ignored") << QByteArray("Mon, 06 Dec 1999 10:00:00 +0900") << dec6;
        QTest::newRow("negative zone ignored") << QByteArray("Mon, 06 Dec 1999 10:00:00 -0500") << dec6;
        QTest::newRow("no weekday") << QByteArray("06 Dec 1999 10:00:00 +0900") << dec6;
        QTest::newRow("one-digit day, no seconds") << QByteArray("Mon, 6 Dec 1999 10:00 +0900") << dec6;
        QTest::newRow("two-digit year 99") << QByteArray("Mon, 06 Dec 99 10:00:00") << dec6;
        QTest::newRow("two-digit year 05")
            << QByteArray("Tue, 01 Feb 05 23:59:59 +0900") << QDateTime(QDate(2005, 2, 1), QTime(23, 59, 59));
        QTest::newRow("month in capitals, zone name")
            << QByteArray("Fri, 31 DEC 2021 08:05:09 JST") << QDateTime(QDate(2021, 12, 31), QTime(8, 5, 9));
        QTest::newRow("no time") << QByteArray("Mon, 06 Dec 1999") << QDateTime(QDate(1999, 12, 6), QTime(0, 0));
        QTest::newRow("garbage") << QByteArray("soon") << QDateTime();
        QTest::newRow("empty") << QByteArray() << QDateTime();
        QTest::newRow("31 February") << QByteArray("Mon, 31 Feb 1999 10:00:00") << QDateTime();
        QTest::newRow("unknown month") << QByteArray("Mon, 06 Xyz 1999 10:00:00") << QDateTime();
        QTest::newRow("hour 24") << QByteArray("Mon, 06 Dec 1999 24:00:00") << QDateTime();
    }
    void mailDate()
    {
        QFETCH(QByteArray, value);
        QFETCH(QDateTime, expected);
        QCOMPARE(MessageParser::parseMailDate(value), expected);
    }

    void parse_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("boundary");
        QTest::addColumn<QByteArray>("fileName");
        QTest::addColumn<QByteArray>("attachment");

        const int reply = int(MessageParser::Mode::Reply);
        const int exact = int(MessageParser::Mode::Exact);
        const QByteArray subject = "[TURFNET Internet Services]  Power Data";
        const QByteArray body = "line one\r\nline two\r\n";
        const QByteArray attachment = Attachment + "\r\n--XB--";

        QTest::newRow("reply") << reply << dataMail() << true << subject << body << QByteArray("XB")
                               << QByteArray("CC991224.LZH") << attachment;
        QTest::newRow("exact, logged record") << exact << dataMail() << true << subject << body << QByteArray("XB")
                                              << QByteArray("CC991224.LZH") << attachment;
        QTest::newRow("reply, header in capitals")
            << reply << dataMail("+OK", "CONTENT-TYPE: MULTIPART/MIXED; BOUNDARY=\"XB\"") << true << subject << body
            << QByteArray("XB") << QByteArray("CC991224.LZH") << attachment;
        // Exact spelling only: without the boundary the whole rest is header.
        QTest::newRow("exact, header in capitals")
            << exact << dataMail("+OK", "CONTENT-TYPE: MULTIPART/MIXED; BOUNDARY=\"XB\"") << false << subject
            << QByteArray() << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("exact, Content-Type with capital T")
            << exact << dataMail("+OK", "Content-Type: multipart/mixed; boundary=XB") << false << subject
            << QByteArray() << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("boundary without quotes")
            << reply << dataMail("+OK", "Content-Type: multipart/mixed; boundary=XB") << true << subject << body
            << QByteArray("XB") << QByteArray("CC991224.LZH") << attachment;
        QTest::newRow("boundary with one quote kept")
            << reply << dataMail("+OK", "Content-Type: multipart/mixed; boundary=\"XB") << true << subject
            << QByteArray("line one\r\nline two\r\n--XB\r\nContent-Type: application/octet-stream; "
                          "name=\"CC991224.LZH\"\r\nContent-Transfer-Encoding: base64\r\n\r\nTWFu\r\nTWE=\r\n\r\n"
                          "--XB--\r\n.\r\n")
            << QByteArray("\"XB") << QByteArray() << QByteArray();

        QByteArray top = dataMail();
        top.truncate(top.indexOf("TWE="));
        top += ".\r\n";
        QTest::newRow("TOP reply stops in the attachment")
            << reply << top << true << subject << body << QByteArray("XB") << QByteArray("CC991224.LZH")
            << QByteArray("TWFu");

        QByteArray both = dataMail();
        both.replace("Content-Transfer-Encoding", "Content-Description: DESC.LZH\r\nContent-Transfer-Encoding");
        QTest::newRow("description after name= wins")
            << reply << both << true << subject << body << QByteArray("XB") << QByteArray("DESC.LZH") << attachment;
        QByteArray nameLast = dataMail();
        nameLast.replace("Content-Type: application", "Content-Description: DESC.LZH\r\nContent-Type: application");
        QTest::newRow("name= after description wins") << reply << nameLast << true << subject << body
                                                      << QByteArray("XB") << QByteArray("CC991224.LZH") << attachment;

        QTest::newRow("single part: body up to a bare --")
            << reply
            << QByteArray("+OK\r\nSubject: Hello\r\n\r\nignored\r\n\r\nfirst\r\nsecond\r\n--\r\nafter\r\n.\r\n") << true
            << QByteArray("Hello") << QByteArray("first\r\nsecond\r\n") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("no subject: false, file name still set")
            << reply << QByteArray(dataMail()).replace("Subject: ", "X-Subject: ") << false << QByteArray() << body
            << QByteArray("XB") << QByteArray("CC991224.LZH") << attachment;
        QTest::newRow("exact skips the preamble and needs the boundary line")
            << exact
            << QByteArray("Subject: S\r\nContent-type: multipart/mixed; boundary=B\r\n\r\npreamble\r\n\r\n--B\r\n"
                          "\r\nbody\r\n--B\r\n\r\nQQ==\r\n.\r\n")
            << true << QByteArray("S") << QByteArray("body\r\n") << QByteArray("B") << QByteArray()
            << QByteArray("QQ==");
        QTest::newRow("last line without CR LF")
            << reply << QByteArray("Subject: S\r\n\r\n\r\nbody") << true << QByteArray("S") << QByteArray("body\r\n")
            << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("empty") << reply << QByteArray() << false << QByteArray() << QByteArray() << QByteArray()
                               << QByteArray() << QByteArray();
    }
    void parse()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, text);
        QFETCH(bool, result);
        QFETCH(QByteArray, subject);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, boundary);
        QFETCH(QByteArray, fileName);
        QFETCH(QByteArray, attachment);

        MessageParser parser;
        QCOMPARE(parser.parse(text, MessageParser::Mode(mode)), result);
        QCOMPARE(parser.subjectBytes(), subject);
        QCOMPARE(parser.bodyBytes(), body);
        QCOMPARE(parser.boundary(), boundary);
        QCOMPARE(parser.fileNameBytes(), fileName);
        QCOMPARE(parser.attachmentText().toByteArray(), attachment);
        QCOMPARE(parser.logText().joined(), text);
        QVERIFY(!parser.stoppedEarly());
    }

    void headerFields()
    {
        MessageParser parser;
        QVERIFY(parser.parse(dataMail(), MessageParser::Mode::Reply));
        QCOMPARE(parser.date(), QDateTime(QDate(1999, 12, 6), QTime(10, 0)));
        QCOMPARE(parser.from(), QStringLiteral("turf@example.jp"));
        QCOMPARE(parser.to(), QStringLiteral("user@example.jp"));
        QCOMPARE(parser.transferEncoding(), QByteArray("base64"));

        // A new parse resets everything but the transfer encoding.
        QVERIFY(!parser.parse("+OK\r\nSubject: x\r\n\r\n", MessageParser::Mode::Reply));
        QCOMPARE(parser.date(), QDateTime(QDate(1980, 1, 1), QTime(0, 0)));
        QCOMPARE(parser.from(), QString());
        QCOMPARE(parser.fileName(), QString());
        QCOMPARE(parser.transferEncoding(), QByteArray("base64"));
    }

    void attachmentIsAViewOfTheText()
    {
        const QByteArray text = dataMail();
        MessageParser parser;
        QVERIFY(parser.parse(text, MessageParser::Mode::Reply));
        const QByteArrayView view = parser.attachmentText();
        QVERIFY(view.data() >= text.constData() && view.data() < text.constData() + text.size());
    }

    void jisConversion_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("body");
        const QByteArray kanji = "\x8a\xbf\x8e\x9a";
        const QByteArray jis = "\x1b$B4A;z\x1b(B";
        QTest::newRow("reply: subject, from and body")
            << int(MessageParser::Mode::Reply) << kanji << kanji << QByteArray("line one\r\n" + kanji + "\r\n");
        QTest::newRow("exact: body only")
            << int(MessageParser::Mode::Exact) << jis << jis << QByteArray("line one\r\n" + kanji + "\r\n");
    }
    void jisConversion()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, subject);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, body);
        const QByteArray jis = "\x1b$B4A;z\x1b(B";
        QByteArray text = dataMail();
        text.replace("Subject: [TURFNET Internet Services]  Power Data", "Subject: " + jis);
        text.replace("From: turf@example.jp", "From: " + jis);
        text.replace("line two", jis);
        MessageParser parser;
        QVERIFY(parser.parse(text, MessageParser::Mode(mode)));
        QCOMPARE(parser.subjectBytes(), subject);
        QCOMPARE(parser.fromBytes(), from);
        QCOMPARE(parser.bodyBytes(), body);
    }

    void errorsStopTheParse_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QByteArray>("fileName");
        // Fields before the unreadable Date stay, later ones are not read.
        QTest::newRow("unreadable date")
            << int(MessageParser::Mode::Reply) << QByteArray("a@b") << QByteArray()
            << QByteArray("From: a@b\r\nDate: someday\r\nTo: c@d\r\nSubject: s\r\n\r\n\r\nbody\r\n") << false
            << QByteArray();
        // The body's odd JIS segment ends an Exact parse before the attachment part.
        QTest::newRow("odd JIS body, exact")
            << int(MessageParser::Mode::Exact) << QByteArray("f") << QByteArray()
            << QByteArray("From: f\r\nSubject: s\r\n--\r\n\r\n\x1b$B4A;\x1b(B\r\n--\r\nContent-Description: N\r\n\r\n")
            << true << QByteArray();
        // Reply mode converts subject, body, from in that order and stops at the odd one.
        QTest::newRow("odd JIS subject, reply")
            << int(MessageParser::Mode::Reply) << QByteArray("\x1b$B4A\x1b(B") << QByteArray()
            << QByteArray("From: \x1b$B4A\x1b(B\r\nSubject: \x1b$B4A;\x1b(B\r\n\r\n\r\nbody\r\n") << true
            << QByteArray();
    }
    void errorsStopTheParse()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QByteArray, text);
        QFETCH(bool, result);
        QFETCH(QByteArray, fileName);
        MessageParser parser;
        QCOMPARE(parser.parse(text, MessageParser::Mode(mode)), result);
        QVERIFY(parser.stoppedEarly());
        QCOMPARE(parser.fromBytes(), from);
        QCOMPARE(parser.toBytes(), to);
        QCOMPARE(parser.fileNameBytes(), fileName);
        QCOMPARE(parser.date(), QDateTime(QDate(1980, 1, 1), QTime(0, 0)));
    }

    void logText_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("dropped");
        QTest::newRow("bare +OK dropped") << QByteArray("+OK ") << true;
        QTest::newRow("+OK without blank kept") << QByteArray("+OK") << false;
        QTest::newRow("size kept") << QByteArray("+OK 1234 octets") << false;
    }
    void logText()
    {
        QFETCH(QByteArray, status);
        QFETCH(bool, dropped);
        QByteArray text = dataMail(status);
        text.replace("line two", "\x1b$B4A;z\x1b(B");
        MessageParser parser;
        QVERIFY(parser.parse(text, MessageParser::Mode::Reply));
        const QByteArray attachmentBefore = parser.attachmentText().toByteArray();
        const QByteArray record = parser.convertLogText().joined();
        QByteArray expected = text;
        expected.replace("\x1b$B4A;z\x1b(B", "\x8a\xbf\x8e\x9a");
        if (dropped)
            expected.remove(0, status.size() + 2);
        QCOMPARE(record, expected);
        QCOMPARE(parser.logText().joined(), expected);
        QCOMPARE(parser.attachmentText().toByteArray(), attachmentBefore);
        // The caller's buffer is not converted behind its back.
        QVERIFY(text.contains("\x1b$B"));
    }

    void boundCompleteOnAGrowingBuffer()
    {
        MessageParser parser;
        QVERIFY(parser.parse(dataMail(), MessageParser::Mode::Reply));
        QByteArray reply = "+OK\r\n" + QByteArray(100000, 'A');
        QVERIFY(!parser.boundComplete(reply));
        reply += "\r\n--X";
        QVERIFY(!parser.boundComplete(reply));
        reply += "B-"; // the closing line split over three arrivals
        QVERIFY(!parser.boundComplete(reply));
        reply += "-\r\n";
        QVERIFY(parser.boundComplete(reply));
        QVERIFY(parser.boundComplete(reply));
        // A new reply in the same buffer is searched from its start again.
        reply = "+OK\r\n--XB--\r\n" + QByteArray(200000, 'B');
        QVERIFY(parser.boundComplete(reply));
        reply = "+OK\r\n" + QByteArray(200000, 'B');
        QVERIFY(!parser.boundComplete(reply));
    }

    void boundComplete_data()
    {
        QTest::addColumn<QByteArray>("boundary");
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<bool>("expected");
        QTest::newRow("closing line without the dot") << QByteArray("XB") << QByteArray("x\r\n--XB--\r\n") << true;
        QTest::newRow("only the opening line") << QByteArray("XB") << QByteArray("x\r\n--XB\r\n") << false;
        QTest::newRow("empty boundary, four hyphens") << QByteArray() << QByteArray("a----b") << true;
        QTest::newRow("empty boundary, three hyphens") << QByteArray() << QByteArray("a---b") << false;
        QTest::newRow("case matters") << QByteArray("XB") << QByteArray("--xb--") << false;
    }
    void boundComplete()
    {
        QFETCH(QByteArray, boundary);
        QFETCH(QByteArray, buffer);
        QFETCH(bool, expected);
        QCOMPARE(AttachmentDecoder::BoundComplete(buffer, boundary), expected);
    }
};

QTEST_GUILESS_MAIN(TestMessageParser)
#include "test_messageparser.moc"
