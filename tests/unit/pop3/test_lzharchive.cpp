#include "lzhsample.h"
#include "pop3/lzharchive.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Made with jlha from two 300-byte text files, A.TXT and B.TXT.
const char *const Lh5Level0 =
    "GzwtbGg1LSwAAAAsAQAAgw6KXSAABUEuVFhU6ooAIENukP+rsAeuABeYA/I+gk9IgjIBm6Ba37o0GyxlDFi4QY1z4RlOi1f32httLWxoNS2fAAAALAEAAIMOil0gAAVCLlRYVFvWARZAbmXAo6gFMYlYxVL/"
    "IADSayb24iKdXBd5LRrKb4k0C9J2IUQFypRpcVeU223Mw9qt2YHnUJnes4NTdcULwP0MYOtMz4vAigE46ejaEsXYZ8Ix0hB45+IE+QSVWCcsaau/8hbc523maMrfQiG6Is6/P4zWClyi+FshhThUwhCvU6eqnLbiO3e62PO4QZUxjT65LrU08qLp9EHpfTiAAA==";
const char *const Lh5Level1 =
    "HkctbGg1LTEAAAAsAQAAgw6KXSABBUEuVFhU6ooABQAAY0kAAAAgQ26Q/6uwB64AF5gD8j6CT0iCMgGboFrfujQbLGUMWLhBjXPhGU6LV/faHngtbGg1LaQAAAAsAQAAgw6KXSABBUIuVFhUW9YABQAAY5IAAAEWQG5lwKOoBTGJWMVS/yAA0msm9uIinVwXeS0a"
    "ym+JNAvSdiFEBcqUaXFXlNttzMPardmB51CZ3rODU3XFC8D9DGDrTM+LwIoBOOno2hLF2GfCMdIQeOfiBPkElVgnLGmrv/IW3Odt5mjK30IhuiLOvz+M1gpcovhbIYU4VMIQr1Onqpy24jt3utjzuEGVMY0+uS61NPKi6fRB6X04gAA=";
const char *const Lh5Level2 =
    "JwAtbGg1LSwAAAAsAQAAxwUaayAC6ooABQAA40UIAAFBLlRYVAAAACBDbpD/q7AHrgAXmAPyPoJPSIIyAZugWt+6NBssZQxYuEGNc+EZTotX99onAC1saDUtnwAAACwBAADHBRprIAJb1gAFAAAMOAgAAUIuVFhUAAABFkBuZcCjqAUxiVjFUv8gANJrJvbiIp1c"
    "F3ktGspviTQL0nYhRAXKlGlxV5TbbczD2q3ZgedQmd6zg1N1xQvA/Qxg60zPi8CKATjp6NoSxdhnwjHSEHjn4gT5BJVYJyxpq7/yFtznbeZoyt9CIboizr8/jNYKXKL4WyGFOFTCEK9Tp6qctuI7d7rY87hBlTGNPrkutTTyoun0Qel9OIAA";
const char *const Lh6Level1 =
    "HkktbGg2LTIAAAAsAQAAgw6KXSABBUEuVFhU6ooABQAA4W8AAAAgQ26Q/6uwB64AF5gD8j6CT0iCMgGboBa37o0GyxlDFi4QY1z4RlOi1f32gB55LWxoNi2kAAAALAEAAIMOil0gAQVCLlRYVFvWAAUAAKL7AAABFkBuZcCjqAUxiVjFUv6QAGk1k3txEU6uC7yW"
    "jWU3xJoF6TsQogLlSjS4q8pttuZh7VbswPOoTO9Zwam64oXgfoYwdaZnxeBFAJx09G0JYuwz4RjpCDxz8QJ8gkqsE5Y01d/5C25ztvM0ZW+hEN0RZ1+fxmsFLlF8LZDCnCphCFep09VOW3Edu91sedwgypjGn1yXWpp5UXT6IPS+nEAA";
const char *const Lh7Level2 =
    "JwAtbGg3LS0AAAAsAQAAxwUaayAC6ooABQAA43MIAAFBLlRYVAAAACBDbpD/q7AHrgAXmAPyPoJPSIIyAZugFrfujQbLGUMWLhBjXPhGU6LV/faAJwAtbGg3LZ8AAAAsAQAAxwUaayACW9YABQAADaIIAAFCLlRYVAAAARZAbmXAo6gFMYlYxVL+kABpNZN7cRFOrgu8"
    "lo1lN8SaBek7EKIC5Uo0uKvKbbbmYe1W7MDzqEzvWcGpuuKF4H6GMHWmZ8XgRQCcdPRtCWLsM+EY6Qg8c/ECfIJKrBOWNNXf+Qtuc7bzNGVvoRDdEWdfn8ZrBS5RfC2QwpwqYQhXqdPVTltxHbvdbHncIMqYxp9cl1qaeVF0+iD0vpxAAA==";

QByteArray jlha(const char *base64)
{
    return QByteArray::fromBase64(base64);
}

QByteArray twoStored(int level)
{
    return LzhSample::stored({{"DU991207.TXT", QByteArray(700, 'a')}, {"\x83\x66\x81\x5B\x83\x5E.TXT", "data"}}, level);
}

