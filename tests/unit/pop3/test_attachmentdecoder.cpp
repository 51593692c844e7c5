#include "pop3/attachmentdecoder.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

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
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("content"); // "<missing>": no file

        const QByteArray data57 = QByteArray("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU");
        const QByteArray line76 = data57.toBase64();
        QVERIFY(line76.size() == 76);
        QTest::newRow("TWFu TWE= TQ==") << QByteArray("TWFu\r\nTWE=\r\nTQ==\r\n") << QByteArray("base64") << true
                                        << QByteArray("ManMaM");
        QTest::newRow("76 characters give 57 bytes") << line76 + "\r\n" << QByteArray("base64") << true << data57;
        QTest::newRow("76 characters, no CR LF") << line76 << QByteArray("base64") << true << data57;
        QTest::newRow("full lines, short last line")
            << line76 + "\r\n" + line76 + "\r\nTWFuTWFuTWFuTWFuTWE=\r\n"
            << QByteArray("base64") << true << data57 + data57 + "ManManManManMa";
        QTest::newRow("empty line and closing boundary")
            << QByteArray("TWFu\r\n\r\n--XB--\r\nTWFu\r\n") << QByteArray("base64") << true << QByteArray("Man");
        QTest::newRow("boundary line that is not the closing one")
            << QByteArray("TWFu\r\n--XB\r\nTWFu\r\n") << QByteArray("base64") << true << QByteArray("ManMan");
        QTest::newRow("hyphen in the fifth group") << QByteArray("TWFuTWFuTWFuTWFuT-FuTWFu\r\nTQ==\r\n")
                                                   << QByteArray("base64") << true << QByteArray("ManManManManM");
        QTest::newRow("lone CR cuts the line")
            << QByteArray("TWFu\rTWFu\r\nTWFu") << QByteArray("base64") << true << QByteArray("ManMan");
        QTest::newRow("108 characters: 81 bytes")
            << QByteArray("TWFu").repeated(27) << QByteArray("base64") << true << QByteArray("Man").repeated(27);
        QTest::newRow("108 characters and an invalid group")
            << QByteArray("TWFu").repeated(27) + "-AAA" << QByteArray("base64") << true
            << QByteArray("Man").repeated(27);
        QTest::newRow("112 characters fail")
            << QByteArray("TWFu").repeated(28) << QByteArray("base64") << false << QByteArray("<missing>");
        QTest::newRow("81 bytes and padding fail")
            << QByteArray("TWFu").repeated(27) + "TQ==" << QByteArray("base64") << false << QByteArray("<missing>");
        QTest::newRow("incomplete group fails")
            << QByteArray("TWFu\r\nTWFuT\r\n") << QByteArray("base64") << false << QByteArray("<missing>");
        QTest::newRow("three characters with padding")
            << QByteArray("TWFuTQ=\r\n") << QByteArray("base64") << true << QByteArray("ManM");
        QTest::newRow("empty attachment: empty file") << QByteArray() << QByteArray("base64") << true << QByteArray();
        QTest::newRow("BASE64 in capitals")
            << QByteArray("TWFu") << QByteArray("BASE64") << true << QByteArray("<missing>");
        QTest::newRow("no encoding") << QByteArray("TWFu") << QByteArray() << true << QByteArray("<missing>");
        QTest::newRow("quoted-printable")
            << QByteArray("TWFu") << QByteArray("quoted-printable") << true << QByteArray("<missing>");
    }
    void transfer()
    {
        QFETCH(QByteArray, attachment);
        QFETCH(QByteArray, encoding);
        QFETCH(bool, ok);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("CC991224.LZH"));
        QString error = QStringLiteral("old");
        QCOMPARE(AttachmentDecoder::TransferToFile(attachment, "XB", encoding, path, &error), ok);
        QCOMPARE(readFile(path), content);
        QCOMPARE(others(dir.path(), QStringLiteral("CC991224.LZH")), QStringList());
        if (ok)
            QCOMPARE(error, QString());
        else
            QVERIFY(error.startsWith(TransferText::ErrorPrefix) && error.endsWith("(" + path + ")"));
    }

    void failureKeepsTheEarlierFile_data()
    {
        QTest::addColumn<QByteArray>("attachment");
        QTest::addColumn<QString>("description");
        QTest::newRow("incomplete group") << QByteArray("TWFu\r\nTWFuTW\r\n") << TransferText::IncompleteGroup;
        QTest::newRow("line too long") << QByteArray("TWFu\r\n" + QByteArray("TWFu").repeated(30))
                                       << TransferText::LineTooLong;
    }
    void failureKeepsTheEarlierFile()
    {
        QFETCH(QByteArray, attachment);
        QFETCH(QString, description);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        writeFile(path, "earlier");
        QString error;
        QVERIFY(!AttachmentDecoder::TransferToFile(attachment, "XB", "base64", path, &error));
        QCOMPARE(error, TransferText::ErrorPrefix + description + "(" + path + ")");
        QCOMPARE(readFile(path), QByteArray("earlier"));
        QCOMPARE(others(dir.path(), QStringLiteral("A.LZH")), QStringList());
    }

    void transferTwiceReplaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        writeFile(path, QByteArray(1000, 'x'));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const QFile::Permissions before = QFile::permissions(path);
        QString error;
        QVERIFY(AttachmentDecoder::TransferToFile("TWFu", "", "base64", path, &error));
        QVERIFY(AttachmentDecoder::TransferToFile("TWFu", "", "base64", path, &error));
        QCOMPARE(readFile(path), QByteArray("Man"));
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
        QCOMPARE(readFile(path), data);
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
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        writeFile(path, "earlier");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        QString error;
        const bool ok = AttachmentDecoder::TransferToFile("TWFu", "", "base64", path, &error);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!ok);
        QCOMPARE(error, TransferText::ErrorPrefix + TransferText::AccessDenied + "(" + path + ")");
        QCOMPARE(readFile(path), QByteArray("earlier"));
    }

    // A device that fails after N bytes: the process's file size limit.
    void diskFullMidway()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("A.LZH"));
        writeFile(path, "earlier");
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
        QCOMPARE(readFile(path), QByteArray("earlier"));
        QCOMPARE(others(dir.path(), QStringLiteral("A.LZH")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestAttachmentDecoder)
#include "test_attachmentdecoder.moc"
