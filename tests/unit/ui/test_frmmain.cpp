#include "ui/frmmain.h"

#include "../dialup/fakedialupservice.h"
#include "core/cp932.h"
#include "core/inifile.h"
#include "core/settings.h"
#include "download/weeklychecktimer.h"
#include "platform/messagebox.h"
#include "lzhsample.h"
#include "testsupport.h"
#include "ui/filegrid.h"
#include "ui/frmabout.h"
#include "ui/filegridmodel.h"
#include "ui/frmdir.h"
#include "download/restorefrombackup.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

struct Line {
    QString handled, mailDate, fileName, uid, description;
};

using TestFiles::loggedMail;
using TestFiles::RecordEnd;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(TestFiles::write(path, bytes));
}

// Whole archives as the service sends them, and their base64 text in a log.
const QByteArray ArchiveMan = LzhSample::stored("CC.TXT", "Man");
const QByteArray ArchiveMa = LzhSample::stored("CC.TXT", "Ma");
const QByteArray ArchiveManText = ArchiveMan.toBase64();
const QByteArray ArchiveMaText = ArchiveMa.toBase64();

// Profiles whose listing takes a while: `during` runs meanwhile.
struct SlowDialup : FakeDialupService {
    std::function<void()> during;
    QStringList listEntries() override
    {
        if (during)
            during();
        return {};
    }
};

} // namespace

class TestFrmMain : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempProgramFolder> m_home;
    QString folder(int j) const { return m_home->file(QStringLiteral("save%1").arg(j)); }
    void putFile(int j, const QString &name, const QByteArray &content = "data")
    {
        writeFile(folder(j) + QLatin1Char('/') + name, content);
    }
    void writeList(const QList<Line> &lines)
    {
        QString text;
        for (const Line &l : lines)
            text += l.handled + u'\t' + l.mailDate + u'\t' + l.fileName + u'\t' + l.uid + u'\t' + l.description +
                    QStringLiteral("\r\n");
        writeFile(m_home->file(QStringLiteral("Kivrel.dat")), Cp932::encode(text));
    }
    int rowOf(frmMain &w, const QString &fileName) const
    {
        for (int r = 1; r < w.faList()->rowCount(); ++r)
            if (w.faList()->cellText(r, frmMain::ColFileName) == fileName)
                return r;
        return -1;
    }
    static bool enabled(frmMain &w, const char *name)
    {
        return w.findChild<QAction *>(QLatin1String(name))->isEnabled();
    }

private slots:
    void init();
    void cleanup();
    void loadLaysOutGrid_data();
    void loadLaysOutGrid();
    void menusAndButtons();
    void geometrySurvivesReopen();
    void geometryFromIni_data();
    void geometryFromIni();
    void maximisedCloseKeepsStoredGeometry();
    void listCommandsFollowSelection_data();
    void listCommandsFollowSelection();
    void newRowsBold_data();
    void newRowsBold();
    void storedMailsGiveTheRowsOfARebuild_data();
    void storedMailsGiveTheRowsOfARebuild();
    void selectAll();
    void send_data();
    void send();
    void removeDropsEveryCaseOfTheId();
    void webPagesComeFromTheSettingsFile();
    void showProgress_data();
    void showProgress();
    void downloadRefusedWhileBusy();
    void automaticMode();
    void rightClickShowsListMenu();
    void restoreCommandCounts();
    void noCommandInsideAWait_data();
    void noCommandInsideAWait();
    void closingDuringARunClosesAfterIt();
};

void TestFrmMain::init()
{
    m_home = std::make_unique<TempProgramFolder>();
    Settings = SettingsRecord{};
    for (int j = 0; j < 4; ++j) {
        Settings.SaveFolder[j] = folder(j);
        QDir().mkpath(folder(j));
    }
    MessageBox::clearAnswers();
    MessageBox::history().clear();
    frmDir::setTestAnswer(std::nullopt);
}

void TestFrmMain::cleanup()
{
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    frmDir::setTestAnswer(std::nullopt);
    m_home.reset();
}

void TestFrmMain::loadLaysOutGrid_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("downloadEnabled");
    QTest::newRow("no server") << QString() << false;
    QTest::newRow("server") << QStringLiteral("pop.example.jp") << true;
}

