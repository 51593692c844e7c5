#include "dialup/cras32.h"
#include "fakedialupservice.h"
#include "fakenmcli.h"

#include <QtTest>

class TestCRas32 : public QObject
{
    Q_OBJECT
private slots:
    void entriesAreReadAtCreation_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("three") << QStringList{"Home", "Office VPN", "Mobile"};
        QTest::newRow("empty phone book") << QStringList{};
    }
    void entriesAreReadAtCreation()
    {
        QFETCH(QStringList, entries);
        FakeDialupService service;
        service.entries = entries;
        cRas32 ras(&service);
        QCOMPARE(ras.EntryCount(), entries.size());
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(ras.EnumEntries(i), entries.at(i));
    }

    void indexOutsideTheListIsReported_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("negative") << -1;
        QTest::newRow("one past the end") << 2;
    }
    void indexOutsideTheListIsReported()
    {
        QFETCH(int, index);
        FakeDialupService service;
        service.entries = {"A", "B"};
        cRas32 ras(&service);
        bool ok = true;
        QVERIFY(ras.EnumEntries(index, &ok).isNull());
        QVERIFY(!ok);
        QCOMPARE(ras.EnumEntries(1, &ok), QStringLiteral("B"));
        QVERIFY(ok);
    }

    void failedListingLeavesNoEntries()
    {
        FakeDialupService service;
        service.entries = {"A"};
        cRas32 ras(&service);
        service.failListing = true;
        QVERIFY(ras.RefreshEntries() != cRas32::Success);
        QCOMPARE(ras.EntryCount(), 0);
    }

    void textPropertiesKeepNullForEmpty()
    {
        FakeDialupService service;
        cRas32 ras(&service);
        using Setter = void (cRas32::*)(const QString &);
        using Getter = QString (cRas32::*)() const;
        const QList<QPair<Setter, Getter>> props{{&cRas32::setPhoneBook, &cRas32::PhoneBook},
                                                 {&cRas32::setEntry, &cRas32::Entry},
                                                 {&cRas32::setUserID, &cRas32::UserID},
                                                 {&cRas32::setPassword, &cRas32::Password},
                                                 {&cRas32::setDomain, &cRas32::Domain}};
        for (const auto &[set, get] : props) {
            QVERIFY((ras.*get)().isNull()); // nothing set after creation
            (ras.*set)(QStringLiteral("x y"));
            QCOMPARE((ras.*get)(), QStringLiteral("x y"));
            (ras.*set)(QString(""));
            QVERIFY((ras.*get)().isNull());
            QVERIFY((ras.*get)().isEmpty());
        }
        QVERIFY(ras.ShowMoniter());
        QCOMPARE(ras.Connection(), 0u);
    }

    void seekEnumConns_data()
    {
        QTest::addColumn<QStringList>("active");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("found");
        QTest::newRow("second of two") << QStringList{"LAN", "Dial"} << "Dial" << true;
        QTest::newRow("first of two") << QStringList{"Dial", "LAN"} << "Dial" << true;
        QTest::newRow("letter case differs") << QStringList{"Dial"} << "dial" << false;
        QTest::newRow("prefix only") << QStringList{"Dial up"} << "Dial" << false;
        QTest::newRow("nothing active") << QStringList{} << "Dial" << false;
        QTest::newRow("empty name") << QStringList{"Dial"} << "" << false;
        // Any number of active connections is searched (lo, LAN, Wi-Fi, bridges ...).
        QTest::newRow("third of three") << QStringList{"lo", "LAN", "Dial"} << "Dial" << true;
    }
    void seekEnumConns()
    {
        QFETCH(QStringList, active);
        QFETCH(QString, entry);
        QFETCH(bool, found);
        FakeDialupService service;
        service.active = active;
        cRas32 ras(&service);
        QCOMPARE(ras.SeekEnumConns(entry, false), found);
        QVERIFY(ras.Entry().isNull());
        QCOMPARE(ras.Connection(), 0u);
        QCOMPARE(IsNeedDialup(entry, &service), !found);
    }

    void seekWithSetPropTakesTheConnection()
    {
        FakeDialupService service;
        service.active = {"LAN", "Dial"};
        cRas32 ras(&service);
        QVERIFY(ras.SeekEnumConns("Dial", true));
        QCOMPARE(ras.Entry(), QStringLiteral("Dial"));
        QVERIFY(ras.Connection() != 0);
        QCOMPARE(ras.HangUp(), int(cRas32::Success));
        QCOMPARE(service.disconnected, QStringList{"Dial"});
        QCOMPARE(ras.Connection(), 0u);
    }

    void dialupAndHangUp()
    {
        FakeDialupService service;
        service.entries = {"Dial"};
        cRas32 ras(&service);
        QSignalSpy complete(&ras, &cRas32::ConnectComplete);
        int failed = 0;
        connect(&ras, &cRas32::ConnectError, this, [&](int &) { ++failed; });
        ras.setEntry("Dial");
        QCOMPARE(ras.Dialup(), int(cRas32::Success));
        QCOMPARE(complete.size(), 1);
        QCOMPARE(failed, 0);
        QVERIFY(ras.Connection() != 0);
        QVERIFY(ras.SeekEnumConns("Dial", false));
        QCOMPARE(ras.HangUp(), int(cRas32::Success));
        QCOMPARE(ras.Connection(), 0u);
        QCOMPARE(service.disconnected, QStringList{"Dial"});
        QCOMPARE(ras.HangUp(), int(cRas32::InvalidHandle));
    }

    void dialupFailures_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("deviceFails");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("result");
        QTest::newRow("wrong entry name") << true << false << "Nowhere" << int(cRas32::CannotFindEntry);
        QTest::newRow("known entry fails") << true << true << "Dial" << int(cRas32::DeviceError);
        QTest::newRow("no service") << false << false << "Dial" << int(cRas32::ServiceUnavailable);
    }
    void dialupFailures()
    {
        QFETCH(bool, present);
        QFETCH(bool, deviceFails);
        QFETCH(QString, entry);
        QFETCH(int, result);
        FakeDialupService service;
        service.present = present;
        service.entries = {"Dial"};
        service.failConnects = deviceFails;
        cRas32 ras(&service);
        int reported = -1;
        connect(&ras, &cRas32::ConnectError, this, [&](int &code) { reported = code; });
        QSignalSpy complete(&ras, &cRas32::ConnectComplete);
        ras.setEntry(entry);
        QCOMPARE(ras.Dialup(), result);
        QCOMPARE(reported, result);
        QCOMPARE(complete.size(), 0);
        QCOMPARE(ras.Connection(), 0u);
        QVERIFY(!ras.ErrMsg(result).isEmpty());
    }

    void worksOverNmcli()
    {
        FakeNmcli nm;
        nm.setEntries({"Home DSL:pppoe", "Wired:802-3-ethernet"});
        nm.setActive({"Wired"});
        cRas32 ras;
        QCOMPARE(ras.EntryCount(), 2);
        QCOMPARE(ras.EnumEntries(0), QStringLiteral("Home DSL"));
        QVERIFY(ras.SeekEnumConns("Wired", false));
        QVERIFY(IsNeedDialup("Home DSL"));
        ras.setEntry("Home DSL");
        QCOMPARE(ras.Dialup(), int(cRas32::Success));
        QVERIFY(!IsNeedDialup("Home DSL"));
    }

    void withoutNetworkManagerNothingIsFound()
    {
        NoNmcli none;
        cRas32 ras;
        QCOMPARE(ras.RefreshEntries(), int(cRas32::Success));
        QCOMPARE(ras.EntryCount(), 0);
        QVERIFY(!ras.SeekEnumConns("Dial", true));
        QVERIFY(IsNeedDialup("Dial"));
    }
};

QTEST_GUILESS_MAIN(TestCRas32)
#include "test_cras32.moc"
