#include "scanfixture.h"

#include "download/downloadrun.h"
#include "platform/messagebox.h"
#include "testsupport.h"

#include <QDir>
#include <QtTest>

namespace {

ReadList listOf(const QStringList &uids)
{
    ReadList list;
    const QDateTime when(QDate(2026, 12, 1), QTime(8, 0));
    for (const QString &uid : uids)
        list.PutReadEntry(when, when, QStringLiteral("-"), uid, QString());
    return list;
}

QStringList uidsOf(const ReadList &list)
{
    QStringList uids;
    for (int i = 0; i < list.ReadCount(); ++i)
        uids << list.at(i).Uid;
    uids.sort();
    return uids;
}

} // namespace

// A window keeps the read list it loaded; another process may record mails in
// Kivrel.dat meanwhile. A run works from the file, so those records survive.
class TestSharedReadList : public QObject
{
    Q_OBJECT
private slots:
    void init() { MessageBox::clearAnswers(); }

    void runStartsFromTheListOnDisk_data()
    {
        QTest::addColumn<QStringList>("inMemory");
        QTest::addColumn<QStringList>("onDisk"); // empty: no Kivrel.dat
        QTest::addColumn<QList<QByteArray>>("fetched");
        QTest::addColumn<QStringList>("recordedAfter");
        QTest::newRow("another run recorded mail 1")
            << QStringList{} << QStringList{"UID1"} << QList<QByteArray>{"RETR 2"} << QStringList{"UID1", "UID2"};
        QTest::newRow("another run recorded both")
            << QStringList{"UID1"} << QStringList{"UID1", "UID2"} << QList<QByteArray>{} << QStringList{"UID1", "UID2"};
        QTest::newRow("record removed elsewhere") << QStringList{"UID1", "UID2"} << QStringList{"UID2"}
                                                  << QList<QByteArray>{"RETR 1"} << QStringList{"UID1", "UID2"};
        QTest::newRow("no file: the list in memory stands")
            << QStringList{"UID2"} << QStringList{} << QList<QByteArray>{"RETR 1"} << QStringList{"UID1", "UID2"};
    }
    void runStartsFromTheListOnDisk()
    {
        QFETCH(QStringList, inMemory);
        QFETCH(QStringList, onDisk);
        QFETCH(QList<QByteArray>, fetched);
        QFETCH(QStringList, recordedAfter);
        TempProgramFolder home;
        ScanRig rig;
        const QString save = home.file(QStringLiteral("save1"));
        QDir().mkpath(save);
        Settings.SaveFolder[0] = save;
        Settings.DeleteOldMail = false;
        // The window's list as it loaded it; then the other process writes.
        QVERIFY(listOf(inMemory).SaveReadList());
        rig.host.list.LoadReadList();
        QFile::remove(ReadList::filePath());
        if (!onDisk.isEmpty())
            QVERIFY(listOf(onDisk).SaveReadList());
        TestMail first;
        first.fileName = "DU261204.LZH";
        first.payload = lzhPayload("first");
        TestMail second;
        second.fileName = "SH261204.LZH";
        second.payload = lzhPayload("second");
        ScriptedMailbox box(*rig.transport, {first, second});

        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();

        QCOMPARE(run.exitCode(), ExitCode::Normal);
        QList<QByteArray> retrieved;
        for (const QByteArray &line : rig.transport->clientLines())
            if (line.startsWith("RETR"))
                retrieved << line;
        QCOMPARE(retrieved, fetched);
        QCOMPARE(uidsOf(rig.host.list), recordedAfter);
        ReadList saved;
        saved.LoadReadList();
        QCOMPARE(uidsOf(saved), recordedAfter);
    }
};

QTEST_GUILESS_MAIN(TestSharedReadList)
#include "test_sharedreadlist.moc"
