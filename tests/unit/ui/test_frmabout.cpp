#include "ui/frmabout.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestFrmAbout : public QObject
{
    Q_OBJECT
private slots:
    void versionText_data();
    void versionText();
    void showsTitleDescriptionAndVersion();
    void closeButtonHidesTheBox();
};

void TestFrmAbout::versionText_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.0.0") << 1 << 0 << 0 << QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.00");
    QTest::newRow("2.5.3") << 2 << 5 << 3 << QStringLiteral("ﾊﾞｰｼﾞｮﾝ 2.05.3");
    QTest::newRow("1.4.1") << 1 << 4 << 1 << QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.04.1");
    QTest::newRow("minor 12") << 3 << 12 << 0 << QStringLiteral("ﾊﾞｰｼﾞｮﾝ 3.12");
    QTest::newRow("minor 10, no revision") << 2 << 10 << 0 << QStringLiteral("ﾊﾞｰｼﾞｮﾝ 2.10");
    QTest::newRow("revision 10") << 1 << 2 << 10 << QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.02.10");
}

void TestFrmAbout::versionText()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(frmAbout::versionText(major, minor, revision), expected);
}

void TestFrmAbout::showsTitleDescriptionAndVersion()
{
    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    auto *name = about.findChild<QLabel *>(QStringLiteral("sspAppName"));
    auto *description = about.findChild<QLabel *>(QStringLiteral("lblDescription"));
    auto *version = about.findChild<QLabel *>(QStringLiteral("lblVersion"));
    auto *disclaimer = about.findChild<QLabel *>(QStringLiteral("lblDisclaimer"));
    QVERIFY(name && description && version && disclaimer);
    QVERIFY(about.findChild<QWidget *>(QStringLiteral("SSPanel1")));
    QCOMPARE(name->text(), QStringLiteral("Kivrel"));
    QCOMPARE(description->text(), QStringLiteral("TURFNETﾒｰﾙ受信ｿﾌﾄ"));
    // The project is built as version 1.0.0.
    QCOMPARE(version->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.00"));
    QVERIFY(disclaimer->text().contains(QStringLiteral("MIT License")));
    auto *picture = about.findChild<QLabel *>(QStringLiteral("imgIcon"));
    QVERIFY(picture);
    QVERIFY(!picture->pixmap().isNull());
}

void TestFrmAbout::closeButtonHidesTheBox()
{
    frmAbout about;
    about.show();
    auto *ok = about.findChild<QPushButton *>(QStringLiteral("cmdOK"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("閉じる"));
    ok->click();
    QVERIFY(!about.isVisible());
}

QTEST_MAIN(TestFrmAbout)
#include "test_frmabout.moc"
