#include "core/apppaths.h"

#include <QtTest>

// The XDG folders and the move from the old folder, in a scratch home folder.
class TestAppPaths : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

    QString home(const QString &rest) const { return m_home.path() + rest; }
    static void write(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

private slots:
    void init()
    {
        QDir(m_home.path()).removeRecursively();
        QDir().mkpath(m_home.path());
        qunsetenv("KIVREL_HOME");
        for (const char *v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR",
                              "KIVREL_DIALER_STORE"})
            qunsetenv(v);
        qputenv("HOME", m_home.path().toLocal8Bit());
        AppPaths::reset();
    }

    void folders_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        using K = AppPaths::Kind;
        QTest::newRow("config default") << "" << "" << int(K::Config) << "/.config/kivrel";
        QTest::newRow("data default") << "" << "" << int(K::Data) << "/.local/share/kivrel";
        QTest::newRow("state default") << "" << "" << int(K::State) << "/.local/state/kivrel";
        QTest::newRow("runtime falls back to state") << "" << "" << int(K::Runtime) << "/.local/state/kivrel";
        QTest::newRow("XDG_CONFIG_HOME") << "XDG_CONFIG_HOME" << "/c" << int(K::Config) << "/c/kivrel";
        QTest::newRow("relative XDG_DATA_HOME ignored") << "XDG_DATA_HOME" << "rel" << int(K::Data)
                                                         << "/.local/share/kivrel";
        QTest::newRow("XDG_STATE_HOME") << "XDG_STATE_HOME" << "/s" << int(K::State) << "/s/kivrel";
        QTest::newRow("XDG_RUNTIME_DIR") << "XDG_RUNTIME_DIR" << "/r" << int(K::Runtime) << "/r/kivrel";
        QTest::newRow("KIVREL_HOME: one folder") << "KIVREL_HOME" << "/k" << int(K::State) << "/k";
    }
    void folders()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        QFETCH(int, kind);
        QFETCH(QString, expected);
        // Absolute values live in the scratch home too.
        const QString v = value.startsWith(u'/') ? home(value) : value;
        if (!variable.isEmpty()) {
            QDir().mkpath(v);
            qputenv(variable.toLocal8Bit().constData(), v.toLocal8Bit());
        }
        AppPaths::reset();
        QCOMPARE(AppPaths::folder(AppPaths::Kind(kind)), home(expected));
        QVERIFY(QFileInfo(home(expected)).isDir());
        QCOMPARE(AppPaths::defaultSaveFolder(), variable == "KIVREL_HOME" ? home("/k") : home("/TURFNET"));
    }

    void moveKeepsEverything()
    {
        const QString old = home("/.local/share/Kivrel");
        write(old + "/Kivrel.ini", "ini");
        write(old + "/Kivrel.dat", "dat");
        write(old + "/KVLOG/20261209.bkl", "bkl");
        write(old + "/rconnect", "dialer");
        write(old + "/CC991224.LZH", "data file stays");
        write(home("/.config/Kivrel/dialer.ini"), "dialer.ini");
        write(home("/.local/share/kivrel/Kivrel.dat"), "newer list");
        const AppPaths::MoveReport report = AppPaths::moveOldFiles();
        QVERIFY(!report.failed);
        QCOMPARE(read(home("/.config/kivrel/Kivrel.ini")), QByteArray("ini"));
        QCOMPARE(read(home("/.local/share/kivrel/KVLOG/20261209.bkl")), QByteArray("bkl"));
        QCOMPARE(read(home("/.local/share/kivrel/rconnect")), QByteArray("dialer"));
        QCOMPARE(read(home("/.config/kivrel/dialer.ini")), QByteArray("dialer.ini"));
        // Nothing is overwritten: the old list stays where it was, and says so.
        QCOMPARE(read(home("/.local/share/kivrel/Kivrel.dat")), QByteArray("newer list"));
        QCOMPARE(read(old + "/Kivrel.dat"), QByteArray("dat"));
        QCOMPARE(read(old + "/CC991224.LZH"), QByteArray("data file stays"));
        QCOMPARE(report.lines.size(), 5);
        QVERIFY(!AppPaths::oneFolder());
        // A second start has nothing more to move.
        QCOMPARE(AppPaths::moveOldFiles().lines.size(), 1);
    }

    void failedMoveLeavesTheOldFolderInUse()
    {
        const QString old = home("/.local/share/Kivrel");
        write(old + "/Kivrel.ini", "ini");
        write(old + "/KVLOG.TXT", "log");
        // The state folder cannot be made: a file stands in its way.
        write(home("/.local/state"), "not a folder");
        const AppPaths::MoveReport report = AppPaths::moveOldFiles();
        QVERIFY(report.failed);
        QCOMPARE(read(old + "/Kivrel.ini"), QByteArray("ini"));
        QVERIFY(!QFileInfo::exists(home("/.config/kivrel/Kivrel.ini")));
        QVERIFY(AppPaths::oneFolder());
        QCOMPARE(AppPaths::folder(AppPaths::Kind::Config), old);
        QVERIFY(report.lines.last().contains(old));
    }
};

QTEST_MAIN(TestAppPaths)
#include "test_apppaths.moc"
