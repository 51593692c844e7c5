#include "core/cp932.h"
#include "core/inifile.h"
#include "testsupport.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray kSample = "; written by hand\r\n"
                           "[Config]\r\n"
                           "ServerName=pop.example.jp\r\n"
                           "Empty=\r\n"
                           "  Spaced Key  =  padded value  \r\n"
                           "Quoted=\"  kept blanks \"\r\n"
                           "NoEquals line\r\n"
                           "\r\n"
                           "[Move]\r\n"
                           "Left=1200\r\n"
                           "Left=9999\r\n"
                           "[config]\r\n"
                           "Hidden=second section of the same name is not read\r\n";

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT
private slots:
    void reading_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("def");
        QTest::addColumn<QVariant>("expected"); // null QVariant = nothing

        const QVariant nothing;
        QTest::newRow("present") << "Config"
                                 << "ServerName" << QVariant(QString()) << QVariant("pop.example.jp");
        QTest::newRow("key case") << "Config"
                                  << "SERVERNAME" << QVariant("x") << QVariant("pop.example.jp");
        QTest::newRow("section case") << "CONFIG"
                                      << "servername" << QVariant("x") << QVariant("pop.example.jp");
        QTest::newRow("empty value is nothing, not the default") << "Config"
                                                                 << "Empty" << QVariant("dflt") << nothing;
        QTest::newRow("missing key, text default") << "Config"
                                                   << "Nope" << QVariant("dflt") << QVariant("dflt");
        QTest::newRow("missing key, empty default") << "Config"
                                                    << "Nope" << QVariant(QString()) << nothing;
        QTest::newRow("missing key, null default is 0") << "Config"
                                                        << "Nope" << QVariant() << QVariant("0");
        QTest::newRow("missing key, bool default") << "Config"
                                                   << "Nope" << QVariant(true) << QVariant("True");
        QTest::newRow("missing key, time default") << "Config"
                                                   << "Nope" << QVariant(QTime(12, 30)) << QVariant("12:30:00");
        QTest::newRow("missing key, int default") << "Config"
                                                  << "Nope" << QVariant(7) << QVariant("7");
        QTest::newRow("missing section") << "Other"
                                         << "ServerName" << QVariant("d") << QVariant("d");
        QTest::newRow("blanks around key and value") << "Config"
                                                     << "spaced key" << QVariant() << QVariant("padded value");
        QTest::newRow("quotes removed, blanks inside kept") << "Config"
                                                            << "Quoted" << QVariant() << QVariant("  kept blanks ");
        QTest::newRow("first of two equal keys") << "Move"
                                                 << "Left" << QVariant() << QVariant("1200");
        QTest::newRow("only the first section of a name") << "Config"
                                                          << "Hidden" << QVariant("d") << QVariant("d");
        QTest::newRow("comment is no key") << "Config"
                                           << "; written by hand" << QVariant("d") << QVariant("d");
    }
    void reading()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QVariant, def);
        QFETCH(QVariant, expected);
        TempProgramFolder folder;
        QVERIFY(TestFiles::write(iniFilePath(), kSample));
        const QVariant got = ReadIniValue(section, key, def);
        QCOMPARE(got.isNull(), expected.isNull());
        if (!expected.isNull())
            QCOMPARE(got.toString(), expected.toString());
    }

    void missingFileGivesDefaults()
    {
        TempProgramFolder folder;
        QCOMPARE(ReadIniValue("Config", "SendFolder", "/").toString(), QStringLiteral("/"));
        QVERIFY(ReadIniValue("Config", "ServerName", QString()).isNull());
        QVERIFY(!QFile::exists(iniFilePath())); // reading never creates it
    }

    void longValuesAreCut_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ascii 300") << QString(300, u'a') << QString(254, u'a');
        QTest::newRow("ascii 254 kept whole") << QString(254, u'b') << QString(254, u'b');
        // 127 double-byte characters are exactly 254 bytes.
        QTest::newRow("kanji 200") << QString(200, u'競') << QString(127, u'競');
        // One ASCII byte first: the 127th kanji would need bytes 254 and 255, so it is left out whole.
        QTest::newRow("kanji not split") << (u'x' + QString(200, u'競')) << (u'x' + QString(126, u'競'));
    }
    void longValuesAreCut()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        TempProgramFolder folder;
        QVERIFY(WriteIniValue("Config", "Long", value));
        QCOMPARE(ReadIniValue("Config", "Long", QVariant()).toString(), expected);
        // A default is cut the same way.
        QCOMPARE(ReadIniValue("Config", "Missing", value).toString(), expected);
    }

    void writeForms_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("true") << QVariant(true) << QByteArray("K=True");
        QTest::newRow("false") << QVariant(false) << QByteArray("K=False");
        QTest::newRow("int") << QVariant(-42) << QByteArray("K=-42");
        QTest::newRow("time") << QVariant(QTime(9, 5)) << QByteArray("K=09:05:00");
        QTest::newRow("date-time") << QVariant(QDateTime(QDate(1999, 12, 24), QTime(8, 5, 9)))
                                   << QByteArray("K=1999/12/24 08:05:09");
        QTest::newRow("float shortest") << QVariant(1234.5f) << QByteArray("K=1234.5");
        QTest::newRow("double shortest") << QVariant(0.1) << QByteArray("K=0.1");
        QTest::newRow("japanese in cp932")
            << QVariant(QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ")) << QByteArray("K=\xc0\xde\xb3\xdd\xdb\xb0\xc4\xde");
        QTest::newRow("line break cannot forge a key")
            << QVariant(QStringLiteral("a\r\nPassWord=x")) << QByteArray("K=a  PassWord=x");
        QTest::newRow("surrounding blanks quoted") << QVariant(QStringLiteral(" x ")) << QByteArray("K=\" x \"");
        QTest::newRow("null is empty") << QVariant() << QByteArray("K=");
    }
    void writeForms()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, line);
        TempProgramFolder folder;
        QVERIFY(WriteIniValue("S", "K", value));
        QCOMPARE(TestFiles::read(iniFilePath()), QByteArray("[S]\r\n") + line + "\r\n");
        if (value.typeId() == QMetaType::QString)
            QCOMPARE(ReadIniValue("S", "K", QVariant()).toString(), value.toString().replace("\r\n", "  "));
    }

    void writeKeepsHandWrittenLines()
    {
        TempProgramFolder folder;
        QVERIFY(TestFiles::write(iniFilePath(), kSample));
        QVERIFY(WriteIniValue("config", "servername", "mail.example.jp")); // replaced in place
        QVERIFY(WriteIniValue("Config", "NewKey", "1"));                   // after the section's last line
        QVERIFY(WriteIniValue("WeeklyCheck", "Enabled", true));            // new section at the end
        const QByteArray expected = "; written by hand\r\n"
                                    "[Config]\r\n"
                                    "servername=mail.example.jp\r\n"
                                    "Empty=\r\n"
                                    "  Spaced Key  =  padded value  \r\n"
                                    "Quoted=\"  kept blanks \"\r\n"
                                    "NoEquals line\r\n"
                                    "NewKey=1\r\n"
                                    "\r\n"
                                    "[Move]\r\n"
                                    "Left=1200\r\n"
                                    "Left=9999\r\n"
                                    "[config]\r\n"
                                    "Hidden=second section of the same name is not read\r\n"
                                    "\r\n"
                                    "[WeeklyCheck]\r\n"
                                    "Enabled=True\r\n";
        QCOMPARE(TestFiles::read(iniFilePath()), expected);
    }

    void bareLineFeedsAndDoubleByteBracketsAreRead()
    {
        TempProgramFolder folder;
        // "]" (0x5D) is also the trail byte of a double-byte character (転 is 0x93 0x5D).
        const QString name = QStringLiteral("転送");
        QVERIFY(Cp932::encode(name).contains(']'));
        QVERIFY(TestFiles::write(iniFilePath(), "[" + Cp932::encode(name) + "]\nA=1\n[B]\nA=2"));
        QCOMPARE(ReadIniValue(name, "a", QVariant()).toString(), QStringLiteral("1"));
        QCOMPARE(ReadIniValue("b", "A", QVariant()).toString(), QStringLiteral("2"));
        // Lines keep their own ends; the last one gets CR LF before the added key.
        QVERIFY(WriteIniValue("B", "C", 3));
        QCOMPARE(TestFiles::read(iniFilePath()), "[" + Cp932::encode(name) + "]\nA=1\n[B]\nA=2\r\nC=3\r\n");
        // A last line ended by a bare CR: the added key must not join it.
        QVERIFY(TestFiles::write(iniFilePath(), "[B]\nA=2\r"));
        QVERIFY(WriteIniValue("B", "C", 3));
        QCOMPARE(ReadIniValue("B", "C", QVariant()).toString(), QStringLiteral("3"));
        QCOMPARE(ReadIniValue("B", "A", QVariant()).toString(), QStringLiteral("2"));
    }

    void newFileIsOwnerOnly()
    {
        TempProgramFolder folder;
        QVERIFY(WriteIniValue("Config", "PassWord", "x"));
        struct stat st {
        };
        QCOMPARE(::stat(QFile::encodeName(iniFilePath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        // Nothing but the file itself is left in the folder.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Kivrel.ini"});
    }

    void fullDiskKeepsOldFile()
    {
        // A disk that fills up half-way: the file-size limit makes the write fail.
        {
            TempProgramFolder folder;
            QVERIFY(TestFiles::write(iniFilePath(), kSample));
            bool written = true;
            {
                FileSizeLimit full(4096);
                QVERIFY(full.active());
                written = WriteIniValues({{"Config", "A", QString(2000, u'a')}, {"Config", "B", QString(3000, u'b')}});
            }
            QVERIFY(!written);
            QCOMPARE(TestFiles::read(iniFilePath()), kSample);
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Kivrel.ini"});
        }
    }

    void readOnlyFolderKeepsOldFile()
    {
        TempProgramFolder folder;
        QVERIFY(TestFiles::write(iniFilePath(), kSample));
        QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        bool written = true;
        {
            PermissionsBind asUser;
            QVERIFY(asUser.active());
            written = WriteIniValue("Config", "ServerName", "other");
        }
        QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!written);
        QVERIFY(!lastIniError().isEmpty());
        QCOMPARE(TestFiles::read(iniFilePath()), kSample);
    }

    void unreadableFileIsNotOverwritten()
    {
        TempProgramFolder folder;
        QVERIFY(TestFiles::write(iniFilePath(), kSample));
        QVERIFY(QFile::setPermissions(iniFilePath(), QFileDevice::WriteOwner));
        {
            PermissionsBind asUser;
            QVERIFY(asUser.active());
            QCOMPARE(ReadIniValue("Config", "ServerName", "dflt").toString(), QStringLiteral("dflt"));
            QVERIFY(!WriteIniValue("Config", "ServerName", "other"));
        }
        QFile::setPermissions(iniFilePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(TestFiles::read(iniFilePath()), kSample);
    }

    void garbledFileFallsBackToDefaults()
    {
        TempProgramFolder folder;
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk += static_cast<char>((i * 7919) & 0xff);
        junk += QByteArray("\0[Config\0]\n\xff\xfe=\x81\n", 17);
        QVERIFY(TestFiles::write(iniFilePath(), junk));
        QCOMPARE(ReadIniValue("Config", "ServerName", "dflt").toString(), QStringLiteral("dflt"));
        QVERIFY(WriteIniValue("Config", "ServerName", "ok"));
        QCOMPARE(ReadIniValue("Config", "ServerName", "dflt").toString(), QStringLiteral("ok"));
        QVERIFY(TestFiles::read(iniFilePath()).startsWith(junk.left(4000))); // the junk itself is left alone
    }

    void folderInsteadOfFile()
    {
        TempProgramFolder folder;
        QVERIFY(QDir().mkdir(iniFilePath()));
        QCOMPARE(ReadIniValue("Config", "ServerName", "dflt").toString(), QStringLiteral("dflt"));
        QVERIFY(!WriteIniValue("Config", "ServerName", "x"));
    }

    void badNamesRefused_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::newRow("empty key") << "Config"
                                   << "";
        QTest::newRow("key with =") << "Config"
                                    << "a=b";
        QTest::newRow("key with line break") << "Config"
                                             << "a\nb";
        QTest::newRow("section with ]") << "Con]fig"
                                        << "a";
        QTest::newRow("empty section") << " "
                                       << "a";
    }
    void badNamesRefused()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        TempProgramFolder folder;
        QVERIFY(!WriteIniValue(section, key, "v"));
        QVERIFY(!QFile::exists(iniFilePath()));
    }

    void severalWritesInOneReplacement()
    {
        TempProgramFolder folder;
        QVERIFY(WriteIniValues({{"A", "x", 1}, {"B", "y", 2}, {"A", "z", 3}, {"a", "X", 4}}));
        QCOMPARE(TestFiles::read(iniFilePath()), QByteArray("[A]\r\nX=4\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
