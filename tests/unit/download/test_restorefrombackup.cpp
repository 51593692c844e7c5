#include "core/settings.h"
#include "download/readlist.h"
#include "download/restorefrombackup.h"
#include "lzhsample.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using TestFiles::loggedMail;
using TestFiles::RecordEnd;

namespace {
// Whole archives as the service sends them, and their base64 text in a log.
const QByteArray ArchiveMan = LzhSample::stored("CC.TXT", "Man");
const QByteArray ArchiveMa = LzhSample::stored("CC.TXT", "Ma");
const QByteArray ArchiveManText = ArchiveMan.toBase64();
const QByteArray ArchiveMaText = ArchiveMa.toBase64();
} // namespace

class TestRestoreFromBackup : public TestFiles::WithSaveFoldersTest
{
    Q_OBJECT

private slots:
    void restoreFromLog_data();
    void restoreFromLog();
    void restoreEntry_data();
    void restoreEntry();
};

void TestRestoreFromBackup::restoreFromLog_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<int>>("folders"); // save folders set
    QTest::addColumn<bool>("restored");
    QTest::addColumn<QByteArray>("content");
    const QByteArray good = loggedMail("CC991224.LZH", ArchiveManText) + RecordEnd;
    // The first record ends inside a base64 group.
    const QByteArray broken = loggedMail("CC991224.LZH", ArchiveManText.left(5)) + RecordEnd;
    QTest::newRow("one record") << good << "CC991224.LZH" << QList<int>{0, 1, 2, 3} << true << ArchiveMan;
    QTest::newRow("name in other case") << good << "cc991224.lzh" << QList<int>{0} << true << ArchiveMan;
    QTest::newRow("first record broken, second used") << broken + loggedMail("CC991224.LZH", ArchiveMaText) + RecordEnd
                                                      << "CC991224.LZH" << QList<int>{0} << true << ArchiveMa;
    QTest::newRow("other files first") << loggedMail("DU991224.LZH", ArchiveMaText) + RecordEnd + good << "CC991224.LZH"
                                       << QList<int>{0} << true << ArchiveMan;
    QTest::newRow("folder 0 empty: 1 and 3") << good << "CC991224.LZH" << QList<int>{1, 3} << true << ArchiveMan;
    QTest::newRow("not in the log") << good << "SH991224.LZH" << QList<int>{0} << false << QByteArray();
    QTest::newRow("no save folder") << good << "CC991224.LZH" << QList<int>{} << false << QByteArray();
    QByteArray notBase64 = loggedMail("CC991224.LZH", "Man") + RecordEnd;
    notBase64.replace("Encoding: base64", "Encoding: 7bit");
    QTest::newRow("attachment not in base64, then a good record")
        << notBase64 + good << "CC991224.LZH" << QList<int>{0} << true << ArchiveMan;
    QTest::newRow("attachment not in base64 only")
        << notBase64 << "CC991224.LZH" << QList<int>{0} << false << QByteArray();
    // Clean base64 of a damaged archive never replaces anything.
    QByteArray damaged = ArchiveMan;
    damaged[damaged.size() - 3] = 'X';
    QTest::newRow("damaged archive only") << loggedMail("CC991224.LZH", damaged.toBase64()) + RecordEnd
                                          << "CC991224.LZH" << QList<int>{0} << false << QByteArray();
    QTest::newRow("not a plain name") << loggedMail("../X.LZH", ArchiveManText) + RecordEnd << "../X.LZH" << QList<int>{0}
                                      << false << QByteArray();
}

void TestRestoreFromBackup::restoreFromLog()
{
    QFETCH(QByteArray, log);
    QFETCH(QString, name);
    QFETCH(QList<int>, folders);
    QFETCH(bool, restored);
    QFETCH(QByteArray, content);
    for (int j = 0; j < 4; ++j)
        Settings.SaveFolder[j] = folders.contains(j) ? folder(j) : QStringLiteral("  ");
    QCOMPARE(RestoreFromBackup::restoreFromLog(log, name), restored);
    for (int j = 0; j < 4; ++j)
        QCOMPARE(TestFiles::read(folder(j) + QLatin1Char('/') + name),
                 restored && folders.contains(j) ? content : QByteArray());
}

void TestRestoreFromBackup::restoreEntry_data()
{
    QTest::addColumn<QVariant>("handled");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("namesFile");
    QTest::addColumn<bool>("restored");
    const QDateTime day(QDate(1999, 12, 24), QTime(8, 5, 9));
    QTest::newRow("the day's log") << QVariant(day) << "CC991224.LZH" << true << true;
    QTest::newRow("another day: no log") << QVariant(day.addDays(1)) << "CC991224.LZH" << true << false;
    QTest::newRow("handled time not a date") << QVariant(QStringLiteral("?")) << "CC991224.LZH" << true << false;
    QTest::newRow("a notice: no file") << QVariant(day) << "-" << false << false;
    QTest::newRow("no name") << QVariant(day) << QString() << false << false;
}

void TestRestoreFromBackup::restoreEntry()
{
    QFETCH(QVariant, handled);
    QFETCH(QString, name);
    QFETCH(bool, namesFile);
    QFETCH(bool, restored);
    const QDateTime day(QDate(1999, 12, 24), QTime(8, 5, 9));
    QVERIFY(TestFiles::write(RestoreFromBackup::logPath(day), loggedMail("CC991224.LZH", ArchiveManText) + RecordEnd));
    ReadEntry e;
    e.HandledTime = handled;
    e.FileName = name;
    QCOMPARE(RestoreFromBackup::namesFile(e), namesFile);
    QCOMPARE(RestoreFromBackup::restoreEntry(e), restored);
    QCOMPARE(QFile::exists(folder(0) + "/CC991224.LZH"), restored);
}

QTEST_MAIN(TestRestoreFromBackup)
#include "test_restorefrombackup.moc"
