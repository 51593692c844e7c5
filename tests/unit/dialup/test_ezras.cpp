#include "dialup/ezras.h"
#include "fakedialupservice.h"
#include "fakenmcli.h"
#include "platform/eventpump.h"

#include <QtTest>

namespace {
// The main window's StatusChanged handler, reduced to what a run relies on:
// the texts it compares (whole, letter case ignored) and the DialState they set.
struct Window {
    int DialState = 0;
    QStringList texts;
    QString status;

    void onStatus(int, const QString &msg)
    {
        texts << msg;
        QString shown = msg;
        const auto is = [&](const char *text) {
            return msg.compare(QString::fromUtf8(text), Qt::CaseInsensitive) == 0;
        };
        if (is("認証処理を開始しようとしています。") || is("認証ｲﾍﾞﾝﾄが発生しました。") ||
            is("投影段階を開始しようとしています。") || is("ﾌﾟﾛｼﾞｪｸｼｮﾝ情報にｱｸｾｽできます。")) {
            shown = QString::fromUtf8("ﾕｰｻﾞｰ名・ﾊﾟｽﾜｰﾄﾞを認証中...");
        } else if (is("ｸﾗｲｱﾝﾄが認証を正常に完了しました。")) {
            shown = QString::fromUtf8("ﾕｰｻﾞｰ名・ﾊﾟｽﾜｰﾄﾞ認証を完了");
        } else if (is("正常に接続しました。")) {
            shown = QString::fromUtf8("ﾀﾞｲﾔﾙｱｯﾌﾟ接続完了");
            DialState = 2;
        } else if (is("接続を解除したか､ 接続が失敗しました。")) {
            shown = QString::fromUtf8("ﾀﾞｲﾔﾙｱｯﾌﾟ接続を解除しました");
            DialState = 3;
        }
        if (!shown.isEmpty())
            status = shown;
    }
    void attach(EzRas &ras)
    {
        QObject::connect(&ras, &EzRas::StatusChanged, [this](int code, const QString &msg) { onStatus(code, msg); });
    }
    void waitWhileDialling()
    {
        while (DialState == 0)
            EventPump::instance().pumpOnce();
    }
};

const QStringList ConnectedTexts{
    QString::fromUtf8("通信ﾎﾟｰﾄがｵｰﾌﾟﾝされようとしています。"), QString::fromUtf8("通信ﾎﾟｰﾄが正常にｵｰﾌﾟﾝされました。"),
    QString::fromUtf8("ﾃﾞﾊﾞｲｽが正常に接続されました。"),        QString::fromUtf8("認証処理を開始しようとしています。"),
    QString::fromUtf8("ｸﾗｲｱﾝﾄが認証を正常に完了しました。"),    QString::fromUtf8("正常に接続しました。")};
const QString DisconnectedText = QString::fromUtf8("接続を解除したか､ 接続が失敗しました。");
const QString ShownDisconnected = QString::fromUtf8("ﾀﾞｲﾔﾙｱｯﾌﾟ接続を解除しました");
} // namespace

class TestEzRas : public QObject
{
    Q_OBJECT
private slots:
    void dialConnectsAndHangsUp()
    {
        FakeDialupService service;
        service.entries = {"Home DSL"};
        EzRas ras(&service);
        Window w;
        w.attach(ras);
        ras.DefaultSettings = true;
        ras.EntryName = "Home DSL";
        QVERIFY(ras.Dial());
        QVERIFY(ras.isDialling());
        w.waitWhileDialling();
        QCOMPARE(w.DialState, 2);
        QCOMPARE(w.texts, ConnectedTexts);
        QCOMPARE(w.status, QString::fromUtf8("ﾀﾞｲﾔﾙｱｯﾌﾟ接続完了"));
        QVERIFY(ras.isConnected());

        ras.HangUp();
        QCOMPARE(service.disconnected, QStringList{"Home DSL"});
        QCOMPARE(w.texts.last(), DisconnectedText);
        QVERIFY(!ras.isConnected());
    }

    void failedDialReportsDisconnection()
    {
        FakeDialupService service;
        service.entries = {"Home DSL"};
        service.failConnects = true;
        EzRas ras(&service);
        Window w;
        w.attach(ras);
        ras.EntryName = "Home DSL";
        QVERIFY(ras.Dial());
        w.waitWhileDialling();
        QCOMPARE(w.DialState, 3);
        QCOMPARE(w.texts.last(), DisconnectedText);
        QCOMPARE(w.status, ShownDisconnected);
        QVERIFY(!ras.lastError().isEmpty());
        QVERIFY(!w.texts.contains(ConnectedTexts.last()));
    }