// The archive with byte `at` changed by `delta`; for a level 0/1 header the
// header checksum (byte 1) is made right again when `fixChecksum`.
QByteArray patched(QByteArray bytes, qsizetype at, int delta, bool fixChecksum = false)
{
    bytes[at] = char(bytes[at] + delta);
    if (fixChecksum)
        bytes[1] = char(bytes[1] + delta);
    return bytes;
}

QString member(const QString &name, const QString &reason)
{
    return LzhText::Damaged + LzhText::MemberNamed.arg(name) + reason;
}

QString numbered(int n, const QString &reason)
{
    return LzhText::Damaged + LzhText::MemberNumbered.arg(n) + reason;
}

} // namespace

class TestLzhArchive : public QObject
{
    Q_OBJECT
private slots:
    void check_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const QByteArray l1 = twoStored(1);
        const qsizetype firstData = 2 + l1[0]; // level 1, no extended headers
        // liblhasa gives an all-capitals MS-DOS name in small letters, as LHA tools show it.
        const QString first = QStringLiteral("du991207.txt");

        QTest::newRow("-lh0- level 0") << twoStored(0) << QString();
        QTest::newRow("-lh0- level 1") << l1 << QString();
        QTest::newRow("-lh0- level 2") << twoStored(2) << QString();
        QTest::newRow("-lh5- level 0") << jlha(Lh5Level0) << QString();
        QTest::newRow("-lh5- level 1") << jlha(Lh5Level1) << QString();
        QTest::newRow("-lh5- level 2") << jlha(Lh5Level2) << QString();
        QTest::newRow("-lh6- level 1") << jlha(Lh6Level1) << QString();
        QTest::newRow("-lh7- level 2") << jlha(Lh7Level2) << QString();
        QTest::newRow("empty member") << LzhSample::stored("E.TXT", {}) << QString();

        QTest::newRow("stored byte changed") << patched(l1, firstData + 10, 1) << member(first, LzhText::CrcMismatch);
        QTest::newRow("second member's name in CP932")
            << patched(l1, l1.size() - 2, 1) << member(QStringLiteral("データ.TXT"), LzhText::CrcMismatch);
        const QByteArray lh5 = jlha(Lh5Level1);
        QTest::newRow("compressed byte changed")
            << patched(lh5, lh5.size() - 20, 0x55) << member(QStringLiteral("b.txt"), LzhText::CrcMismatch);
        QTest::newRow("header checksum") << patched(l1, 1, 1) << numbered(1, LzhText::BrokenHeader);
        QTest::newRow("level 2 header CRC") << patched(twoStored(2), 30, 1) << numbered(1, LzhText::BrokenHeader);
        QTest::newRow("cut in the data") << l1.left(firstData + 100) << member(first, LzhText::Truncated);
        QTest::newRow("cut in a header") << l1.left(firstData + 700 + 10) << numbered(2, LzhText::Truncated);
        QTest::newRow("cut before the first header ends") << l1.left(12) << numbered(1, LzhText::Truncated);
        QTest::newRow("no end mark") << l1.chopped(1) << LzhText::Damaged + LzhText::NoEndMark;
        QTest::newRow("bytes after the end mark") << l1 + "\r\n" << LzhText::Damaged + LzhText::TrailingData;
        QTest::newRow("second archive after the end mark") << l1 + l1 << LzhText::Damaged + LzhText::TrailingData;
        QTest::newRow("end mark only") << QByteArray(1, '\0') << LzhText::Damaged + LzhText::NoMember;
        QTest::newRow("zero bytes") << QByteArray() << LzhText::Damaged + LzhText::NoMember;
        QTest::newRow("not an archive") << QByteArray("Content-Type: text/plain\r\n\r\nhello\r\n") << LzhText::NotArchive;
        QTest::newRow("archive after other bytes") << "MZ" + l1 << LzhText::NotArchive;
        QTest::newRow("unsupported method")
            << patched(l1, 5, 'X' - '0', true) << member(first, LzhText::UnsupportedMethod.arg("-lhX-"));
        QTest::newRow("too large once extracted")
            << patched(l1, 14, 0x20, true) << member(first, LzhText::TooLarge); // 512 MiB more
    }
    void check()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("DU991207.LZH"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        QCOMPARE(LzhArchive::check(path), expected);
    }

    void missingFile()
    {
        QCOMPARE(LzhArchive::check(QStringLiteral("/nonexistent/DU991207.LZH")),
                 LzhText::Damaged + LzhText::Unreadable);
    }

    void checkFor_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("applies");
        QTest::newRow("upper case") << "DU991207.LZH" << true << true;
        QTest::newRow("mixed case") << "du991207.Lzh" << true << true;
        QTest::newRow("setting off") << "DU991207.LZH" << false << false;
        QTest::newRow("other extension") << "DU991207.TXT" << true << false;
        QTest::newRow("lzh inside the name") << "DU991207.LZH.TXT" << true << false;
    }
    void checkFor()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        QFETCH(bool, applies);
        QCOMPARE(bool(LzhArchive::checkFor(name, enabled)), applies);
        if (enabled)
            QCOMPARE(LzhArchive::appliesTo(name), applies);
    }
};

QTEST_GUILESS_MAIN(TestLzhArchive)
#include "test_lzharchive.moc"