void TestFrmMain::loadLaysOutGrid()
{
    QFETCH(QString, server);
    QFETCH(bool, downloadEnabled);
    Settings.ServerName = server;
    frmMain w;
    QCOMPARE(w.windowTitle(), frmMainText::Title);
    FileGrid *grid = w.faList();
    QCOMPARE(grid->rowCount(), 1);
    QCOMPARE(grid->columnCount(), 6);
    QHeaderView *header = grid->view()->horizontalHeader();
    QVERIFY(header->isSectionHidden(0));
    QVERIFY(header->isSectionHidden(1));
    for (int c = 2; c <= 5; ++c)
        QVERIFY(!header->isSectionHidden(c));
    QCOMPARE(grid->cellText(0, 2), QString());
    QCOMPARE(grid->cellText(0, 3), QStringLiteral("ﾃﾞｰﾀ内容"));
    QCOMPARE(grid->cellText(0, 4), QStringLiteral("ﾌｧｲﾙ名"));
    QCOMPARE(grid->cellText(0, 5), QStringLiteral("ﾒｰﾙの日付"));
    QCOMPARE(w.DownloadEnabled(), downloadEnabled);
    QCOMPARE(w.findChild<QToolButton *>("SSCommand1")->isEnabled(), downloadEnabled);
    QCOMPARE(enabled(w, "mnuDownload"), downloadEnabled);
    QCOMPARE(enabled(w, "mnuDownloadAll"), downloadEnabled);
}

void TestFrmMain::menusAndButtons()
{
    frmMain w;
    const QList<QPair<const char *, QString>> items = {
        {"mnuDownload", "ﾀﾞｳﾝﾛｰﾄﾞ実行(&D)"},
        {"mnuDownloadAll", "既読ﾒｰﾙも含めてﾀﾞｳﾝﾛｰﾄﾞ実行(&A)"},
        {"mnuFileListSelectAll", "すべて選択(&E)"},
        {"mnuFileListSend", "ﾃﾞｰﾀﾌｧｲﾙをﾌｫﾙﾀﾞに送る(&S)..."},
        {"mnuFileRestore", "受信ﾛｸﾞからﾌｧｲﾙを復元(&R)"},
        {"mnuFileListDelete", "ﾘｽﾄから削除(&L)"},
        {"mnuFileExit", "終了(&X)"},
        {"mnuSetting", "設定(&P)"},
        {"mnuHelpShow", "使い方の説明(&H)"},
        {"mnuHelpTURFNET_HP", "TURFNETホームページ"},
        {"mnuHelpTURFNET_add", "TURFNET利用権購入/追加購入ｺｰﾅｰ"},
        {"mnuHelpZemHP", "Kivrel ﾕｰｻﾞｰｻﾎﾟｰﾄﾎｰﾑﾍﾟｰｼﾞ(Zemのページ)"},
        {"mnuHelpAbout", "ﾊﾞｰｼﾞｮﾝ情報(&A)..."},
        {"mnuListSelectAll", "すべて選択(&E)"},
        {"mnuListSend", "ﾃﾞｰﾀﾌｧｲﾙをﾌｫﾙﾀﾞに送る(&S)..."},
        {"mnuListFileRestore", "受信ﾛｸﾞからﾌｧｲﾙを復元(&R)"},
        {"mnuListDelete", "ﾘｽﾄから削除(&L)"},
    };
    for (const auto &[name, text] : items) {
        QAction *a = w.findChild<QAction *>(QLatin1String(name));
        QVERIFY2(a, name);
        QCOMPARE(a->text(), text);
    }
    QCOMPARE(w.findChild<QAction *>("mnuFileListSelectAll")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
    const QStringList buttons = {"ﾀﾞｳﾝﾛｰﾄﾞ", "設定", "ﾍﾙﾌﾟ", "終了"};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(w.findChild<QToolButton *>(QStringLiteral("SSCommand%1").arg(i + 1))->text(), buttons[i]);
    QCOMPARE(w.findChild<QPushButton *>("cmdDialupAbort")->text(), QStringLiteral("ｷｬﾝｾﾙ(&C)"));
    QVERIFY(w.findChild<QPushButton *>("cmdDialupAbort")->isHidden());
    QVERIFY(w.findChild<QProgressBar *>("sspProgress")->isHidden());
    QVERIFY(w.findChild<QLabel *>("sspGlove"));
    QVERIFY(w.findChild<QLabel *>("elaStatusMessage"));
    // The pop-up menu is not in the menu bar.
    for (QAction *a : w.menuBar()->actions())
        QVERIFY(a->text() != QStringLiteral("ﾘｽﾄ"));
}

void TestFrmMain::geometrySurvivesReopen()
{
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(210, 165);
        w.resize(600, 405);
        QVERIFY(w.close());
    }
    QCOMPARE(ReadIniValue("Move", "Left", QVariant()).toString(), QStringLiteral("3150"));
    QCOMPARE(ReadIniValue("Move", "Width", QVariant()).toString(), QStringLiteral("9000"));
    frmMain again;
    QCOMPARE(again.pos(), QPoint(210, 165));
    QCOMPARE(again.size(), QSize(600, 405));
}

