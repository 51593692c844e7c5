#include "scanfixture.h"

#include "core/exitcode.h"
#include "download/downloadrun.h"
#include "platform/messagebox.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

// What a kill at this moment would leave in Kivrel.dat: the Uids of its
// records; fails the test unless the file is whole and each record's file is
// in the save folder.
QStringList recordsOnDisk(const QString &saveFolder)
{
    QFile f(ReadList::filePath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        return {QStringLiteral("<broken last line>")};
    QStringList uids;
    for (const QByteArray &line : bytes.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split('\t');
        if (fields.size() < 4)
            continue;
        if (fields[2] != "-" && !QFile::exists(saveFolder + u'/' + QString::fromLatin1(fields[2])))
            return {QStringLiteral("<record without its file>")};
        uids << QString::fromLatin1(fields[3]);
    }
    return uids;
}

} // namespace

// A run stores its records every couple of seconds, before the deletion pass
// and at its end. At any moment between, the list on disk is whole and every
// mail the server is told to delete has its record on disk.
class TestSavePoints : public QObject
{
    Q_OBJECT
private slots:
    void init() { MessageBox::clearAnswers(); }

    void aKillLeavesAWholeListAndNoDeletedMailUnrecorded_data()
    {
        QTest::addColumn<QByteArray>("moment"); // the command being sent; empty: after the run
        QTest::addColumn<int>("retrMs");        // how long each retrieval takes
        QTest::addColumn<QStringList>("onDisk");
        const QStringList all{"UID1", "UID2", "UID3"};
        QTest::newRow("quick mails, before RETR 2") << QByteArray("RETR 2") << 0 << QStringList{};
        QTest::newRow("quick mails, before RETR 3") << QByteArray("RETR 3") << 0 << QStringList{};
        QTest::newRow("quick mails, first DELE") << QByteArray("DELE 1") << 0 << all;
        QTest::newRow("quick mails, last DELE") << QByteArray("DELE 3") << 0 << all;
        QTest::newRow("quick mails, after the run") << QByteArray() << 0 << all;
        QTest::newRow("slow mails, before RETR 2") << QByteArray("RETR 2") << 2500 << QStringList{};
        QTest::newRow("slow mails, before RETR 3") << QByteArray("RETR 3") << 2500 << QStringList{"UID1", "UID2"};
        QTest::newRow("slow mails, first DELE") << QByteArray("DELE 1") << 2500 << all;
        QTest::newRow("slow mails, after the run") << QByteArray() << 2500 << all;
    }
    void aKillLeavesAWholeListAndNoDeletedMailUnrecorded()
    {
        QFETCH(QByteArray, moment);
        QFETCH(int, retrMs);
        QFETCH(QStringList, onDisk);
        TempProgramFolder home;
        ScanRig rig;
        const QString save = home.file(QStringLiteral("save1"));
        QDir().mkpath(save);
        Settings.SaveFolder[0] = save;
        Settings.DeleteDownloadMail = true;
        QList<TestMail> mails;
        for (const char *name : {"DU261201.LZH", "SH261202.LZH", "KK261203.LZH"}) {
            TestMail m;
            m.fileName = name;
            m.payload = lzhPayload(QByteArray(2000, name[0]));
            mails << m;
        }
        ScriptedMailbox box(*rig.transport, mails);

        // Looks at the disk when a command has just gone out, as a kill then would.
        std::optional<QStringList> seen;
        qsizetype lines = 0;
        rig.pump.addHook([&] {
            const QList<QByteArray> sent = rig.transport->clientLines();
            for (; lines < sent.size(); ++lines) {
                if (sent[lines].startsWith("RETR"))
                    rig.clock.advance(retrMs);
                if (!moment.isEmpty() && sent[lines].trimmed() == moment && !seen)
                    seen = recordsOnDisk(save);
            }
        });
        DownloadRun run(rig.host, rig.pop);
        run.DoDownload();
        if (moment.isEmpty())
            seen = recordsOnDisk(save);

        QCOMPARE(run.exitCode(), ExitCode::Normal);
        QCOMPARE(box.deleted, (QList<int>{1, 2, 3}));
        QVERIFY(seen.has_value());
        QCOMPARE(*seen, onDisk);
    }
};

QTEST_GUILESS_MAIN(TestSavePoints)
#include "test_savepoints.moc"
