#include "dialup/dialersettings.h"

#include "core/apppaths.h"
#include "fakeclock.h"
#include "testsupport.h"

#include <QtTest>

namespace {
// Points the dialer's store at a file of the test for the life of the object.
class DialerStore
{
public:
    DialerStore() : m_old(qgetenv("KIVREL_DIALER_STORE"))
    {
        qputenv("KIVREL_DIALER_STORE", m_dir.filePath("dialer.ini").toLocal8Bit());
    }
    ~DialerStore() { qputenv("KIVREL_DIALER_STORE", m_old); }
    DialerStore(const DialerStore &) = delete;
    DialerStore &operator=(const DialerStore &) = delete;
    void write(const QString &text)
    {
        QFile f(m_dir.filePath("dialer.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }
    // The usual file: both names, and the two times as given (empty: absent).
    void writeSettings(const QString &start, const QString &end)
    {
        QString text = "[AUTOCONNECT]\nENTRYNAME_TELEHO=Teleho\nENTRYNAME_NORMAL=Normal\n";
        if (!start.isEmpty())
            text += "TELEHO_START_TIME=" + start + "\n";
        if (!end.isEmpty())
            text += "TELEHO_END_TIME=" + end + "\n";
        write(text);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
};

QString entryAt(const QTime &time)
{
    FakeClock clock(QDateTime(QDate(2026, 1, 9), time));
    ScopedClock sc(&clock);
    return ReadDialerSettings();
}

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}
} // namespace

class TestDialerSettings : public QObject
{
    Q_OBJECT
private slots:
    void telehoPeriod_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QString>("entry");
        const QString night = QString::number(23 * 3600), morning = QString::number(8 * 3600);
        QTest::newRow("23-08 at 23:30") << night << morning << QTime(23, 30) << "Teleho";
        QTest::newRow("23-08 at 07:59") << night << morning << QTime(7, 59) << "Teleho";
        QTest::newRow("23-08 at 08:00") << night << morning << QTime(8, 0) << "Normal";
        QTest::newRow("23-08 at 12:00") << night << morning << QTime(12, 0) << "Normal";
        QTest::newRow("23-08 at 23:00 sharp") << night << morning << QTime(23, 0) << "Normal";
        QTest::newRow("23-08 at 23:00:01") << night << morning << QTime(23, 0, 1) << "Teleho";
        QTest::newRow("23-08 at the last second") << night << morning << QTime(23, 59, 59) << "Normal";
        QTest::newRow("23-08 at midnight") << night << morning << QTime(0, 0) << "Teleho";
        QTest::newRow("fraction of a second ignored") << night << morning << QTime(8, 0, 0, 999) << "Normal";
        QTest::newRow("absent at 00:00:00") << ""
                                            << "" << QTime(0, 0) << "Normal";
        QTest::newRow("absent at 00:00:01") << ""
                                            << "" << QTime(0, 0, 1) << "Teleho";
        QTest::newRow("absent at noon") << ""
                                        << "" << QTime(12, 0) << "Teleho";
        QTest::newRow("absent at 23:59:58") << ""
                                            << "" << QTime(23, 59, 58) << "Teleho";
        QTest::newRow("absent at the last second") << ""
                                                   << "" << QTime(23, 59, 59) << "Normal";
        QTest::newRow("dword start") << "dword:00014370" << morning << QTime(23, 30) << "Teleho";
        QTest::newRow("dword end") << night << "dword:00007080" << QTime(7, 59) << "Teleho";
        QTest::newRow("quoted decimal text") << "\"82800\"" << morning << QTime(22, 59) << "Normal";
        QTest::newRow("unreadable text counts as 0") << "soon"
                                                     << "" << QTime(12, 0) << "Teleho";
        QTest::newRow("negative dword") << "dword:ffffffff"
                                        << "" << QTime(0, 0) << "Teleho";
    }
    void telehoPeriod()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QTime, now);
        QFETCH(QString, entry);
        DialerStore store;
        store.writeSettings(start, end);
        QCOMPARE(entryAt(now), entry);
    }

    void decimalTextReadsLikeTheNumber_data()
    {
        QTest::addColumn<QTime>("now");
        for (int h = 0; h < 24; ++h)
            QTest::addRow("%02d:30", h) << QTime(h, 30);
    }
    void decimalTextReadsLikeTheNumber()
    {
        QFETCH(QTime, now);
        DialerStore store;
        store.writeSettings("79200", "21600");
        const QString asText = entryAt(now);
        store.writeSettings("dword:00013560", "dword:00005460");
        QCOMPARE(entryAt(now), asText);
    }