void TestFrmMain::geometryFromIni_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QRect>("expected"); // -1: the design value
    QTest::newRow("all numbers") << "Left=1500\r\nTop=3000\r\nWidth=9000\r\nHeight=6000" << QRect(100, 200, 600, 400);
    QTest::newRow("not a number keeps the design value") << "Left=abc\r\nWidth=9000" << QRect(-1, -1, 600, -1);
    QTest::newRow("empty reads as 0") << "Left=\r\nTop=15" << QRect(0, 1, -1, -1);
    QTest::newRow("decimal twips") << "Left=150.4\r\nTop=-300" << QRect(10, -20, -1, -1);
    QTest::newRow("huge value stays in range") << "Left=1e30" << QRect(32767, -1, -1, -1);
}

void TestFrmMain::geometryFromIni()
{
    QFETCH(QString, ini);
    QFETCH(QRect, expected);
    QRect design;
    {
        frmMain plain;
        design = QRect(plain.pos(), plain.size());
    }
    QFile::remove(iniFilePath());
    writeFile(iniFilePath(), ("[Move]\r\n" + ini + "\r\n").toLatin1());
    frmMain w;
    QCOMPARE(w.x(), expected.left() == -1 ? design.x() : expected.left());
    QCOMPARE(w.y(), expected.top() == -1 ? design.y() : expected.top());
    if (expected.width() != -1)
        QCOMPARE(w.width(), expected.width());
}

void TestFrmMain::maximisedCloseKeepsStoredGeometry()
{
    const QByteArray stored = "[Move]\r\nLeft=1500\r\nTop=1500\r\nWidth=9000\r\nHeight=6000\r\n";
    writeFile(iniFilePath(), stored);
    frmMain w;
    w.showMaximized();
    QVERIFY(w.isMaximized());
    QVERIFY(w.close());
    QCOMPARE(TestFiles::read(iniFilePath()), stored);
}

void TestFrmMain::listCommandsFollowSelection_data()
{
    QTest::addColumn<QStringList>("select");
    QTest::addColumn<bool>("send");
    QTest::addColumn<bool>("others");
    QTest::newRow("heading only") << QStringList{} << false << false;
    QTest::newRow("absent files only") << QStringList{"B.LZH", "-"} << false << true;
    QTest::newRow("present in folder 3 only") << QStringList{"A.LZH"} << true << true;
    QTest::newRow("present and absent") << QStringList{"B.LZH", "A.LZH"} << true << true;
}

void TestFrmMain::listCommandsFollowSelection()
{
    QFETCH(QStringList, select);
    QFETCH(bool, send);
    QFETCH(bool, others);
    putFile(3, "A.LZH");
    writeList({{"1999/12/24 8:05:09", "1999/12/24", "A.LZH", "u1", "a"},
               {"1999/12/23 8:05:09", "1999/12/23", "B.LZH", "u2", "b"},
               {"1999/12/22 8:05:09", "1999/12/22", "-", "u3", "notice"}});
    frmMain w;
    FileGrid *grid = w.faList();
    QCOMPARE(grid->cellText(rowOf(w, "A.LZH"), frmMain::ColMark), QStringLiteral(" "));
    QVERIFY(!grid->cellPicture(rowOf(w, "A.LZH"), frmMain::ColMark).isNull());
    QCOMPARE(grid->cellText(rowOf(w, "B.LZH"), frmMain::ColMark), QString());
    // Start from a selection of everything, then the case's selection.
    grid->setCurrentRow(1);
    grid->extendSelection(3);
    grid->clearSelection();
    for (const QString &name : select)
        grid->setRowSelected(rowOf(w, name), true);
    for (const char *name : {"mnuFileListSend", "mnuListSend"})
        QCOMPARE(enabled(w, name), send);
    for (const char *name : {"mnuFileRestore", "mnuFileListDelete", "mnuListFileRestore", "mnuListDelete"})
        QCOMPARE(enabled(w, name), others);
}

