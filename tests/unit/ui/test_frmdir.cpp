#include "ui/frmdir.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// The picker never waits in these tests: an answer or a driver stands in for the user.
class TestFrmDir : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void answerIsReturned_data();
    void answerIsReturned();
    void oneWindowServesEveryCall();
    void titleIsKeptUntilAnotherIsGiven();
    void okReturnsTheFolderShown_data();
    void okReturnsTheFolderShown();
    void missingFolderKeepsThePreviousOne();
    void cancelAfterChoosingReturnsEmpty();
    void closingByTheFrameReturnsEmpty();
    void doubleClickOpensAFolder();
    void placesHoldRootAndHome();
    void choosingAPlaceOpensIt();

private:
    QTemporaryDir m_tmp;
    QString folder(const QString &name) const;
    static QPushButton *button(frmDir *dlg, const char *name)
    {
        return dlg->findChild<QPushButton *>(QLatin1String(name));
    }
};

QString TestFrmDir::folder(const QString &name) const
{
    const QString path = m_tmp.path() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

void TestFrmDir::init()
{
    frmDir::destroyInstance();
    frmDir::setTestAnswer(std::nullopt);
    frmDir::setTestDriver(nullptr);
}

void TestFrmDir::cleanup()
{
    init();
}

void TestFrmDir::answerIsReturned_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("a folder") << QStringLiteral("/srv/data");
    QTest::newRow("cancel") << QString();
}

void TestFrmDir::answerIsReturned()
{
    QFETCH(QString, answer);
    frmDir::setTestAnswer(answer);
    QCOMPARE(frmDir::Execute(folder(QStringLiteral("start")), QStringLiteral("title")), answer);
    QCOMPARE(frmDir::instance()->DirName(), answer);
    QVERIFY(!frmDir::instance()->isVisible());
}

void TestFrmDir::oneWindowServesEveryCall()
{
    QVERIFY(!frmDir::instance());
    frmDir::setTestAnswer(QString());
    frmDir::Execute(QStringLiteral("/"));
    frmDir *first = frmDir::instance();
    QVERIFY(first);
    frmDir::Execute(QStringLiteral("/"));
    QCOMPARE(frmDir::instance(), first);
}

void TestFrmDir::titleIsKeptUntilAnotherIsGiven()
{
    frmDir::setTestAnswer(QString());
    frmDir::Execute(QStringLiteral("/"));
    QCOMPARE(frmDir::instance()->windowTitle(), QStringLiteral("ﾌｫﾙﾀﾞの指定"));
    frmDir::Execute(QStringLiteral("/"), QStringLiteral("ﾌｧｲﾙの送り先"));
    QCOMPARE(frmDir::instance()->windowTitle(), QStringLiteral("ﾌｧｲﾙの送り先"));
    frmDir::Execute(QStringLiteral("/"));
    QCOMPARE(frmDir::instance()->windowTitle(), QStringLiteral("ﾌｧｲﾙの送り先"));
}

void TestFrmDir::okReturnsTheFolderShown_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("a/b") << QStringLiteral("a/b");
    QTest::newRow("final slash") << QStringLiteral("a/b/") << QStringLiteral("a/b");
    QTest::newRow("doubled slash") << QStringLiteral("a//b") << QStringLiteral("a/b");
    // Kivrel.ini could not keep the name: refused, the picker stays open.
    QTest::newRow("not for the settings file") << QStringLiteral("josé") << QString();
}

void TestFrmDir::okReturnsTheFolderShown()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    folder(given);
    bool stillOpen = false;
    frmDir::setTestDriver([&stillOpen](frmDir *dlg) {
        dlg->show();
        button(dlg, "Command2")->click();
        stillOpen = dlg->isVisible();
    });
    QCOMPARE(frmDir::Execute(m_tmp.path() + QLatin1Char('/') + given),
             expected.isNull() ? QString() : m_tmp.path() + QLatin1Char('/') + expected);
    QCOMPARE(stillOpen, expected.isNull());
    // The root keeps its slash; "\" still means the root.
    QCOMPARE(frmDir::Execute(QStringLiteral("\\")), QStringLiteral("/"));
}

