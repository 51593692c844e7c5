#include "scanfixture.h"

#include "core/apppaths.h"
#include "core/cp932.h"
#include "download/downloadrun.h"
#include "download/scantexts.h"
#include "platform/messagebox.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QtTest>

namespace {

QByteArray payload(int n, char seed)
{
    QByteArray p(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        p[i] = static_cast<char>(seed + i * 7);
    return p;
}

QString activityLog()
{
    QFile f(AppPaths::inProgramFolder(QStringLiteral("KVLOG.TXT")));
    f.open(QIODevice::ReadOnly);
    return Cp932::decode(f.readAll());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TestMail dataMail(const QByteArray &name, char seed, const QByteArray &date = "Fri, 04 Dec 2026 09:00:00 +0900")
{
    TestMail m;
    m.fileName = name;
    m.payload = lzhPayload(payload(1000 + seed, seed));
    m.date = date;
    return m;
}

// The RETR reply of a mail whose first base64 line ends inside a group.
QByteArray withBrokenGroup(const TestMail &m)
{
    QByteArray text = m.text();
    text.replace(base64Lines(m.payload).left(76), base64Lines(m.payload).left(75));
    return "+OK\r\n" + text + ".\r\n";
}

} // namespace

class TestMailboxScan : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TempProgramFolder> m_home;
    QString m_save;

    void configure()
    {
        m_save = m_home->file(QStringLiteral("save1"));
        QDir().mkpath(m_save);
        Settings.SaveFolder[0] = m_save;
        Settings.DeleteOldMail = false;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TempProgramFolder>();
        MessageBox::clearAnswers();
    }
    void cleanup() { m_home.reset(); }

    void decodesWantedFilesAndRecordsEveryHandledMail()
    {
        ScanRig rig;
        configure();
        TestMail wanted = dataMail("DU261204.LZH", 3);
        TestMail notWanted = dataMail("ZZ261204.LZH", 5);
        TestMail notice;
        notice.subject = kInfoSubject;
        notice.bodyLine = QByteArray("\x1b$B:FEY!\"$49XF~$N$[$I\x1b(B"); // 再度、ご購入のほど
        TestMail personal;
        personal.subject = "hello";
        personal.multipart = false;
        ScriptedMailbox box(*rig.transport, {wanted, notWanted, notice, personal});

        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();

        QCOMPARE(readFile(m_save + QStringLiteral("/DU261204.LZH")), wanted.payload);
        QVERIFY(!QFile::exists(m_save + QStringLiteral("/ZZ261204.LZH")));
        const ReadList &list = rig.host.list;
        QCOMPARE(list.ReadCount(), 3);
        QCOMPARE(list.at(0).FileName, QStringLiteral("DU261204.LZH"));
        QCOMPARE(list.at(0).Description, QStringLiteral("2099年08月22日 出馬表"));
        QVERIFY(list.at(0).FilePresent);
        QCOMPARE(list.at(1).FileName, QStringLiteral("-"));
        QCOMPARE(list.at(2).Description, ScanText::NoticeDescription);
        QCOMPARE(list.at(2).Uid, QStringLiteral("UID3"));
        QCOMPARE(rig.host.statuses.last(),
                 QStringLiteral("新着ﾃﾞｰﾀ 1件 / その他のﾒｰﾙ1件 <通常のﾒｰﾙｿﾌﾄで受信してください>"));
        QVERIFY(rig.transport->unexpected().isEmpty());
        QVERIFY(!rig.host.busy);
        QCOMPARE(run.exitCode(), ExitCode::Normal);
        QVERIFY(run.LastDownloadTime.has_value());

        // What was recorded survives on disk.
        ReadList reloaded;
        reloaded.LoadReadList();
        QCOMPARE(reloaded.ReadCount(), 3);
        const QString log = activityLog();
        QVERIFY(log.contains(QStringLiteral("DU##????.LZHと合致")));
        QVERIFY(log.trimmed().endsWith(ScanText::CheckEnd));

        // A second run examines only the other mail again.
        ScanRig rig2;
        configure();
        rig2.host.list = list;
        ScriptedMailbox box2(*rig2.transport, {wanted, notWanted, notice, personal});
        DownloadRun run2(rig2.host, rig2.pop);
        run2.DoDownload();
        const QList<QByteArray> lines = rig2.transport->clientLines();
        QVERIFY(lines.contains("TOP 4 20"));
        QVERIFY(!lines.contains("TOP 1 20"));
        QVERIFY(!lines.contains("RETR 1"));
        QVERIFY(rig2.host.statuses.contains(QStringLiteral("4件の到着ﾒｰﾙがあります(未読 1通)")));
        QCOMPARE(rig2.host.statuses.last(),
                 QStringLiteral("新着ﾃﾞｰﾀはありません / その他のﾒｰﾙ1件 <通常のﾒｰﾙｿﾌﾄで受信してください>"));
    }

    void deletionRules_data()
    {
        QTest::addColumn<bool>("deleteDownloaded");
        QTest::addColumn<bool>("deleteOld");
        QTest::addColumn<QString>("mailSubject");
        QTest::addColumn<QList<int>>("deleted");
        // Mail 1: decoded now; 2: dated 7 days and 1 minute ago (not wanted);
        // 3: exactly 7 days ago (not wanted); 4: personal mail, very old.
        QTest::newRow("nothing") << false << false << QString(kDataSubject) << QList<int>{};
        QTest::newRow("downloaded") << true << false << QString(kDataSubject) << QList<int>{1};
        QTest::newRow("old") << false << true << QString(kDataSubject) << QList<int>{2};
        QTest::newRow("both") << true << true << QString(kDataSubject) << QList<int>{1, 2};
        // An emptied subject makes no mail a data mail, so nothing is deletable.
        QTest::newRow("empty subject") << true << true << QString() << QList<int>{};
    }
    void deletionRules()
    {
        QFETCH(bool, deleteDownloaded);
        QFETCH(bool, deleteOld);
        QFETCH(QString, mailSubject);
        QFETCH(QList<int>, deleted);
        ScanRig rig;
        configure();
        Settings.DeleteDownloadMail = deleteDownloaded;
        Settings.DeleteOldMail = deleteOld;
        Settings.KeepDays = 7;
        Settings.MailSubject = mailSubject;
        // now is 2026-12-04 12:00 local; mail dates are written as local time.
        TestMail m1 = dataMail("DU261204.LZH", 1);
        TestMail m2 = dataMail("ZZ261127.LZH", 2, "Fri, 27 Nov 2026 11:59:00 +0900");
        TestMail m3 = dataMail("ZZ261127.LZH", 3, "Fri, 27 Nov 2026 12:00:00 +0900");
        TestMail m4;
        m4.subject = "old personal";
        m4.multipart = false;
        m4.date = "Mon, 06 Dec 1999 10:00:00 +0900";
        ScriptedMailbox box(*rig.transport, {m1, m2, m3, m4});
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QCOMPARE(box.deleted, deleted);
    }

    void decodingFailureKeepsThatMailAndGoesOn()
    {
        ScanRig rig;
        configure();
        Settings.DeleteDownloadMail = true;
        TestMail m1 = dataMail("DU261201.LZH", 1);
        TestMail m2 = dataMail("DU261202.LZH", 2);
        TestMail m3 = dataMail("DU261203.LZH", 3);
        ScriptedMailbox box(*rig.transport, {m1, m2, m3}, {2});
        rig.transport->respond("RETR 2", withBrokenGroup(m2));

        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();

        QCOMPARE(box.deleted, (QList<int>{1, 3}));
        QVERIFY(!QFile::exists(m_save + QStringLiteral("/DU261202.LZH")));
        QCOMPARE(readFile(m_save + QStringLiteral("/DU261203.LZH")), m3.payload);
        QCOMPARE(rig.host.list.ReadCount(), 2);
        QCOMPARE(run.exitCode(), ExitCode::CouldNotRun);
        QCOMPARE(rig.host.statuses.last(), ScanText::NewData + QStringLiteral("2") + ScanText::Items +
                                               ScanText::Unstored + QStringLiteral("1") + ScanText::SeeLog);
        QVERIFY(activityLog().contains(ScanText::DecodeFailed));
    }

    // What the server sent of a mail must hold what the rules need, or the
    // mail waits for the next run.
    void viewsThatLackWhatTheRulesNeed()
    {
        ScanRig rig;
        configure();
        Settings.DeleteDownloadMail = true;
        TestMail longText = dataMail("DU261201.LZH", 1);
        for (int i = 0; i < 25; ++i)
            longText.bodyLine += "\r\nline " + QByteArray::number(i);
        TestMail cut = dataMail("DU261202.LZH", 2);
        // A server that does not dot-stuff: a lone "." ends the view early,
        // and the rest of the mail follows as bytes nobody asked for.
        const QByteArray top = cut.top();
        const qsizetype third = top.indexOf("--BND");
        cut.topReply = "+OK\r\n" + top.left(third) + ".\r\n" + top.mid(third) + ".\r\n";
        ScriptedMailbox box(*rig.transport, {longText, cut});

        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();

        const QList<QByteArray> lines = rig.transport->clientLines();
        QVERIFY(lines.contains("RETR 1"));
        QCOMPARE(readFile(m_save + QStringLiteral("/DU261201.LZH")), longText.payload);
        QVERIFY(activityLog().contains(ScanText::NameFromWhole));
        QVERIFY(!lines.contains("RETR 2"));
        QVERIFY(activityLog().contains(QStringLiteral("メール番号 2") + ScanText::ViewIncomplete));
        QCOMPARE(rig.host.list.find(QStringLiteral("UID2")), -1);
        QVERIFY(!box.deleted.contains(2));
        QCOMPARE(run.exitCode(), ExitCode::CouldNotRun);
    }

    // Mail 1 old and examined: the information mail without the notice phrase
    // goes; a data mail whose file could not be stored stays, with a log line.
    void oldMailsGoUnlessTheirFileIsMissing()
    {
        ScanRig rig;
        configure();
        Settings.DeleteOldMail = true;
        TestMail info;
        info.subject = kInfoSubject;
        info.bodyLine = "maintenance";
        TestMail unstored = dataMail("DU991203.LZH", 2, "Fri, 03 Dec 1999 10:00:00 +0900");
        TestMail stored = dataMail("DU991202.LZH", 3, "Thu, 02 Dec 1999 10:00:00 +0900");
        ScriptedMailbox box(*rig.transport, {info, unstored, stored}, {2});
        rig.transport->respond("RETR 2", withBrokenGroup(unstored));

        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();

        QCOMPARE(box.deleted, (QList<int>{1, 3}));
        QVERIFY(activityLog().contains(QStringLiteral("メール番号 2") + ScanText::KeptUnstored));
    }

    // Names the file would be written under differently from the mail's bytes.
    void namesThatDoNotReadAsTheyAre_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("undecodable bytes") << QByteArray("DU2612\x80\x80.LZH") << QByteArray("DU2612\x80\xA0.LZH")
                                           << QStringList{};
        // NEC and IBM codes of the same Roman numeral read alike.
        QTest::newRow("two codes, one text") << QByteArray("DU2612\x87\x54" "A.LZH")
                                             << QByteArray("DU2612\xFA\x4A" "A.LZH")
                                             << QStringList{QStringLiteral("DU2612\u2160A.LZH")};
        QTest::newRow("the same name twice") << QByteArray("DU261201.LZH") << QByteArray("DU261201.LZH")
                                             << QStringList{QStringLiteral("DU261201.LZH")};
    }
    void namesThatDoNotReadAsTheyAre()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QStringList, stored);
        ScanRig rig;
        configure();
        TestMail a = dataMail(first, 1);
        TestMail b = dataMail(second, 2);
        ScriptedMailbox box(*rig.transport, {a, b});
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QCOMPARE(QDir(m_save).entryList(QDir::Files), stored);
        if (!stored.isEmpty() && first != second)
            QCOMPARE(readFile(m_save + u'/' + stored.first()), a.payload);
    }

    void retrievalSilenceRules_data()
    {
        QTest::addColumn<bool>("boundaryArrived");
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("stall after boundary, no final dot") << true << true << ScanText::BoundaryDone;
        QTest::newRow("stall before boundary") << false << false << ScanText::Timeout;
    }
    void retrievalSilenceRules()
    {
        QFETCH(bool, boundaryArrived);
        QFETCH(bool, recorded);
        QFETCH(QString, logLine);
        ScanRig rig;
        configure();
        TestMail m1 = dataMail("DU261204.LZH", 9);
        TestMail m2 = dataMail("DU261205.LZH", 10);
        ScriptedMailbox box(*rig.transport, {m1, m2}, {1});
        const QByteArray text = m1.text();
        const QByteArray sent = boundaryArrived ? text : text.left(text.indexOf("--BND--"));
        rig.transport->respond("RETR 1", [sent, text](FakeTransport &t, const QByteArray &) {
            t.server("+OK\r\n" + sent);
            t.pause(200); // 40 s of silence: past the scan's limits, short of the component's 60 s
            t.server(text.mid(sent.size()) + ".\r\n"); // the rest arrives late
        });
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QVERIFY(activityLog().contains(logLine));
        QCOMPARE(QFile::exists(m_save + QStringLiteral("/DU261204.LZH")), recorded);
        // After a reply that never came whole the line is dropped: the late rest
        // must never be taken for the next mail's reply.
        QCOMPARE(rig.transport->clientLines().contains("TOP 2 20"), recorded);
        QCOMPARE(activityLog().contains(ScanText::LineDropped), !recorded);
        // The status line says so too, rather than a summary of a whole run.
        QCOMPARE(rig.host.statuses.last() == ScanText::LineDropped, !recorded);
        QCOMPARE(rig.host.list.ReadCount(), recorded ? 2 : 0);
        QCOMPARE(run.exitCode(), recorded ? ExitCode::Normal : ExitCode::CouldNotRun);
    }

    // Commands in flight and a reply that never ends: the later replies run
    // into it, so nothing of that line can be placed. The line goes without a
    // deletion, and the run goes on one command at a time on a new one, where
    // the 10 s rule takes the mail; everything is stored and deleted once.
    void pipelinedReplyGoneWrongFallsBackOneAtATime()
    {
        ScanRig rig;
        configure();
        Settings.DeleteDownloadMail = true;
        const QList<TestMail> mails = {dataMail("DU261201.LZH", 1), dataMail("DU261202.LZH", 2),
                                       dataMail("DU261203.LZH", 3)};
        ScriptedMailbox box(*rig.transport, mails, {2, 3}, true);
        rig.transport->respond("RETR 2", "+OK\r\n" + mails[1].text()); // no terminator, ever
        // The first RETR 3 gets no answer while RETR 2 stands in its way.
        rig.transport->respond("RETR 3", [](FakeTransport &, const QByteArray &) {});
        rig.transport->respond("RETR 3", "+OK\r\n" + mails[2].text() + ".\r\n");
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();

        QCOMPARE(run.exitCode(), ExitCode::Normal);
        QVERIFY(activityLog().contains(ScanText::PipeliningOff));
        for (const TestMail &m : mails)
            QCOMPARE(readFile(m_save + u'/' + QString::fromLatin1(m.fileName)), m.payload);
        QCOMPARE(box.deleted, (QList<int>{1, 2, 3}));
        const QList<QByteArray> lines = rig.transport->clientLines();
        QCOMPARE(lines.count("USER user"), 2);
        QVERIFY(lines.indexOf("DELE 1") > lines.lastIndexOf("USER user")); // nothing deleted on the lost line
        QVERIFY(lines.indexOf("TOP 3 20") < lines.indexOf("RETR 1"));      // the first line had commands in flight
    }

    void stalledTopDropsTheLineInsteadOfMixingReplies()
    {
        ScanRig rig;
        configure();
        Settings.DeleteDownloadMail = true;
        TestMail m1 = dataMail("DU261201.LZH", 1);
        TestMail m2 = dataMail("DU261202.LZH", 2);
        rig.transport->respond("TOP 1 20", [m1](FakeTransport &t, const QByteArray &) {
            t.pause(320); // 64 s: the component gives up at 60 s
            t.server("+OK\r\n" + m1.top() + ".\r\n");
        });
        ScriptedMailbox box(*rig.transport, {m1, m2});
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        const QList<QByteArray> lines = rig.transport->clientLines();
        QVERIFY(!lines.contains("TOP 2 20"));
        QVERIFY(!lines.contains("RETR 2"));
        QVERIFY(box.deleted.isEmpty());
        QCOMPARE(rig.host.list.ReadCount(), 0);
        QVERIFY(activityLog().contains(ScanText::LineDropped));
    }

    void refusedTopKeepsTheLine()
    {
        ScanRig rig;
        configure();
        rig.transport->respond("TOP 1 20", QByteArray("-ERR no such message\r\n"));
        ScriptedMailbox box(*rig.transport, {dataMail("DU261201.LZH", 1), dataMail("DU261202.LZH", 2)});
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QVERIFY(rig.transport->clientLines().contains("RETR 2"));
        QCOMPARE(rig.host.list.ReadCount(), 1);
        QCOMPARE(rig.host.statuses.last(),
                 QStringLiteral("新着ﾃﾞｰﾀ 1件 / その他のﾒｰﾙ1件 <通常のﾒｰﾙｿﾌﾄで受信してください>"));
    }

    void unsafeAttachmentNamesNeverBecomePaths_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("parent") << QByteArray("../DU261204.LZH");
        QTest::newRow("slash") << QByteArray("DU/261204.LZH");
        QTest::newRow("dotdot") << QByteArray("..");
    }
    void unsafeAttachmentNamesNeverBecomePaths()
    {
        QFETCH(QByteArray, name);
        ScanRig rig;
        configure();
        Settings.FileNamePatterns = QStringLiteral("DU,"); // the trailing comma matches any kind
        ScriptedMailbox box(*rig.transport, {dataMail(name, 4)});
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QVERIFY(!rig.transport->clientLines().contains("RETR 1"));
        QCOMPARE(rig.host.list.ReadCount(), 1);
        QCOMPARE(rig.host.list.at(0).FileName, QStringLiteral("-"));
        QCOMPARE(QDir(m_home->path()).entryList(QStringList() << QStringLiteral("*.LZH")).size(), 0);
    }

    void copiesIntoTheOtherSaveFolders()
    {
        ScanRig rig;
        configure();
        Settings.SaveFolder[0] = QString();
        Settings.SaveFolder[1] = m_save;
        const QString second = m_home->file(QStringLiteral("save3"));
        QDir().mkpath(second);
        Settings.SaveFolder[2] = second;
        Settings.SaveFolder[3] = m_home->file(QStringLiteral("missing")); // only loses the copy
        TestMail m = dataMail("KK261204.LZH", 6);
        ScriptedMailbox box(*rig.transport, {m});
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QCOMPARE(readFile(m_save + QStringLiteral("/KK261204.LZH")), m.payload);
        QCOMPARE(readFile(second + QStringLiteral("/KK261204.LZH")), m.payload);
        QCOMPARE(rig.host.statuses.last(), QStringLiteral("新着ﾃﾞｰﾀ 1件"));
    }

    void connectionFailureEndsQuietly()
    {
        ScanRig rig;
        configure();
        rig.transport->connectFails(11001, QStringLiteral("host not found"));
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QVERIFY(rig.transport->clientLines().isEmpty());
        QVERIFY(activityLog().trimmed().endsWith(ScanText::CheckEnd));
        QCOMPARE(run.exitCode(), ExitCode::CouldNotRun);
        QVERIFY(!rig.host.busy);
    }

    void stopRequestEndsEveryWaitAtOnce_data()
    {
        QTest::addColumn<QByteArray>("stallAt");
        QTest::newRow("connecting") << QByteArray("connect");
        QTest::newRow("greeting") << QByteArray("greeting");
        QTest::newRow("login") << QByteArray("USER user");
        QTest::newRow("STAT") << QByteArray("STAT");
        QTest::newRow("RETR") << QByteArray("RETR 1");
    }
    void stopRequestEndsEveryWaitAtOnce()
    {
        QFETCH(QByteArray, stallAt);
        ScanRig rig;
        configure();
        Settings.DeleteDownloadMail = true;
        TestMail m = dataMail("DU261204.LZH", 2);
        FakeTransport &t = *rig.transport;
        const bool command = stallAt != "connect" && stallAt != "greeting";
        if (command) // the stalled command gets no answer at all (the first reply is used first)
            t.respond(stallAt, [](FakeTransport &, const QByteArray &) {});
        ScriptedMailbox box(t, {m}, command ? QList<int>{} : QList<int>{1});
        if (stallAt == "connect")
            t.connectHangs();
        else if (stallAt == "greeting")
            t.setGreeting(QByteArray());
        DownloadRun run(rig.host, rig.pop);
        int pumps = 0;
        rig.pump.addHook([&] {
            if (++pumps == 40) // 8 s into the run
                run.requestStop();
        });
        run.DoDownload();
        // Well before any 60 s limit (300 pumps) the run is over.
        QVERIFY2(pumps < 80, qPrintable(QString::number(pumps)));
        QVERIFY(!rig.transport->clientLines().contains("DELE 1"));
        QVERIFY(!QFile::exists(m_save + QStringLiteral("/DU261204.LZH")));
        QVERIFY(!rig.host.busy);
        QVERIFY(run.exitCode() != ExitCode::Normal);
        const QList<QByteArray> lines = rig.transport->clientLines();
        if (command) // the line is dropped: nothing more is sent, not even QUIT
            QCOMPARE(lines.last(), stallAt);
    }

    void downloadAllDecodesRecordedMailsAgain()
    {
        ScanRig rig;
        configure();
        TestMail m = dataMail("CC261204.LZH", 8);
        const QDateTime before(QDate(2026, 12, 1), QTime(8, 0));
        rig.host.list.PutReadEntry(before, before, QStringLiteral("CC261204.LZH"), QStringLiteral("uid1"), QString());
        ScriptedMailbox box(*rig.transport, {m});
        DownloadRun run(rig.host, rig.pop);
        run.DownloadAll = true;
        run.DoDownload();
        QVERIFY(rig.transport->clientLines().contains("RETR 1"));
        QCOMPARE(readFile(m_save + QStringLiteral("/CC261204.LZH")), m.payload);
        QCOMPARE(rig.host.list.ReadCount(), 1); // the entry is replaced, not added
        QVERIFY(rig.host.list.at(0).HandledTime.toDateTime() > before);
    }

    void leftTemporaryFilesAreRemoved_data()
    {
        QTest::addColumn<QString>("name"); // in the program folder; "save1/..." in the save folder
        QTest::addColumn<bool>("old");
        QTest::addColumn<bool>("removed");
        QTest::newRow("read list") << "Kivrel.dat.a1B2c3" << true << true;
        QTest::newRow("settings") << "Kivrel.ini.Zz9Yy8" << true << true;
        QTest::newRow("decoder") << "save1/.kivrel-Q1w2E3" << true << true;
        QTest::newRow("copy of a listed file") << "save1/DU261201.LZH.x7Y8z9" << true << true;
        QTest::newRow("being written now") << "Kivrel.dat.a1B2c3" << false << false;
        QTest::newRow("beside a file not listed") << "save1/OTHER.LZH.x7Y8z9" << true << false;
        QTest::newRow("five characters") << "Kivrel.dat.a1B2c" << true << false;
        QTest::newRow("not a random part") << "Kivrel.dat.a1-2c3" << true << false;
        QTest::newRow("decoder's name in the program folder") << ".kivrel-Q1w2E3" << true << false;
    }
    void leftTemporaryFilesAreRemoved()
    {
        QFETCH(QString, name);
        QFETCH(bool, old);
        QFETCH(bool, removed);
        ScanRig rig;
        configure();
        const QDateTime handled(QDate(2026, 12, 1), QTime(8, 0));
        rig.host.list.PutReadEntry(handled, handled, QStringLiteral("DU261201.LZH"), QStringLiteral("uid1"), QString());
        QVERIFY(rig.host.list.SaveReadList());
        QFile file(m_home->file(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("half");
        file.flush();
        if (old)
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        file.close();
        ScriptedMailbox box(*rig.transport, {});
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QCOMPARE(QFile::exists(m_home->file(name)), !removed);
        QCOMPARE(rig.host.list.ReadCount(), 1);
    }

    void anotherProcessHoldingTheLockRefusesTheRun()
    {
        ScanRig rig;
        configure();
        QLockFile other(DownloadRun::lockFilePath());
        QVERIFY(other.tryLock(0));
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        QCOMPARE(rig.transport->connectCount(), 0);
        QCOMPARE(rig.host.statuses.last(), ScanText::OtherRunBusy);
        QCOMPARE(run.exitCode(), ExitCode::Busy);
    }
};

QTEST_GUILESS_MAIN(TestMailboxScan)
#include "test_mailboxscan.moc"