void TestFrmMain::newRowsBold_data()
{
    QTest::addColumn<QString>("lastDLDate");
    QTest::addColumn<bool>("newerBold");
    QTest::newRow("between the two") << "2000/01/01 00:00:00" << true;
    QTest::newRow("invalid: now") << "not a date" << false;
    QTest::newRow("absent: now") << QString() << false;
}

void TestFrmMain::newRowsBold()
{
    QFETCH(QString, lastDLDate);
    QFETCH(bool, newerBold);
    if (!lastDLDate.isNull())
        WriteIniValue("Config", "LastDLDate", lastDLDate);
    writeList({{"1999/12/24 8:05:09", "1999/12/24 7:00:00", "OLD.LZH", "u1", "old"},
               {"2001/01/02 10:00:00", "2001/01/02 9:30:00", "NEW.LZH", "u2", "new"}});
    frmMain w;
    FileGrid *grid = w.faList();
    // Newest first.
    QCOMPARE(grid->cellText(1, frmMain::ColFileName), QStringLiteral("NEW.LZH"));
    QCOMPARE(grid->cellText(1, frmMain::ColHandled), QStringLiteral("2001/01/02 10:00:00"));
    QCOMPARE(grid->cellText(1, frmMain::ColMailDate), QStringLiteral("2001/01/02 09:30"));
    QCOMPARE(grid->cellText(1, frmMain::ColUid), QStringLiteral("u2"));
    for (int c = 0; c <= 5; ++c) {
        QCOMPARE(grid->cellBold(1, c), newerBold && c >= 3);
        QVERIFY(!grid->cellBold(2, c));
    }
}

void TestFrmMain::selectAll()
{
    {
        frmMain empty;
        QSignalSpy changed(empty.faList(), &FileGrid::selChange);
        empty.findChild<QAction *>("mnuFileListSelectAll")->trigger();
        QCOMPARE(empty.faList()->selectedRowCount(), 0);
        QCOMPARE(empty.faList()->currentRow(), 0);
        QVERIFY(changed.isEmpty());
    }
    writeList({{"1999/12/24 8:05:09", "1999/12/24", "A.LZH", "u1", "a"},
               {"1999/12/23 8:05:09", "1999/12/23", "B.LZH", "u2", "b"}});
    frmMain w;
    w.findChild<QAction *>("mnuListSelectAll")->trigger();
    QCOMPARE(w.faList()->selectedRows(), (QList<int>{1, 2}));
}

void TestFrmMain::send_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancelled") << true;
    QTest::newRow("chosen") << false;
}

void TestFrmMain::send()
{
    QFETCH(bool, cancel);
    const QString dest = m_home->file("dest");
    QDir().mkpath(dest);
    WriteIniValue("Config", "SendFolder", "/previous");
    putFile(0, "A.LZH");
    putFile(1, "B.LZH");
    writeList({{"1999/12/24 8:05:09", "1999/12/24", "A.LZH", "u1", "a"},
               {"1999/12/23 8:05:09", "1999/12/23", "B.LZH", "u2", "b"},
               {"1999/12/22 8:05:09", "1999/12/22", "C.LZH", "u3", "absent"}});
    frmMain w;
    frmDir::setTestAnswer(cancel ? QString() : dest);
    w.faList()->setCurrentRow(1);
    w.faList()->extendSelection(3);
    w.findChild<QAction *>("mnuListSend")->trigger();
    if (cancel) {
        QCOMPARE(QDir(dest).entryList(QDir::Files), QStringList());
        QCOMPARE(ReadIniValue("Config", "SendFolder", "/").toString(), QStringLiteral("/previous"));
        return;
    }
    QCOMPARE(ReadIniValue("Config", "SendFolder", "/").toString(), dest);
    QCOMPARE(QDir(dest).entryList(QDir::Files), (QStringList{"A.LZH", "B.LZH"}));
    QVERIFY(MessageBox::history().isEmpty());
}

