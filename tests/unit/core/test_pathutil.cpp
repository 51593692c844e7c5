#include "core/pathutil.h"

#include <QtTest>

class TestPathUtil : public QObject
{
    Q_OBJECT
private slots:
    void createFolderPath_data()
    {
        QTest::addColumn<QString>("relative"); // below the scratch folder; "" = the path as given
        QTest::addColumn<QString>("absolute");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("mustExist");
        QTest::newRow("one new folder") << "Data/New"
                                        << "" << true << "Data/New";
        QTest::newRow("several new folders") << "a/b/c/d"
                                             << "" << true << "a/b/c/d";
        QTest::newRow("trailing slash") << "Data/New/"
                                        << "" << true << "Data/New";
        QTest::newRow("doubled slashes") << "x//y///z"
                                         << "" << true << "x/y/z";
        QTest::newRow("existing") << "Data"
                                  << "" << true << "Data";
        QTest::newRow("relative refused") << ""
                                          << "Data/New" << false << "";
        QTest::newRow("empty refused") << ""
                                       << "" << false << "";
        QTest::newRow("root alone") << ""
                                    << "/" << true << "";
        QTest::newRow("below a file fails") << "file.txt/sub"
                                            << "" << false << "";
        QTest::newRow("a file is no folder") << "file.txt"
                                             << "" << false << "";
    }
    void createFolderPath()
    {
        QFETCH(QString, relative);
        QFETCH(QString, absolute);
        QFETCH(bool, result);
        QFETCH(QString, mustExist);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("Data"));
        QFile file(dir.filePath("file.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString path = relative.isEmpty() ? absolute : dir.path() + u'/' + relative;
        QCOMPARE(CreateFolderPath(path), result);
        if (!mustExist.isEmpty())
            QVERIFY(QFileInfo(dir.filePath(mustExist)).isDir());
        if (result)
            QCOMPARE(CreateFolderPath(path), true); // a second call changes nothing
        if (!result && absolute == "Data/New")
            QVERIFY(!QFileInfo::exists(QDir::current().filePath("Data/New")));
    }

    void createdFoldersStayAfterAFailure()
    {
        QTemporaryDir dir;
        // A name longer than the file system allows makes the third step fail, root or not.
        QVERIFY(!CreateFolderPath(dir.path() + "/a/b/" + QString(300, u'x') + "/c"));
        QVERIFY(QFileInfo(dir.filePath("a/b")).isDir());
    }

    void fileExists_data()
    {
        QTest::addColumn<QString>("folder"); // "@" stands for the scratch folder
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("plain") << "@"
                               << "CC991224.LZH" << true;
        QTest::newRow("folder with trailing slash") << "@/"
                                                    << "CC991224.LZH" << true;
        QTest::newRow("missing file") << "@"
                                      << "DU991224.LZH" << false;
        QTest::newRow("empty folder") << ""
                                      << "CC991224.LZH" << false;
        QTest::newRow("blank folder") << "   "
                                      << "CC991224.LZH" << false;
        QTest::newRow("empty name") << "@"
                                    << "" << false;
        QTest::newRow("a folder is no file") << "@"
                                             << "sub" << false;
        QTest::newRow("missing folder") << "@/nowhere"
                                        << "CC991224.LZH" << false;
    }
    void fileExists()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        QFile file(dir.filePath("CC991224.LZH"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        folder.replace(u'@', dir.path());
        QCOMPARE(FileExists(folder, name), exists);
    }

    void safeFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("data file") << "CC991224.LZH" << true;
        QTest::newRow("japanese") << QStringLiteral("出馬表.lzh") << true;
        QTest::newRow("blank inside") << "a b.lzh" << true;
        QTest::newRow("dots inside") << "..a..lzh" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("slash") << "../etc/passwd" << false;
        QTest::newRow("absolute") << "/tmp/x" << false;
        QTest::newRow("backslash") << "..\\x.lzh" << false;
        QTest::newRow("nul") << QString::fromLatin1("a\0b", 3) << false;
        QTest::newRow("line feed") << "a\nb" << false;
        QTest::newRow("delete char") << "a\x7f" << false;
    }
    void safeFileNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(isSafeFileName(name), safe);
    }
};

QTEST_GUILESS_MAIN(TestPathUtil)
#include "test_pathutil.moc"
