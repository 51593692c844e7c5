#include "core/filecopy.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestFileCopy : public QObject
{
    Q_OBJECT
private slots:
    // What stands at the destination beforehand: nothing, a file, or a link to
    // another file ("other"), which must not be written through.
    void copy_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("sourceExists");
        QTest::newRow("nothing") << QString() << true;
        QTest::newRow("earlier file") << QStringLiteral("file") << true;
        QTest::newRow("symbolic link") << QStringLiteral("symlink") << true;
        QTest::newRow("hard link") << QStringLiteral("hardlink") << true;
        QTest::newRow("missing source, earlier file") << QStringLiteral("file") << false;
        QTest::newRow("missing source, symbolic link") << QStringLiteral("symlink") << false;
        QTest::newRow("missing folder") << QStringLiteral("no folder") << true;
    }
    void copy()
    {
        QFETCH(QString, planted);
        QFETCH(bool, sourceExists);
        QTemporaryDir dir;
        const bool folder = planted != QLatin1String("no folder");
        if (folder)
            QDir(dir.path()).mkdir(QStringLiteral("copy"));
        const QString source = dir.filePath(QStringLiteral("A.LZH"));
        const QString other = dir.filePath(QStringLiteral("other"));
        const QString destination = dir.filePath(QStringLiteral("copy/A.LZH"));
        const QByteArray data = QByteArray("LZH data ").repeated(300000); // more than one buffer
        if (sourceExists)
            QVERIFY(TestFiles::write(source, data));
        QVERIFY(TestFiles::write(other, "other"));
        if (planted == QLatin1String("file"))
            QVERIFY(TestFiles::write(destination, "earlier"));
        else if (planted == QLatin1String("symlink"))
            QVERIFY(QFile::link(other, destination));
        else if (planted == QLatin1String("hardlink"))
            QVERIFY(::link(QFile::encodeName(other).constData(), QFile::encodeName(destination).constData()) == 0);
        const QByteArray before = TestFiles::readOrMissing(destination);

        QString error;
        const bool ok = sourceExists && folder;
        QCOMPARE(copyFileReplacing(source, destination, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
        QCOMPARE(TestFiles::readOrMissing(destination), ok ? data : before);
        QCOMPARE(TestFiles::readOrMissing(other), QByteArray("other"));
        QCOMPARE(QFileInfo(destination).isSymLink(), !ok && planted == QLatin1String("symlink"));
        QStringList left = QDir(dir.filePath(QStringLiteral("copy"))).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("A.LZH"));
        QCOMPARE(left, QStringList()); // no temporary file
    }
};

QTEST_GUILESS_MAIN(TestFileCopy)
#include "test_filecopy.moc"