void TestFrmMain::removeDropsEveryCaseOfTheId()
{
    writeList({{"1999/12/24 8:05:09", "1999/12/24", "A.LZH", "AbC", "a"},
               {"1999/12/23 8:05:09", "1999/12/23", "B.LZH", "x", "b"},
               {"1999/12/22 8:05:09", "1999/12/22", "C.LZH", "abc", "c"}});
    putFile(0, "A.LZH");
    frmMain w;
    w.faList()->setRowSelected(rowOf(w, "A.LZH"), true);
    w.findChild<QAction *>("mnuFileListDelete")->trigger();
    const QString file = Cp932::decode(TestFiles::read(m_home->file("Kivrel.dat")));
    QVERIFY2(!file.contains("abc", Qt::CaseInsensitive), qPrintable(file));
    QVERIFY(file.contains("B.LZH"));
    QCOMPARE(w.faList()->rowCount(), 2);
    QCOMPARE(w.faList()->cellText(1, frmMain::ColFileName), QStringLiteral("B.LZH"));
    QCOMPARE(w.faList()->selectedRowCount(), 0);
    QCOMPARE(w.readList().ReadCount(), 1);
    // The data file itself stays.
    QVERIFY(QFile::exists(folder(0) + "/A.LZH"));
    // With the selection gone, the list commands are off.
    QVERIFY(!enabled(w, "mnuFileListDelete"));
}

void TestFrmMain::showProgress_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("received");
    QTest::addColumn<int>("percent"); // -1: hidden
    QTest::newRow("no total") << qint64(0) << qint64(5) << -1;
    QTest::newRow("negative total") << qint64(-1) << qint64(5) << -1;
    QTest::newRow("more than the total") << qint64(100) << qint64(150) << 100;
    QTest::newRow("half rounds to even, down") << qint64(200) << qint64(5) << 2;
    QTest::newRow("half rounds to even, up") << qint64(200) << qint64(3) << 2;
    QTest::newRow("99.5 becomes 100") << qint64(1000) << qint64(995) << 100;
    QTest::newRow("just below half") << qint64(1000) << qint64(494) << 49;
    QTest::newRow("beyond 32 bits") << qint64(8000000000) << qint64(4000000000) << 50;
}

