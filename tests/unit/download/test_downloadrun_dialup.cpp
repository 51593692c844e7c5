#include "../dialup/fakedialupservice.h"
#include "scanfixture.h"

#include "core/apppaths.h"
#include "dialup/ezras.h"
#include "download/downloadrun.h"
#include "platform/messagebox.h"
#include "platform/process.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
TestMail wantedMail()
{
    TestMail m;
    m.fileName = "DU261204.LZH";
    m.payload = lzhPayload(QByteArray(600, 'k'));
    m.date = "Fri, 04 Dec 2026 09:00:00 +0900";
    return m;
}

void writeScript(const QString &path, const QByteArray &body)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
} // namespace

class TestDownloadRunDialup : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TempProgramFolder> m_home;

    void configure(const QString &entry)
    {
        const QString save = m_home->file(QStringLiteral("save"));
        QDir().mkpath(save);
        Settings.SaveFolder[0] = save;
        Settings.DeleteOldMail = false;
        Settings.UseDialup = true;
        Settings.DialupEntryName = entry;
    }
    bool scanned(ScanRig &rig) { return rig.transport->connectCount() > 0; }

private slots:
    void init()
    {
        m_home = std::make_unique<TempProgramFolder>();
        MessageBox::clearAnswers();
        MessageBox::history().clear();
    }
    void cleanup() { m_home.reset(); }

    void connectionAlreadyUpIsUsedAndLeftUp()
    {
        ScanRig rig;
        configure(QStringLiteral("My ISP"));
        FakeDialupService dial;
        dial.entries = {QStringLiteral("My ISP")};
        dial.active = {QStringLiteral("My ISP")};
        ScriptedMailbox box(*rig.transport, {wantedMail()});
        DownloadRun run(rig.host, rig.pop, &dial);
        run.DoDownload();
        QVERIFY(scanned(rig));
        QVERIFY(dial.disconnected.isEmpty());
        QCOMPARE(dial.active, QStringList{QStringLiteral("My ISP")});
    }

    void dialsScansAndHangsUpKeepingTheSummary()
    {
        ScanRig rig;
        configure(QStringLiteral("My ISP"));
        FakeDialupService dial;
        dial.entries = {QStringLiteral("My ISP")};
        ScriptedMailbox box(*rig.transport, {wantedMail()});
        DownloadRun run(rig.host, rig.pop, &dial);
        run.DoDownload();
        QVERIFY(scanned(rig));
        QVERIFY(rig.host.statuses.contains(QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ接続完了")));
        QCOMPARE(dial.disconnected, QStringList{QStringLiteral("My ISP")});
        QCOMPARE(rig.host.statuses.last(), QStringLiteral("新着ﾃﾞｰﾀ 1件"));
        QVERIFY(run.LastDownloadTime.has_value());
    }

    void failedOrAbortedDialEndsWithoutScan_data()
    {
        QTest::addColumn<bool>("abort");
        QTest::newRow("dial fails") << false;
        QTest::newRow("user aborts") << true;
    }
    void failedOrAbortedDialEndsWithoutScan()
    {
        QFETCH(bool, abort);
        ScanRig rig;
        configure(QStringLiteral("My ISP"));
        FakeDialupService dial;
        dial.entries = {QStringLiteral("My ISP")};
        dial.failConnects = !abort;
        dial.holdConnects = abort; // a dial that never reports
        ScriptedMailbox box(*rig.transport, {wantedMail()});
        DownloadRun run(rig.host, rig.pop, &dial);
        int pumps = 0;
        if (abort) {
            rig.pump.addHook([&] {
                if (++pumps == 20)
                    run.cmdDialupAbort_Click();
            });
        }
        run.DoDownload();
        QVERIFY(!scanned(rig));
        QCOMPARE(rig.host.statuses.last(), QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ接続を解除しました"));
        QVERIFY(!run.LastDownloadTime.has_value());
        QVERIFY(!rig.host.busy);
        QCOMPARE(run.exitCode(), ExitCode::CouldNotRun);
    }

    void externalDialerMissingShowsTheStandardText()
    {
        ScanRig rig;
        configure(QStringLiteral("RCONNECT.EXE"));
        FakeDialupService dial;
        ScriptedMailbox box(*rig.transport, {wantedMail()});
        DownloadRun run(rig.host, rig.pop, &dial);
        run.DoDownload();
        QVERIFY(!scanned(rig));
        QCOMPARE(rig.host.messages, QStringList{StandardErrorText(53)});
        QVERIFY(!rig.host.busy);
    }

    void externalDialerThatConnectsOrFails_data()
    {
        QTest::addColumn<bool>("connects");
        QTest::newRow("connects") << true;
        QTest::newRow("fails") << false;
    }
    void externalDialerThatConnectsOrFails()
    {
        QFETCH(bool, connects);
        ScanRig rig;
        configure(QStringLiteral("rconnect"));
        const QString store = m_home->file(QStringLiteral("dialer.ini"));
        QFile ini(store);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[AUTOCONNECT]\nENTRYNAME_NORMAL=Night Line\nENTRYNAME_TELEHO=Night Line\n");
        ini.close();
        qputenv("KIVREL_DIALER_STORE", store.toLocal8Bit());
        const QString marker = m_home->file(QStringLiteral("dialled"));
        const QString hung = m_home->file(QStringLiteral("hung-up"));
        writeScript(m_home->file(QStringLiteral("rconnect")),
                    connects ? "touch '" + marker.toLocal8Bit() + "'\n" : QByteArray("exit 1\n"));
        writeScript(m_home->file(QStringLiteral("rdisconn")), "echo \"$@\" > '" + hung.toLocal8Bit() + "'\n");
        // The dialer's connection counts as up once the script has run.
        struct MarkerService : FakeDialupService {
            QString marker;
            QStringList activeConnections() override
            {
                return QFile::exists(marker) ? QStringList{QStringLiteral("Night Line")} : QStringList();
            }
        } service;
        service.marker = marker;
        ScriptedMailbox box(*rig.transport, {wantedMail()});
        DownloadRun run(rig.host, rig.pop, &service);
        run.DoDownload();
        qunsetenv("KIVREL_DIALER_STORE");
        QCOMPARE(scanned(rig), connects);
        QFile h(hung);
        QVERIFY(h.open(QIODevice::ReadOnly));
        QCOMPARE(h.readAll().trimmed(), QByteArray("Night Line /NC"));
        if (!connects)
            QCOMPARE(rig.host.statuses.last(), QStringLiteral("接続に失敗しました。"));
    }
};

QTEST_GUILESS_MAIN(TestDownloadRunDialup)
#include "test_downloadrun_dialup.moc"