    void abortDuringDialEndsIt()
    {
        FakeDialupService service;
        service.entries = {"Home DSL"};
        service.holdConnects = true;
        EzRas ras(&service);
        Window w;
        w.attach(ras);
        ras.EntryName = "Home DSL";
        QVERIFY(ras.Dial());
        // The abort button, pressed while the run waits.
        QTimer::singleShot(0, &ras, &EzRas::HangUp);
        w.waitWhileDialling();
        QCOMPARE(w.DialState, 3);
        QCOMPARE(w.status, ShownDisconnected);
        QCOMPARE(service.cancelled, 1);
        QCOMPARE(service.disconnected, QStringList{"Home DSL"});
        QVERIFY(!ras.isDialling());
    }

    void refusedDialReportsNoLineState_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("alreadyDialling");
        QTest::newRow("no entry name") << "" << true << false;
        QTest::newRow("no dial-up service") << "Home DSL" << false << false;
        QTest::newRow("a dial going on") << "Home DSL" << true << true;
    }
    void refusedDialReportsNoLineState()
    {
        QFETCH(QString, entry);
        QFETCH(bool, present);
        QFETCH(bool, alreadyDialling);
        FakeDialupService service;
        service.entries = {"Home DSL"};
        service.present = present;
        service.holdConnects = true;
        EzRas ras(&service);
        ras.EntryName = entry;
        if (alreadyDialling)
            QVERIFY(ras.Dial());
        Window w;
        w.attach(ras);
        QVERIFY(!ras.Dial());
        QCOMPARE(w.DialState, 0);
        QCOMPARE(w.texts.size(), 1);
        QVERIFY(!w.status.isEmpty());
        QVERIFY(!ConnectedTexts.contains(w.status));
    }

    void hangUpWhenIdleSaysNothing()
    {
        FakeDialupService service;
        EzRas ras(&service);
        QSignalSpy spy(&ras, &EzRas::StatusChanged);
        ras.EntryName = "Home DSL";
        ras.HangUp();
        QCOMPARE(spy.size(), 0);
        QVERIFY(service.disconnected.isEmpty());
    }

    void droppingTheControlStopsAPendingDial()
    {
        FakeDialupService service;
        service.holdConnects = true;
        {
            EzRas ras(&service);
            ras.EntryName = "Home DSL";
            QVERIFY(ras.Dial());
        }
        QCOMPARE(service.cancelled, 1);
        QCOMPARE(service.pendingCount(), 0);
        QVERIFY(service.disconnected.isEmpty());
    }

    void dialsThroughNmcli_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<int>("dialState");
        QTest::newRow("up") << QByteArray("ok") << 2;
        QTest::newRow("fails") << QByteArray("fail") << 3;
    }
    void dialsThroughNmcli()
    {
        QFETCH(QByteArray, mode);
        QFETCH(int, dialState);
        FakeNmcli nm;
        nm.setUp(mode.constData());
        EzRas ras;
        Window w;
        w.attach(ras);
        ras.EntryName = "Home \"DSL\": 2";
        QVERIFY(ras.Dial());
        w.waitWhileDialling();
        QCOMPARE(w.DialState, dialState);
        QCOMPARE(nm.calls().last(), (QStringList{"connection", "up", "id", "Home \"DSL\": 2"}));
    }

    void abortOfAHungNmcliKillsItAndTakesTheLineDown()
    {
        FakeNmcli nm;
        nm.setUp("hang");
        EzRas ras;
        Window w;
        w.attach(ras);
        ras.EntryName = "Home DSL";
        QVERIFY(ras.Dial());
        QTRY_VERIFY(nm.hungPid() > 0);
        QTimer::singleShot(0, &ras, &EzRas::HangUp);
        w.waitWhileDialling();
        QCOMPARE(w.DialState, 3);
        QCOMPARE(nm.calls().last(), (QStringList{"connection", "down", "id", "Home DSL"}));
        QTRY_VERIFY(nm.hungChildGone());
    }
};

QTEST_GUILESS_MAIN(TestEzRas)
#include "test_ezras.moc"