void TestFrmMain::showProgress()
{
    QFETCH(qint64, total);
    QFETCH(qint64, received);
    QFETCH(int, percent);
    frmMain w;
    auto *gauge = w.findChild<QProgressBar *>("sspProgress");
    auto *status = w.findChild<QLabel *>("elaStatusMessage");
    w.ShowProgress("X.LZH", 100, 10); // shown before
    w.ShowProgress("CC991224.LZH", total, received);
    if (percent < 0) {
        QVERIFY(gauge->isHidden());
        QCOMPARE(status->text(), QString());
        return;
    }
    QVERIFY(!gauge->isHidden());
    QCOMPARE(gauge->value(), percent);
    QCOMPARE(status->text(), QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ中... %1bytes  CC991224.LZH").arg(received));
    const QPalette::ColorRole role = percent > 49 ? QPalette::HighlightedText : QPalette::ButtonText;
    QCOMPARE(gauge->palette().color(QPalette::Text), QApplication::palette().color(role));
}

void TestFrmMain::downloadRefusedWhileBusy()
{
    Settings.ServerName = "pop.example.jp";
    frmMain w;
    w.setBusy(true);
    w.findChild<QAction *>("mnuDownloadAll")->trigger();
    w.findChild<QToolButton *>("SSCommand1")->click();
    QVERIFY(ReadIniValue("Config", "LastDLDate", QString()).isNull()); // no run started
    QVERIFY(!w.DownloadAll);
    w.setBusy(false);
    w.findChild<QAction *>("mnuDownload")->trigger();
    QVERIFY(!ReadIniValue("Config", "LastDLDate", QString()).isNull());
    QVERIFY(!w.isBusy());
}

void TestFrmMain::automaticMode()
{
    Settings.ServerName = "pop.example.jp";
    frmMain w;
    w.setAutomaticMode();
    QCOMPARE(w.windowTitle(), QStringLiteral("Kivrel \uFF0D 自動モード"));
    for (int i = 1; i <= 4; ++i)
        QVERIFY(!w.findChild<QToolButton *>(QStringLiteral("SSCommand%1").arg(i))->isEnabled());
    QVERIFY(enabled(w, "mnuDownload"));
    QVERIFY(enabled(w, "mnuSetting"));
}

void TestFrmMain::rightClickShowsListMenu()
{
    writeList({{"1999/12/24 8:05:09", "1999/12/24", "A.LZH", "u1", "a"}});
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *menu = w.findChild<QMenu *>("mnuList");
    w.faList_MouseUp(FileGrid::LeftButton, 0, 10, 10);
    QVERIFY(!menu->isVisible());
    w.faList_MouseUp(FileGrid::RightButton, 0, 10, 10);
    QTRY_VERIFY(menu->isVisible());
    menu->hide();
}

void TestFrmMain::restoreCommandCounts()
{
    const QDateTime handled(QDate(1999, 12, 24), QTime(8, 5, 9));
    writeFile(RestoreFromBackup::logPath(handled), loggedMail("CC991224.LZH", ArchiveManText) + RecordEnd);
    writeList({{"1999/12/24 8:05:09", "1999/12/24", "CC991224.LZH", "u1", "cc"},
               {"1999/12/24 8:05:08", "1999/12/24", "-", "u2", "notice"},
               {"1999/12/20 8:05:09", "1999/12/20", "DU991220.LZH", "u3", "no log that day"}});
    frmMain w;
    QVERIFY(w.faList()->cellText(rowOf(w, "CC991224.LZH"), frmMain::ColMark).isEmpty());
    w.faList()->setCurrentRow(1);
    w.faList()->extendSelection(3);

    MessageBox::setNextAnswer(MessageBox::Cancel);
    w.findChild<QAction *>("mnuFileRestore")->trigger();
    QCOMPARE(MessageBox::history().size(), 1);
    QVERIFY(!QFile::exists(folder(0) + "/CC991224.LZH"));

    MessageBox::history().clear();
    MessageBox::setNextAnswer(MessageBox::Ok);
    MessageBox::setNextAnswer(MessageBox::Ok);
    w.findChild<QAction *>("mnuListFileRestore")->trigger();
    QCOMPARE(MessageBox::history().size(), 2);
    QCOMPARE(MessageBox::history()[0].text, QStringLiteral("3件のﾌｧｲﾙを復元しますか？"));
    QCOMPARE(MessageBox::history()[1].text, QStringLiteral("1件のﾌｧｲﾙを復元しました。"));
    QCOMPARE(TestFiles::read(folder(0) + "/CC991224.LZH"), ArchiveMan);
    QCOMPARE(w.faList()->cellText(rowOf(w, "CC991224.LZH"), frmMain::ColMark), QStringLiteral(" "));
    QCOMPARE(w.findChild<QLabel *>("elaStatusMessage")->text(), QString());

    // Refused while a run is busy.
    MessageBox::history().clear();
    MessageBox::setNextAnswer(MessageBox::Ok);
    w.setBusy(true);
    w.findChild<QAction *>("mnuFileRestore")->trigger();
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history()[0].text, frmMainText::RestoreRefusedBusy);
}

void TestFrmMain::noCommandInsideAWait_data()
{
    QTest::addColumn<bool>("settings"); // the settings dialog fetching its entries, else a restore
    QTest::newRow("settings dialog") << true;
    QTest::newRow("restore") << false;
}