    void storeForms_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("entry");
        QTest::newRow("no file") << QString() << "";
        QTest::newRow("empty file") << ""
                                    << "";
        QTest::newRow("other section") << "[OTHER]\nENTRYNAME_TELEHO=Teleho\n"
                                       << "";
        QTest::newRow("number as name") << "[AUTOCONNECT]\nENTRYNAME_TELEHO=dword:00000005\n"
                                        << "5";
        QTest::newRow("blanks kept in quotes") << "[AUTOCONNECT]\nENTRYNAME_TELEHO=\" My ISP \"\n"
                                               << " My ISP ";
        QTest::newRow("value names ignore case") << "[autoconnect]\nentryname_teleho = Teleho\n"
                                                 << "Teleho";
        QTest::newRow("comments and CRLF") << "; dialer\r\n[AUTOCONNECT]\r\n#x=y\r\nENTRYNAME_TELEHO=Teleho\r\n"
                                           << "Teleho";
        QTest::newRow("equals sign in the value") << "[AUTOCONNECT]\nENTRYNAME_TELEHO=a=b\n"
                                                  << "a=b";
        QTest::newRow("non-ASCII name") << "[AUTOCONNECT]\nENTRYNAME_TELEHO=ﾃﾚﾎｰﾀﾞｲﾔﾙ\n"
                                        << "ﾃﾚﾎｰﾀﾞｲﾔﾙ";
    }
    void storeForms()
    {
        QFETCH(QString, file);
        QFETCH(QString, entry);
        DialerStore store;
        if (!file.isNull())
            store.write(file);
        QCOMPARE(entryAt(QTime(12, 0)), entry); // times absent: the TELEHO name
    }

    void storeLocation()
    {
        const QByteArray oldStore = qgetenv("KIVREL_DIALER_STORE");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qunsetenv("KIVREL_DIALER_STORE");
        // The settings folder, or beside the one folder's old place (KIVREL_HOME).
        const QByteArray oldHome = qgetenv("KIVREL_HOME");
        qunsetenv("KIVREL_HOME");
        qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
        AppPaths::reset();
        QCOMPARE(dialerStorePath(), QStringLiteral("/tmp/cfg/kivrel/dialer.ini"));
        qputenv("KIVREL_HOME", "/tmp/one");
        AppPaths::reset();
        QCOMPARE(dialerStorePath(), QStringLiteral("/tmp/cfg/Kivrel/dialer.ini"));
        qputenv("XDG_CONFIG_HOME", "relative");
        QCOMPARE(dialerStorePath(), QDir::homePath() + "/.config/Kivrel/dialer.ini");
        qputenv("KIVREL_HOME", oldHome);
        AppPaths::reset();
        qputenv("KIVREL_DIALER_STORE", "/x/y.ini");
        QCOMPARE(dialerStorePath(), QStringLiteral("/x/y.ini"));
        qputenv("KIVREL_DIALER_STORE", oldStore);
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    void dialerPrograms_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("disconnect");
        QTest::newRow("none") << QStringList{} << "RCONNECT.EXE"
                              << "RDISCONN.EXE";
        QTest::newRow("Windows names") << QStringList{"RCONNECT.EXE", "RDISCONN.EXE"} << "RCONNECT.EXE"
                                       << "RDISCONN.EXE";
        QTest::newRow("other letter case") << QStringList{"RConnect.exe"} << "RConnect.exe"
                                           << "RDISCONN.EXE";
        QTest::newRow("native first") << QStringList{"RCONNECT.EXE", "rconnect", "rdisconn"} << "rconnect"
                                      << "rdisconn";
    }
    void dialerPrograms()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, connect);
        QFETCH(QString, disconnect);
        TempProgramFolder home;
        if (!files.contains("rdisconn"))
            QDir().mkpath(home.file("rdisconn")); // a folder is no program
        for (const QString &name : files)
            touch(home.file(name));
        QCOMPARE(ExternalDialerProgram(ExternalDialer::Connect), home.file(connect));
        QCOMPARE(ExternalDialerProgram(ExternalDialer::Disconnect), home.file(disconnect));
    }
};

QTEST_GUILESS_MAIN(TestDialerSettings)
#include "test_dialersettings.moc"
