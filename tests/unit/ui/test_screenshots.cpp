#include "core/cp932.h"
#include "core/datakinds.h"
#include "core/inifile.h"
#include "core/settings.h"
#include "testsupport.h"
#include "ui/frmabout.h"
#include "ui/frmdir.h"
#include "ui/frmmain.h"
#include "ui/frmsetting.h"

#include <QFile>

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
    void mainWindowWithList();

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
    const QString picture = QDir(m_outDir).filePath(QStringLiteral("folder-picker.png"));
    QFile::remove(picture);
    int shown = 0;
    frmDir::setTestDriver([this, &shown](frmDir *dlg) {
        ++shown;
        dlg->setWindowTitle(frmSetting::FolderPickerTitle);
        save(*dlg, QStringLiteral("folder-picker.png"));
    });
    frmDir::Execute(QDir::homePath());
    frmDir::setTestDriver(nullptr);
    frmDir::destroyInstance();
    QCOMPARE(shown, 1);
    QVERIFY(QFileInfo(picture).size() > 0);
}

QTEST_MAIN(TestScreenshots)
#include "test_screenshots.moc"

// The main window over a filled list: present and absent files, a notice,
// and the entries of the latest run in bold.
void TestScreenshots::mainWindowWithList()
{
    const QString save = m_home->file(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(save));
    Settings.SaveFolder[0] = save;
    Settings.SaveFolder[1].clear();
    struct Row {
        const char *handled, *mail, *file, *description;
        bool present;
    };
    const Row rows[] = {
        {"2026/12/04 12:01:10", "2026/12/04 9:00:00", "DU261205.LZH",
         "2026年12月05日 出馬表＋競走馬 日別全場一括 前売分", true},
        {"2026/12/04 12:01:12", "2026/12/04 9:05:00", "SH261204.LZH", "2026年12月04日 成績＋票数 日別全場一括 確定分",
         true},
        {"2026/12/04 12:01:13", "2026/12/04 9:10:00", "-", "サービス権がもうすぐ期限切れになります", false},
        {"2026/11/28 16:31:02", "2026/11/28 16:00:00", "KK261128.LZH", "2026年11月28日 騎手・現役", true},
        {"2026/11/28 16:31:05", "2026/11/28 16:02:00", "D1261129.LZH", "2026年11月29日 出馬表 日別全場一括 前売分",
         false},
        {"2026/11/27 12:30:44", "2026/11/27 12:00:00", "CC261127.LZH", "2026年11月27日 調教師・現役", false},
    };
    QString list;
    for (const Row &r : rows) {
        list += QString::fromUtf8(r.handled) + u'\t' + QString::fromUtf8(r.mail) + u'\t' + QString::fromUtf8(r.file) +
                QStringLiteral("\tuid-") + QString::fromUtf8(r.file) + QString::fromUtf8(r.handled).right(2) + u'\t' +
                QString::fromUtf8(r.description) + QStringLiteral("\r\n");
        if (r.present) {
            QFile f(save + u'/' + QString::fromUtf8(r.file));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }
    QFile dat(m_home->file(QStringLiteral("Kivrel.dat")));
    QVERIFY(dat.open(QIODevice::WriteOnly));
    dat.write(Cp932::encode(list));
    dat.close();
    QVERIFY(
        WriteIniValue(QStringLiteral("Config"), QStringLiteral("LastDLDate"), QStringLiteral("2026/12/04 12:00:00")));

    frmMain window;
    window.ShowStatus(QStringLiteral("新着ﾃﾞｰﾀ 2件 / その他のﾒｰﾙ1件 <通常のﾒｰﾙｿﾌﾄで受信してください>"));
    window.resize(860, 420);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPixmap picture = window.grab();
    QVERIFY(picture.width() > 100 && picture.height() > 100);
    const QString path = QDir(m_outDir).filePath(QStringLiteral("main-window.png"));
    QVERIFY2(picture.save(path), qPrintable(path));
    window.close();
}
