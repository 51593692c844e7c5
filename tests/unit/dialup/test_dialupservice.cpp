#include "fakeeventpump.h"
#include "fakenmcli.h"
#include "platform/clock.h"
#include "platform/dialupservice.h"

#include <QtTest>

namespace {
// Names a shell would take apart; each must reach nmcli as one argument.
const QString NameBlanks = QStringLiteral("Home DSL line");
const QString NameColon = QStringLiteral("Office: VPN \"main\"");
const QString NameShell = QStringLiteral("it's $(touch pwned) `id`;&|*");

void pumpUntil(const bool &flag)
{
    while (!flag)
        EventPump::instance().pumpOnce();
}
} // namespace

class TestDialupService : public QObject
{
    Q_OBJECT
private slots:
    void splitTerseLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << "Home:pppoe" << QStringList{"Home", "pppoe"};
        QTest::newRow("escaped colon") << "Office\\: VPN:vpn" << QStringList{"Office: VPN", "vpn"};
        QTest::newRow("escaped backslash") << "a\\\\b:gsm" << QStringList{"a\\b", "gsm"};
        QTest::newRow("backslash before colon kept apart") << "a\\\\:b" << QStringList{"a\\", "b"};
        QTest::newRow("empty last field") << "name:" << QStringList{"name", ""};
        QTest::newRow("one field") << "only" << QStringList{"only"};
        QTest::newRow("lone trailing backslash") << "odd\\" << QStringList{"odd\\"};
        QTest::newRow("non-ASCII") << "ﾀﾞｲﾔﾙ 接続:pppoe" << QStringList{"ﾀﾞｲﾔﾙ 接続", "pppoe"};
    }
    void splitTerseLine()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        QCOMPARE(NmcliDialupService::splitTerseLine(line), fields);
    }

    void listsEntriesWithAwkwardNames()
    {
        FakeNmcli nm;
        nm.setEntries(
            {"Home DSL line:pppoe", "Office\\: VPN \"main\":vpn", "lo:loopback", "it's $(touch pwned) `id`;&|*:gsm"});
        NmcliDialupService service;
        QVERIFY(service.available());
        QCOMPARE(service.listEntries(), (QStringList{NameBlanks, NameColon, NameShell}));
        QVERIFY(service.lastError().isEmpty());
        QCOMPARE(nm.calls().last(), (QStringList{"-t", "-f", "NAME,TYPE", "connection", "show"}));
        QVERIFY(!QFile::exists(QDir::current().filePath("pwned")));
    }

    void listsActiveConnections()
    {
        FakeNmcli nm;
        nm.setActive({"lo", "Office\\: VPN \"main\""});
        NmcliDialupService service;
        QCOMPARE(service.activeConnections(), (QStringList{"lo", NameColon}));
        QCOMPARE(nm.calls().last(), (QStringList{"-t", "-f", "NAME", "connection", "show", "--active"}));
    }

    void connectPassesNameAsOneArgument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << NameBlanks;
        QTest::newRow("colon and quotes") << NameColon;
        QTest::newRow("shell characters") << NameShell;
        QTest::newRow("leading dash") << QStringLiteral("-h");
    }
    void connectPassesNameAsOneArgument()
    {
        QFETCH(QString, name);
        FakeNmcli nm;
        NmcliDialupService service;
        QString error = QStringLiteral("stale");
        QVERIFY(service.connect(name, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(nm.calls().last(), (QStringList{"connection", "up", "id", name}));
        // The fake marks it active with nmcli's escaping: it must read back whole.
        QVERIFY(service.activeConnections().contains(name));

        QVERIFY(service.disconnect(name, &error));
        QCOMPARE(nm.calls().last(), (QStringList{"connection", "down", "id", name}));
        QVERIFY(!QFile::exists(QDir::current().filePath("pwned")));
    }

    void connectFailureCarriesTheReason()
    {
        FakeNmcli nm;
        nm.setUp("fail");
        NmcliDialupService service;
        QString error;
        QVERIFY(!service.connect(NameBlanks, &error));
        QVERIFY2(error.contains(QLatin1String("no carrier")), qPrintable(error));
        QCOMPARE(service.lastError(), error);
    }

    void hungConnectIsKilled()
    {
        FakeNmcli nm;
        nm.setUp("hang");
        NmcliDialupService service;
        service.setTimeouts(NmcliDialupService::DefaultListTimeoutMs, 300);
        QString error;
        QVERIFY(!service.connect(NameBlanks, &error));
        QVERIFY(!error.isEmpty());
        QTRY_VERIFY(nm.hungChildGone());
    }

    void hungListingIsKilledAfterItsTimeLimit()
    {
        // Fake time: the 30 s limit passes after 150 pumps of 200 ms.
        FakeNmcli nm;
        nm.setList("hang");
        nm.setEntries({"Home:pppoe"});
        FakeClock clock;
        ScopedClock sc(&clock);
        FakeEventPump pump(clock);
        // Fake time runs far ahead of the script: let it reach its hang first.
        pump.addHook([&] {
            for (int i = 0; i < 2000 && nm.hungPid() <= 0; ++i)
                QThread::msleep(5);
        });
        ScopedEventPump sp(&pump);
        NmcliDialupService service;
        QVERIFY(service.listEntries().isEmpty());
        QVERIFY(!service.lastError().isEmpty());
        QVERIFY(pump.pumpCount() >= NmcliDialupService::DefaultListTimeoutMs / 200);
        QTRY_VERIFY(nm.hungChildGone());
    }

    void connectReportsLaterNotInside()
    {
        FakeNmcli nm;
        nm.setUp("fail");
        NmcliDialupService service;
        bool done = false;
        bool result = true;
        QString error;
        const int id = service.startConnect(
            NameBlanks,
            [&](bool ok, const QString &) {
                done = true;
                result = ok;
            },
            &error);
        QVERIFY(id != 0);
        QVERIFY(!done);
        pumpUntil(done);
        QVERIFY(!result);
    }

    void cancelledConnectEndsItsCommandSilently()
    {
        FakeNmcli nm;
        nm.setUp("hang");
        NmcliDialupService service;
        bool done = false;
        const int id = service.startConnect(
            NameBlanks, [&](bool, const QString &) { done = true; }, nullptr);
        QVERIFY(id != 0);
        QTRY_VERIFY(nm.hungPid() > 0);
        service.cancelConnect(id);
        QTRY_VERIFY(nm.hungChildGone());
        QCoreApplication::processEvents();
        QVERIFY(!done);
    }

    void withoutNmcliNothingIsThere()
    {
        NoNmcli none;
        NmcliDialupService service;
        QVERIFY(!service.available());
        QVERIFY(service.listEntries().isEmpty());
        QVERIFY(service.activeConnections().isEmpty());
        QString error;
        QVERIFY(!service.connect(NameBlanks, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!service.disconnect(NameBlanks, &error));
        QCOMPARE(service.startConnect(NameBlanks, nullptr, &error), 0);
    }
};

QTEST_GUILESS_MAIN(TestDialupService)
#include "test_dialupservice.moc"
