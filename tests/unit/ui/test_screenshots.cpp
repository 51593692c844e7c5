#include "core/datakinds.h"
#include "core/settings.h"
#include "testsupport.h"
#include "ui/frmabout.h"
#include "ui/frmdir.h"
#include "ui/frmsetting.h"

#include <QDir>
#include <QFontDatabase>
#include <QTabWidget>
#include <QtTest>

// Pictures of the windows for review, saved as build artefacts: into
// $KIVREL_ARTIFACT_DIR, else the build folder's "screenshots" folder. Runs
// offscreen or under Xvfb alike.
class TestScreenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void settingsDialogPages_data();
    void settingsDialogPages();
    void aboutBox();
    void folderPicker();

private:
    QString m_outDir;
    std::unique_ptr<TempProgramFolder> m_home;
    void save(QWidget &window, const QString &name);
};

void TestScreenshots::initTestCase()
{
    m_outDir = qEnvironmentVariable("KIVREL_ARTIFACT_DIR");
    const bool forCi = !m_outDir.isEmpty();
    if (m_outDir.isEmpty()) // the test program lives in <build>/tests
        m_outDir = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../screenshots"));
    QVERIFY(QDir().mkpath(m_outDir));

    // Without a Japanese font every caption would be empty boxes.
    if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty()) {
        if (forCi)
            QFAIL("no Japanese font installed (Debian: fonts-noto-cjk)");
        QSKIP("no Japanese font installed (Debian: fonts-noto-cjk)");
    }

    m_home = std::make_unique<TempProgramFolder>();
    InitDataKinds();
    Settings = SettingsRecord();
    Settings.ServerName = QStringLiteral("pop.example.jp");
    Settings.UserName = QStringLiteral("turf0123");
    Settings.PassWord = QStringLiteral("secret");
    Settings.Security = kSecurityTls;
    Settings.Port = SettingsDefaults::kTlsPort;
    Settings.SaveFolder[0] = QStringLiteral("/home/user/TURFNET/data");
    Settings.SaveFolder[1] = QStringLiteral("/media/backup/TURFNET");
    Settings.BackupLog = true;
    Settings.WeeklyCheckEnabled = true;
}

void TestScreenshots::save(QWidget &window, const QString &name)
{
    window.adjustSize();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPixmap picture = window.grab();
    QVERIFY(!picture.isNull());
    QVERIFY(picture.width() > 100 && picture.height() > 100);
    const QString path = QDir(m_outDir).filePath(name);
    QVERIFY2(picture.save(path), qPrintable(path));
    qInfo("saved %s", qPrintable(path));
}

void TestScreenshots::settingsDialogPages_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("internet and mail") << 0;
    QTest::newRow("download") << 1;
    QTest::newRow("weekly check") << 2;
}

void TestScreenshots::settingsDialogPages()
{
    QFETCH(int, page);
    frmSetting dlg;
    dlg.findChild<QTabWidget *>(QStringLiteral("VideoSoftIndexTab1"))->setCurrentIndex(page);
    save(dlg, QStringLiteral("settings-page%1.png").arg(page));
}

void TestScreenshots::aboutBox()
{
    frmAbout about;
    save(about, QStringLiteral("about.png"));
}

void TestScreenshots::folderPicker()
{
    frmDir::setTestDriver([this](frmDir *dlg) {
        dlg->setWindowTitle(frmSetting::FolderPickerTitle);
        save(*dlg, QStringLiteral("folder-picker.png"));
    });
    frmDir::Execute(QDir::homePath());
    frmDir::setTestDriver(nullptr);
    frmDir::destroyInstance();
}

QTEST_MAIN(TestScreenshots)
#include "test_screenshots.moc"
