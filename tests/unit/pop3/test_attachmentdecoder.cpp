#include "pop3/attachmentdecoder.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Names in the folder besides `keep`: leftovers of a failed transfer.
QStringList others(const QString &folder, const QString &keep)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(keep);
    return names;
}

QByteArray base64Lines(const QByteArray &data)
{
    QByteArray text;
    const QByteArray encoded = data.toBase64();
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        text += encoded.mid(i, 76) + "\r\n";
    return text;
}

} // namespace

class TestAttachmentDecoder : public QObject
{
    Q_OBJECT
private slots:
    void quad_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("TWFu") << QByteArray("TWFu") << 0 << QByteArray("Man");
        QTest::newRow("TWE=") << QByteArray("TWE=") << 2 << QByteArray("Ma");
        QTest::newRow("TQ==") << QByteArray("TQ==") << 1 << QByteArray("M");
        QTest::newRow("padding at 2 ends the group") << QByteArray("TQ=x") << 1 << QByteArray("M");
        QTest::newRow("three characters ending in =") << QByteArray("TQ=") << 1 << QByteArray("M");
        QTest::newRow("all bits") << QByteArray("+/+/") << 0 << QByteArray("\xfb\xff\xbf");
        QTest::newRow("= at 1") << QByteArray("T=AA") << -1 << QByteArray();
        QTest::newRow("= at 0") << QByteArray("=AAA") << -1 << QByteArray();
        QTest::newRow("hyphen") << QByteArray("TW-u") << -1 << QByteArray();
        QTest::newRow("invalid before the missing character") << QByteArray("T-") << -1 << QByteArray();
        QTest::newRow("two characters") << QByteArray("TW") << -2 << QByteArray();
        QTest::newRow("empty") << QByteArray() << -2 << QByteArray();
    }
    void quad()
    {
        QFETCH(QByteArray, group);
        QFETCH(int, result);
        QFETCH(QByteArray, bytes);
        uchar out[3] = {0, 0, 0};
        QCOMPARE(int(AttachmentDecoder::DecodeBase64Quad(group, out)), result);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), bytes.size()), bytes);
    }

    void transfer_data()
    {
        QTest::addColumn<QByteArray>("attachment");
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("content"); // TestFiles::Missing: no file
        QTest::addColumn<QString>("failure");    // the description when the transfer fails

        const QByteArray data57 = QByteArray("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU");
        const QByteArray line76 = data57.toBase64();
        QVERIFY(line76.size() == 76);
        const QByteArray b64 = "base64", none = TestFiles::Missing;
        auto good = [&](const char *name, const QByteArray &text, const QByteArray &content) {
            QTest::newRow(name) << text << b64 << content << QString();
        };
        auto bad = [&](const char *name, const QByteArray &text, const QString &failure) {
            QTest::newRow(name) << text << b64 << none << failure;
        };
        good("TWFu TWFu TWE=", "TWFu\r\nTWFu\r\nTWE=\r\n", "ManManMa");
        good("76 characters give 57 bytes", line76 + "\r\n", data57);
        good("76 characters, no CR LF", line76, data57);
        good("76 characters and LF", line76 + "\n" + line76 + "\n", data57 + data57);
        good("full lines, short last line", line76 + "\r\n" + line76 + "\r\nTWFuTWFuTWFuTWFuTWE=\r\n",
             data57 + data57 + "ManManManManMa");
        good("empty line and closing boundary", "TWFu\r\n\r\n--XB--\r\nTWFu\r\n", "Man");
        good("the part's delimiter ends it", "TWFu\r\n--XB\r\nTWFu\r\n", "Man");
        good("footer part after padding", "TQ==\r\n--XB  \r\nContent-Type: text/plain\r\n\r\nfooter\r\n--XB--\r\n",
             "M");
        good("further parts after full lines",
             line76 + "\r\n--XB\r\nContent-Transfer-Encoding: base64\r\n\r\nTWFu\r\n--XB\r\n\r\nTWFu\r\n--XB--\r\n",
             data57);
        good("LF line ends", "TWFu\nTWFu\n", "ManMan");
        good("trailing blanks and blank lines", "TWFu \t\r\n\r\n  \r\nTWE= \r\n\r\n", "ManMa");
        bad("hyphen in the fifth group", "TWFuTWFuTWFuTWFuT-FuTWFu\r\nTQ==\r\n", TransferText::InvalidCharacter);
        bad("blank inside a line", "TW Fu\r\n", TransferText::InvalidCharacter);
        bad("tab between groups", "TWFu\tTWFu\r\n", TransferText::InvalidCharacter);
        bad("lone CR", "TWFu\rTWFu\r\nTWFu", TransferText::InvalidCharacter);
        bad("8-bit character", "TWF\xff\r\n", TransferText::InvalidCharacter);
        bad("outside character in a short group", "TWFuT-\r\n", TransferText::InvalidCharacter);
        bad("full line with a dot", line76.first(40) + "." + line76.sliced(41) + "\r\n" + line76 + "\r\n",
            TransferText::InvalidCharacter);
        bad("xx=y", "TQ=u\r\n", TransferText::MisplacedPadding);
        bad("= first", "=WFu\r\n", TransferText::MisplacedPadding);
        bad("= second", "T=Fu\r\n", TransferText::MisplacedPadding);
        bad("padding inside a line", "TWE=TWFu\r\n", TransferText::DataAfterPadding);
        bad("a line after padding", "TQ==\r\n\r\nTWFu\r\n", TransferText::DataAfterPadding);
        bad("a full line after padding", "TQ==\r\n" + line76 + "\r\n", TransferText::DataAfterPadding);
        good("108 characters: 81 bytes", QByteArray("TWFu").repeated(27), QByteArray("Man").repeated(27));
        bad("108 characters and an invalid group", QByteArray("TWFu").repeated(27) + "-AAA",
            TransferText::InvalidCharacter);
        bad("112 characters fail", QByteArray("TWFu").repeated(28), TransferText::LineTooLong);
        bad("81 bytes and padding fail", QByteArray("TWFu").repeated(27) + "TQ==", TransferText::LineTooLong);
        bad("incomplete group fails", "TWFu\r\nTWFuT\r\n", TransferText::IncompleteGroup);
        bad("three characters with padding", "TWFuTQ=\r\n", TransferText::IncompleteGroup);
        good("empty attachment: empty file", QByteArray(), QByteArray());
        QTest::newRow("BASE64 in capitals") << QByteArray("TWFu") << QByteArray("BASE64") << none << QString();
        QTest::newRow("no encoding") << QByteArray("TWFu") << QByteArray() << none << QString();
        QTest::newRow("quoted-printable") << QByteArray("TWFu") << QByteArray("quoted-printable") << none << QString();
    }
    void transfer()
    {
        QFETCH(QByteArray, attachment);
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, content);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CC991224.LZH"));
        QString error = QStringLiteral("old");
        QCOMPARE(AttachmentDecoder::TransferToFile(attachment, "XB", encoding, path, &error), failure.isEmpty());
        QCOMPARE(TestFiles::readOrMissing(path), content);
        QCOMPARE(others(dir.path(), QStringLiteral("CC991224.LZH")), QStringList());
        QCOMPARE(error, failure.isEmpty() ? QString() : TransferText::ErrorPrefix + failure + "(" + path + ")");
    }

    // The check sees the whole file under its temporary name; its reason fails the transfer.
    void fileCheck_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("earlier");
        QTest::newRow("whole, no earlier file") << QString() << false;
        QTest::newRow("whole, earlier file") << QString() << true;
        QTest::newRow("damaged, no earlier file") << QStringLiteral("壊れています") << false;
        QTest::newRow("damaged, earlier file kept") << QStringLiteral("壊れています") << true;
    }
    void fileCheck()
    {
        QFETCH(QString, reason);
        QFETCH(bool, earlier);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        if (earlier)
            QVERIFY(TestFiles::write(path, "earlier"));
        QByteArray seen;
        QString seenPath;
        auto check = [&](const QString &temporaryPath) {
            seenPath = temporaryPath;
            seen = TestFiles::readOrMissing(temporaryPath);
            return reason;
        };
        QString error;
        QCOMPARE(AttachmentDecoder::TransferToFile("TWFu\r\nTWE=\r\n", "XB", "base64", path, &error, check),
                 reason.isEmpty());
        QCOMPARE(seen, QByteArray("ManMa"));
        QVERIFY(seenPath.startsWith(dir.filePath(AttachmentDecoder::TemporaryPrefix)));
        QCOMPARE(error, reason.isEmpty() ? QString() : TransferText::ErrorPrefix + reason + "(" + path + ")");
        QCOMPARE(TestFiles::readOrMissing(path),
                 reason.isEmpty() ? QByteArray("ManMa") : (earlier ? QByteArray("earlier") : TestFiles::Missing));
        QCOMPARE(others(dir.path(), QStringLiteral("A.LZH")), QStringList());
    }

    void failureKeepsTheEarlierFile_data()
    {
        QTest::addColumn<QByteArray>("attachment");
        QTest::addColumn<QString>("description");
        QTest::newRow("incomplete group") << QByteArray("TWFu\r\nTWFuTW\r\n") << TransferText::IncompleteGroup;
        QTest::newRow("line too long") << QByteArray("TWFu\r\n" + QByteArray("TWFu").repeated(30))
                                       << TransferText::LineTooLong;
        QTest::newRow("outside character") << QByteArray("TWFu\r\nTW*u\r\n") << TransferText::InvalidCharacter;
        QTest::newRow("data after padding") << QByteArray("TQ==\r\nTWFu\r\n") << TransferText::DataAfterPadding;
    }
    void failureKeepsTheEarlierFile()
    {
        QFETCH(QByteArray, attachment);
        QFETCH(QString, description);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        QVERIFY(TestFiles::write(path, "earlier"));
        QString error;
        QVERIFY(!AttachmentDecoder::TransferToFile(attachment, "XB", "base64", path, &error));
        QCOMPARE(error, TransferText::ErrorPrefix + description + "(" + path + ")");
        QCOMPARE(TestFiles::readOrMissing(path), QByteArray("earlier"));
        QCOMPARE(others(dir.path(), QStringLiteral("A.LZH")), QStringList());
    }

    void transferTwiceReplaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        QVERIFY(TestFiles::write(path, QByteArray(1000, 'x')));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const QFile::Permissions before = QFile::permissions(path);
        QString error;
        QVERIFY(AttachmentDecoder::TransferToFile("TWFu", "", "base64", path, &error));
        QVERIFY(AttachmentDecoder::TransferToFile("TWFu", "", "base64", path, &error));
        QCOMPARE(TestFiles::readOrMissing(path), QByteArray("Man"));
        QCOMPARE(QFile::permissions(path), before);
    }

    void largeAttachment()
    {
        QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char((i * 7919) >> 3);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("BIG.LZH"));
        QString error;
        QVERIFY(AttachmentDecoder::TransferToFile(base64Lines(data) + "\r\n--XB--\r\n", "XB", "base64", path, &error));
        QCOMPARE(TestFiles::readOrMissing(path), data);
    }

    void cannotCreate_data()
    {
        QTest::addColumn<QString>("sub");
        QTest::addColumn<QString>("description");
        QTest::newRow("missing folder") << QStringLiteral("missing/A.LZH") << TransferText::PathNotFound;
        QTest::newRow("folder of that name") << QStringLiteral("dir") << TransferText::IsFolder;
    }
    void cannotCreate()
    {
        QFETCH(QString, sub);
        QFETCH(QString, description);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("dir"));
        const QString path = dir.filePath(sub);
        QString error;
        QVERIFY(!AttachmentDecoder::TransferToFile("TWFu", "", "base64", path, &error));
        QCOMPARE(error, TransferText::ErrorPrefix + description + "(" + path + ")");
    }

    void readOnlyFolder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        QVERIFY(TestFiles::write(path, "earlier"));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        QString error;
        bool ok = true;
        {
            PermissionsBind asUser;
            QVERIFY(asUser.active());
            ok = AttachmentDecoder::TransferToFile("TWFu", "", "base64", path, &error);
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!ok);
        QCOMPARE(error, TransferText::ErrorPrefix + TransferText::AccessDenied + "(" + path + ")");
        QCOMPARE(TestFiles::readOrMissing(path), QByteArray("earlier"));
    }

    // A device that fails after N bytes: the process's file size limit.
    void diskFullMidway()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        QVERIFY(TestFiles::write(path, "earlier"));
        const QByteArray text = base64Lines(QByteArray(4 * 1024 * 1024, 'z'));

        QString error;
        bool ok = true;
        {
            FileSizeLimit full(1024 * 1024 + 100);
            QVERIFY(full.active());
            ok = AttachmentDecoder::TransferToFile(text, "", "base64", path, &error);
        }

        QVERIFY(!ok);
        QCOMPARE(error, TransferText::ErrorPrefix + TransferText::DiskFull + "(" + path + ")");
        QCOMPARE(TestFiles::readOrMissing(path), QByteArray("earlier"));
        QCOMPARE(others(dir.path(), QStringLiteral("A.LZH")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestAttachmentDecoder)
#include "test_attachmentdecoder.moc"
