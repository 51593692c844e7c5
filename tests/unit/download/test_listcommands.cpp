#include "core/cp932.h"
#include "core/settings.h"
#include "download/listcommands.h"
#include "download/readlist.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
// Kivrel.dat of records "uid file", handled a day apart.
void writeList(const QStringList &records)
{
    QString text;
    for (int i = 0; i < records.size(); ++i) {
        const QStringList f = records[i].split(u' ');
        text += QStringLiteral("1999/12/%1 8:05:09\t1999/12/%1\t%2\t%3\td\r\n").arg(10 + i).arg(f[1], f[0]);
    }
    QVERIFY(TestFiles::write(ReadList::filePath(), Cp932::encode(text)));
}
} // namespace

class TestListCommands : public TestFiles::WithSaveFoldersTest
{
    Q_OBJECT

private slots:

    void sendCopiesFromEveryFolderThatHoldsTheFile()
    {
        QVERIFY(TestFiles::write(folder(0) + "/A.LZH", "from 0"));
        QVERIFY(TestFiles::write(folder(2) + "/A.LZH", "from 2"));
        QVERIFY(TestFiles::write(folder(1) + "/B.LZH", "from 1"));
        QVERIFY(TestFiles::write(folder(3) + "/../X.LZH", "outside"));
        const QString dest = m_home->home.file("out/dest");
        QDir().mkpath(dest);
        QCOMPARE(ListCommands::sendFiles({"A.LZH", "B.LZH", "C.LZH", "../X.LZH"}, dest), 3);
        QCOMPARE(QDir(dest).entryList(QDir::Files), (QStringList{"A.LZH", "B.LZH"}));
        QCOMPARE(TestFiles::read(dest + "/A.LZH"), QByteArray("from 2")); // the last folder's copy
        QCOMPARE(TestFiles::read(dest + "/B.LZH"), QByteArray("from 1"));
        QVERIFY(!QFile::exists(m_home->home.file("out/X.LZH"))); // nothing outside the folder
    }

    void removeRecords_data()
    {
        QTest::addColumn<QStringList>("remove");
        QTest::addColumn<QStringList>("left"); // uids in the file afterwards
        QTest::newRow("every case of the id") << QStringList{"aBc"} << QStringList{"x", "new"};
        QTest::newRow("two ids") << QStringList{"X", "ABC"} << QStringList{"new"};
        QTest::newRow("an id not in the list") << QStringList{"none"} << QStringList{"AbC", "x", "abc", "new"};
    }

    void removeRecords()
    {
        QFETCH(QStringList, remove);
        QFETCH(QStringList, left);
        writeList({"AbC A.LZH", "x B.LZH", "abc C.LZH"});
        QVERIFY(TestFiles::write(folder(0) + "/A.LZH", "data"));
        ReadList list;
        list.LoadReadList();
        // Another Kivrel (a scheduled run) records a mail meanwhile: it stays.
        writeList({"AbC A.LZH", "x B.LZH", "abc C.LZH", "new N.LZH"});
        QVERIFY(ListCommands::removeRecords(list, remove));
        QStringList uids;
        for (const QString &line : Cp932::decode(TestFiles::read(ReadList::filePath())).split("\r\n", Qt::SkipEmptyParts))
            uids << line.section(u'\t', 3, 3);
        QCOMPARE(uids, left);
        QCOMPARE(list.ReadCount(), left.size());
        QVERIFY(QFile::exists(folder(0) + "/A.LZH")); // the data file stays
    }
};

QTEST_MAIN(TestListCommands)
#include "test_listcommands.moc"