void TestFrmDir::missingFolderKeepsThePreviousOne()
{
    const QString start = folder(QStringLiteral("start"));
    frmDir::setTestDriver([](frmDir *dlg) { button(dlg, "Command2")->click(); });
    QCOMPARE(frmDir::Execute(start), start);
    QCOMPARE(frmDir::Execute(start + QStringLiteral("/not-there")), start);
    QCOMPARE(frmDir::Execute(QStringLiteral("relative/path")), start);
    // A fresh picker starts in the process's folder.
    frmDir::destroyInstance();
    QCOMPARE(frmDir::Execute(start + QStringLiteral("/not-there")), QDir::currentPath());
}

void TestFrmDir::cancelAfterChoosingReturnsEmpty()
{
    const QString start = folder(QStringLiteral("x"));
    folder(QStringLiteral("x/y"));
    frmDir::setTestDriver([start](frmDir *dlg) {
        QVERIFY(dlg->setFolder(start + QStringLiteral("/y")));
        button(dlg, "btnCancel")->click();
    });
    QCOMPARE(frmDir::Execute(start), QString());
    QCOMPARE(frmDir::instance()->DirName(), QString());
}

void TestFrmDir::closingByTheFrameReturnsEmpty()
{
    frmDir::setTestDriver([](frmDir *dlg) {
        dlg->show();
        dlg->close();
    });
    QCOMPARE(frmDir::Execute(folder(QStringLiteral("c"))), QString());
}

void TestFrmDir::doubleClickOpensAFolder()
{
    const QString start = folder(QStringLiteral("p"));
    folder(QStringLiteral("p/beta"));
    folder(QStringLiteral("p/Alpha"));
    frmDir::setTestDriver([start](frmDir *dlg) {
        auto *list = dlg->findChild<QListWidget *>(QStringLiteral("Dir1"));
        QVERIFY(list);
        // Ancestors first, the current folder selected, then its sub-folders by name.
        QCOMPARE(list->currentItem()->text().trimmed(), QStringLiteral("p"));
        const int alpha = list->currentRow() + 1;
        QCOMPARE(list->item(alpha)->text().trimmed(), QStringLiteral("Alpha"));
        QCOMPARE(list->item(alpha + 1)->text().trimmed(), QStringLiteral("beta"));
        emit list->itemDoubleClicked(list->item(alpha + 1));
        QCOMPARE(dlg->currentFolder(), start + QStringLiteral("/beta"));
        // Double-clicking an ancestor goes back up.
        emit list->itemDoubleClicked(list->item(0));
        QCOMPARE(dlg->currentFolder(), QStringLiteral("/"));
        emit list->itemDoubleClicked(list->item(0));
        QCOMPARE(dlg->currentFolder(), QStringLiteral("/"));
        dlg->setFolder(start + QStringLiteral("/Alpha"));
        button(dlg, "Command2")->click();
    });
    QCOMPARE(frmDir::Execute(start), start + QStringLiteral("/Alpha"));
}

void TestFrmDir::placesHoldRootAndHome()
{
    frmDir::setTestAnswer(QString());
    frmDir::Execute(QStringLiteral("/"));
    auto *places = frmDir::instance()->findChild<QComboBox *>(QStringLiteral("Drive1"));
    QVERIFY(places);
    QStringList paths;
    for (int i = 0; i < places->count(); ++i)
        paths << places->itemData(i).toString();
    QCOMPARE(paths.value(0), QStringLiteral("/"));
    QVERIFY(paths.contains(QDir::homePath()));
    QCOMPARE(paths.removeDuplicates(), 0);
}

void TestFrmDir::choosingAPlaceOpensIt()
{
    const QString start = folder(QStringLiteral("deep/er"));
    frmDir::setTestDriver([](frmDir *dlg) {
        auto *places = dlg->findChild<QComboBox *>(QStringLiteral("Drive1"));
        places->setCurrentIndex(0);
        emit places->activated(0);
        button(dlg, "Command2")->click();
    });
    QCOMPARE(frmDir::Execute(start), QStringLiteral("/"));
}

QTEST_MAIN(TestFrmDir)
#include "test_frmdir.moc"