void TestFrmMain::noCommandInsideAWait()
{
    QFETCH(bool, settings);
    Settings.ServerName = "127.0.0.1";
    Settings.Port = 1; // a run that got through would fail at once, but write LastDLDate
    const QDateTime handled(QDate(1999, 12, 24), QTime(8, 5, 9));
    writeFile(RestoreFromBackup::logPath(handled),
              loggedMail("CC991224.LZH", ArchiveManText) + RecordEnd + loggedMail("DU991224.LZH", ArchiveMaText) + RecordEnd);
    writeList({{"1999/12/24 8:05:09", "1999/12/24", "CC991224.LZH", "u1", "cc"},
               {"1999/12/24 8:05:08", "1999/12/24", "DU991224.LZH", "u2", "du"}});
    frmMain w;
    w.show();
    w.faList()->setCurrentRow(rowOf(w, "DU991224.LZH"));
    w.faList()->extendSelection(rowOf(w, "DU991224.LZH"));
    int urls = 0;
    frmMain::setUrlOpener([&urls](const QUrl &) { return ++urls > 0; });
    frmDir::setTestAnswer(QString());
    SlowDialup dialup;
    const auto restore = qScopeGuard([] {
        frmMain::setUrlOpener(nullptr);
        MessageBox::setHandler(nullptr);
        DialupService::install(nullptr);
    });

    int pokes = 0;
    QStringList enabledInside;
    bool waitCursor = false;
    const auto poke = [&] {
        if (pokes++ > 0)
            return; // a command that got through waits again
        waitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        // What a run would do to the grid: a newer record first, every row moved down.
        w.readList().PutReadEntry(QDateTime(QDate(1999, 12, 25), QTime(9, 0)), QDateTime(QDate(1999, 12, 25), {}),
                                  "SH991225.LZH", "u3", "sh");
        w.RefreshFileList();
        for (QAction *a : w.findChildren<QAction *>()) {
            if (!a->objectName().startsWith("mnu") || a->menu())
                continue;
            if (a->isEnabled())
                enabledInside << a->objectName();
            a->trigger();
        }
        for (QToolButton *b : w.findChildren<QToolButton *>(QRegularExpression("^SSCommand"))) {
            if (b->isEnabled())
                enabledInside << b->objectName();
            b->click();
        }
        emit w.findChild<WeeklyCheckTimer *>()->due();
        w.close();
        // Should a dialog still open, it must not keep the test waiting.
        QTimer::singleShot(0, [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
    };
    if (settings) {
        dialup.during = poke;
        DialupService::install(&dialup);
        w.findChild<QToolButton *>("SSCommand2")->click();
    } else {
        MessageBox::setHandler([&](const MessageBox::Shown &box) {
            if (box.text.endsWith(frmMainText::RestoreQuestion))
                poke();
            return MessageBox::Ok;
        });
        w.findChild<QAction *>("mnuFileRestore")->trigger();
    }
    QCOMPARE(pokes, 1);
    QCOMPARE(enabledInside, QStringList());
    QCOMPARE(waitCursor, settings);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(urls, 0);
    QVERIFY(!w.findChild<frmAbout *>());
    QVERIFY(ReadIniValue("Config", "LastDLDate", QString()).isNull()); // no run started
    QVERIFY(!w.isVisible());                                           // closed once the wait was over
    QVERIFY(w.findChild<QToolButton *>("SSCommand2")->isEnabled());
    QVERIFY(enabled(w, "mnuSetting"));
    // The file chosen before the wait is the one restored.
    QCOMPARE(TestFiles::read(folder(0) + "/DU991224.LZH"), settings ? QByteArray() : ArchiveMa);
    QVERIFY(!QFile::exists(folder(0) + "/CC991224.LZH"));
    QCOMPARE(w.readList().ReadCount(), 3); // nothing removed from the list
}

void TestFrmMain::closingDuringARunClosesAfterIt()
{
    // A server that greets and then never answers USER: the run waits.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    Settings.ServerName = "127.0.0.1";
    Settings.Port = server.serverPort();
    Settings.UserName = "user";
    Settings.PassWord = "secret";
    frmMain w;
    w.show();
    bool visibleAfterClose = false;
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket *client = server.nextPendingConnection();
        client->write("+OK ready\r\n");
        connect(client, &QTcpSocket::readyRead, client, [&, client] {
            const QByteArray line = client->readAll();
            if (line.startsWith("CAPA"))
                client->write("-ERR\r\n");
            if (!line.startsWith("USER"))
                return;
            w.close();
            visibleAfterClose = w.isVisible();
            w.mnuHelpAbout_Click(); // a second click only raises the box
            w.mnuHelpAbout_Click();
        });
    });
    w.findChild<QToolButton *>("SSCommand1")->click();
    QVERIFY(visibleAfterClose);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.isBusy());
    QCOMPARE(w.lastRunExitCode(), ExitCode::CouldNotRun);
    QCOMPARE(w.findChildren<frmAbout *>().size(), 1);
}

QTEST_MAIN(TestFrmMain)
#include "test_frmmain.moc"

void TestFrmMain::webPagesComeFromTheSettingsFile()
{
    QList<QUrl> opened;
    frmMain::setUrlOpener([&](const QUrl &url) {
        opened << url;
        return true;
    });
    QVERIFY(
        WriteIniValue(frmMainUrl::Section, frmMainUrl::MakerHomeKey, QStringLiteral("https://support.example.org/")));
    frmMain w;
    w.findChild<QAction *>("mnuHelpTURFNET_HP")->trigger();
    w.findChild<QAction *>("mnuHelpZemHP")->trigger();
    frmMain::setUrlOpener(nullptr);
    QCOMPARE(opened,
             (QList<QUrl>{QUrl(frmMainUrl::TurfnetHome), QUrl(QStringLiteral("https://support.example.org/"))}));
}

void TestFrmMain::storedMailsGiveTheRowsOfARebuild_data()
{
    // "uid|handled time|file name", one mail after another; "LastDLDate|time": a new run starts
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("a new mail, the latest") << QStringList{"UIDN|2026/12/09 10:00:00|DU261209.LZH"};
    QTest::newRow("a stored mail again, now the latest") << QStringList{"uid2|2026/12/09 10:00:00|SH261209.LZH"};
    QTest::newRow("the latest stored again") << QStringList{"UID3|2026/12/09 10:00:00|KK261209.LZH"};
    QTest::newRow("older than some rows") << QStringList{"UIDN|2000/06/01 00:00:00|-"};
    QTest::newRow("older than all rows") << QStringList{"UIDN|1998/01/01 00:00:00|-"};
    QTest::newRow("as old as a row") << QStringList{"UIDN|2000/01/01 08:00:00|-"};
    QTest::newRow("a stored mail, now older") << QStringList{"UID3|1998/01/01 00:00:00|-"};
    QTest::newRow("a stored mail, a little older") << QStringList{"UID2|2000/06/01 00:00:00|-"};
    QTest::newRow("a run of mails") << QStringList{
        "UIDA|2026/12/09 10:00:00|DU261209.LZH", "UIDB|2026/12/09 10:00:00|A-WIDER-NAME-THAN-ALL.LZH",
        "UID1|2026/12/09 10:00:01|-", "UIDA|2026/12/09 10:00:02|DU261209.LZH"};
    QTest::newRow("the next run's mail") << QStringList{"UIDA|2026/12/05 10:00:00|-", "LastDLDate|2026/12/09 09:00:00",
                                                        "UIDB|2026/12/09 10:00:00|-"};
}

// One row added or moved per stored mail must leave the grid as rebuilding it
// from the list would: same rows in the same order, same marks, bold and widths.
void TestFrmMain::storedMailsGiveTheRowsOfARebuild()
{
    QFETCH(QStringList, stored);
    writeList({{"2000/01/01 8:00:00", "2000/01/01 7:00", "DU000101.LZH", "UID1", "one"},
               {"2001/01/01 8:00:00", "2001/01/01 7:00", "SH010101.LZH", "UID2", "two"},
               {"2002/01/01 8:00:00", "2002/01/01 7:00", "-", "UID3", "three"}});
    putFile(0, QStringLiteral("DU261209.LZH"));
    WriteIniValue(QStringLiteral("Config"), QStringLiteral("LastDLDate"), QStringLiteral("2026/12/01 00:00:00"));
    frmMain w;
    QAbstractItemModelTester tester(w.faList()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString &mail : stored) {
        const QStringList f = mail.split(u'|');
        if (f[0] == QLatin1String("LastDLDate")) {
            WriteIniValue(QStringLiteral("Config"), f[0], f[1]);
            continue;
        }
        const QDateTime handled = QDateTime::fromString(f[1], QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        const int index = w.readList().PutReadEntry(handled, handled, f[2], f[0], QStringLiteral("d ") + f[0]);
        w.RefreshFileListEntry(index);
    }
    const auto cells = [&w] {
        QStringList out;
        FileGrid *g = w.faList();
        for (int r = 0; r < g->rowCount(); ++r)
            for (int c = 0; c < g->columnCount(); ++c)
                out << g->cellText(r, c) + (g->cellBold(r, c) ? QStringLiteral("*") : QString()) +
                           (g->cellPicture(r, c).isNull() ? QString() : QStringLiteral("#"));
        return out;
    };
    const QStringList stepByStep = cells();
    QList<int> widths;
    for (int c = 0; c < w.faList()->columnCount(); ++c)
        widths << w.faList()->columnWidth(c);
    w.RefreshFileList();
    QCOMPARE(stepByStep, cells());
    for (int c = 0; c < w.faList()->columnCount(); ++c)
        QVERIFY2(widths[c] >= w.faList()->columnWidth(c), qPrintable(QStringLiteral("column %1").arg(c)));
}
