#include "ui/frmsetting.h"

#include "core/datakinds.h"
#include "core/inifile.h"
#include "core/settings.h"
#include "platform/dialupservice.h"
#include "platform/messagebox.h"
#include "testsupport.h"
#include "ui/frmdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {
// Connection profiles without NetworkManager.
class FakeDialup : public DialupService
{
public:
    QStringList entries;
    bool available() override { return true; }
    QStringList listEntries() override { return entries; }
    QStringList activeConnections() override { return {}; }
    bool disconnect(const QString &, QString *) override { return true; }
    int startConnect(const QString &, ConnectDone, QString *) override { return 0; }
    void cancelConnect(int) override {}
};

using Box = MessageBox::Shown;
} // namespace

class TestFrmSetting : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void captionsAndNames();
    void validationStopsAtFirstMissingValue_data();
    void validationStopsAtFirstMissingValue();
    void valueTheFileCannotHoldIsRefused_data();
    void valueTheFileCannotHoldIsRefused();
    void missingFolderIsOfferedForCreation_data();
    void missingFolderIsOfferedForCreation();
    void folderThatCannotBeCreated();
    void timeBoxIsCheckedOnLeaving_data();
    void timeBoxIsCheckedOnLeaving();
    void weeklyCheckSwitchesTheRows();
    void dialupChoiceSwitchesTheEntry();
    void valuesAreConverted_data();
    void valuesAreConverted();
    void kindsAreSelectedByPrefix_data();
    void kindsAreSelectedByPrefix();
    void okStoresEverythingAndSaves();
    void cancelKeepsSettings();
    void shownTabIsKept_data();
    void shownTabIsKept();
    void securityMovesTheUsualPort();
    void dialupEntriesAndExternalDialer();
    void folderButtonUsesThePicker();

private:
    std::unique_ptr<TempProgramFolder> m_home;
    FakeDialup m_dialup;
    // Fills the fields OK needs so that it passes validation.
    void setValid();
    template <class T> static T *child(frmSetting &dlg, const QString &name)
    {
        T *w = dlg.findChild<T *>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    static QLineEdit *edit(frmSetting &dlg, const QString &name) { return child<QLineEdit>(dlg, name); }
    static void clickOk(frmSetting &dlg) { child<QPushButton>(dlg, QStringLiteral("cmdOK"))->click(); }
};

void TestFrmSetting::initTestCase()
{
    InitDataKinds();
    DialupService::install(&m_dialup);
}

void TestFrmSetting::init()
{
    m_home = std::make_unique<TempProgramFolder>();
    Settings = SettingsRecord();
    m_dialup.entries.clear();
    MessageBox::clearAnswers();
    MessageBox::history().clear();
    frmDir::setTestAnswer(std::nullopt);
}

void TestFrmSetting::cleanup()
{
    // Every queued answer must have been asked for.
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    m_home.reset();
}

void TestFrmSetting::setValid()
{
    Settings.ServerName = QStringLiteral("pop.example.jp");
    Settings.UserName = QStringLiteral("user");
    Settings.PassWord = QStringLiteral("secret");
    Settings.SaveFolder[0] = m_home->path();
}

void TestFrmSetting::captionsAndNames()
{
    frmSetting dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Kivrelの設定"));
    auto *tabs = child<QTabWidget>(dlg, QStringLiteral("VideoSoftIndexTab1"));
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("ｲﾝﾀｰﾈｯﾄとﾒｰﾙ"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("定期ﾁｪｯｸ"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(tabs->widget(i)->objectName(), QStringLiteral("fraTab%1").arg(i));
    const QStringList names = {"Frame1",
                               "Frame2",
                               "optDialup0",
                               "optDialup1",
                               "lblDialupEntryName",
                               "cboDialupEntryName",
                               "Label1",
                               "txtServerName",
                               "Label2",
                               "txtUserName",
                               "Label3",
                               "txtPassword",
                               "chkBackupLog",
                               "chkDeleteDownloadMail",
                               "chkDeleteOldMail",
                               "Label7",
                               "txtKeepDays",
                               "Label8",
                               "Label5",
                               "lstTarget",
                               "Label6",
                               "txtSaveFolder3",
                               "cmdRef3",
                               "chkVerifyArchives",
                               "optWeeklyCheck0",
                               "optWeeklyCheck1",
                               "txtWeeklyCheckTime2",
                               "txtWeeklyCheckInterval2",
                               "txtWeeklyCheckFile2",
                               "cboSecurity",
                               "txtPort",
                               "cmdOK",
                               "cmdCancel"};
    for (const QString &name : names)
        QVERIFY2(dlg.findChild<QWidget *>(name), qPrintable(name));
    QCOMPARE(child<QPushButton>(dlg, "cmdCancel")->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QVERIFY(child<QPushButton>(dlg, "cmdOK")->isDefault());
    QCOMPARE(edit(dlg, "txtPassword")->echoMode(), QLineEdit::Password);
}

void TestFrmSetting::validationStopsAtFirstMissingValue_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("dialup");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const QString f = QStringLiteral("FOLDER");
    QTest::newRow("server") << ""
                            << ""
                            << "" << true << ""
                            << "" << frmSetting::MsgNoServerName << "txtServerName";
    QTest::newRow("user") << " "
                          << ""
                          << "" << true << ""
                          << "" << frmSetting::MsgNoUserName << "txtUserName";
    QTest::newRow("password") << "s"
                              << "u"
                              << "" << true << ""
                              << "" << frmSetting::MsgNoPassword << "txtPassword";
    QTest::newRow("dial-up entry") << "s"
                                   << "u"
                                   << "p" << true << ""
                                   << "" << frmSetting::MsgNoDialupEntry << "cboDialupEntryName";
    QTest::newRow("LAN, no entry, no folder") << "s"
                                              << "u"
                                              << "p" << false << ""
                                              << "" << frmSetting::MsgNoSaveFolder << "txtSaveFolder0";
    QTest::newRow("folders only blanks") << "s"
                                         << "u"
                                         << "p" << true << "e"
                                         << "   " << frmSetting::MsgNoSaveFolder << "txtSaveFolder0";
}

void TestFrmSetting::validationStopsAtFirstMissingValue()
{
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, dialup);
    QFETCH(QString, entry);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    Settings.ServerName = server;
    Settings.UserName = user;
    Settings.PassWord = password;
    Settings.UseDialup = dialup;
    Settings.DialupEntryName = entry;
    for (QString &s : Settings.SaveFolder)
        s = folder;
    frmSetting dlg;
    child<QTabWidget>(dlg, "VideoSoftIndexTab1")->setCurrentIndex(2);
    dlg.show();
    clickOk(dlg);
    QCOMPARE(MessageBox::history().size(), 1);
    const Box box = MessageBox::history().first();
    QCOMPARE(box.text, message);
    QCOMPARE(box.style, MessageBox::OkOnly);
    QCOMPARE(box.title, QStringLiteral("Kivrel"));
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.SettingStatus(), 0);
    QCOMPARE(dlg.focusWidget() ? dlg.focusWidget()->objectName() : QString(), focus);
    // The page of the offending control is shown.
    QVERIFY(child<QTabWidget>(dlg, "VideoSoftIndexTab1")->currentWidget()->isAncestorOf(dlg.focusWidget()));
    QVERIFY(!QFile::exists(iniFilePath()) || ReadIniValue("Config", "ServerName", QString()).isNull() ||
            server.isEmpty());
}

void TestFrmSetting::valueTheFileCannotHoldIsRefused_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("field"); // empty: the value is stored as entered
    QTest::addColumn<QString>("character");
    QTest::newRow("save folder") << "txtSaveFolder1"
                                 << "/home/josé"
                                 << "ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの保存先2"
                                 << "é";
    QTest::newRow("dial-up profile") << "cboDialupEntryName"
                                     << "Conexión cableada 1"
                                     << "ﾀﾞｲﾔﾙｱｯﾌﾟ名"
                                     << "ó";
    QTest::newRow("password") << "txtPassword"
                              << "grüße"
                              << "ﾒｰﾙﾊﾟｽﾜｰﾄﾞ"
                              << "ü";
    QTest::newRow("outside the BMP") << "txtServerName"
                                     << "pop\U0001F600.example"
                                     << "ﾒｰﾙPOPｻｰﾊﾞｰ名"
                                     << "\U0001F600";
    QTest::newRow("weekly file pattern") << "txtWeeklyCheckFile2"
                                         << "DUñ*.LZH"
                                         << "定期ﾁｪｯｸ(月曜日)のﾌｧｲﾙ名"
                                         << "ñ";
    QTest::newRow("Japanese and half-width kana are kept") << "txtUserName"
                                                           << "太郎ﾃﾞｰﾀ①"
                                                           << ""
                                                           << "";
}

void TestFrmSetting::valueTheFileCannotHoldIsRefused()
{
    QFETCH(QString, control);
    QFETCH(QString, value);
    QFETCH(QString, field);
    QFETCH(QString, character);
    setValid();
    Settings.UseDialup = true;
    Settings.DialupEntryName = QStringLiteral("LAN");
    Settings.WeeklyCheckEnabled = true;
    frmSetting dlg;
    dlg.show();
    if (auto *box = dlg.findChild<QComboBox *>(control))
        box->setEditText(value);
    else
        edit(dlg, control)->setText(value);
    clickOk(dlg);
    if (field.isEmpty()) {
        QCOMPARE(dlg.SettingStatus(), 1);
        LoadSettings();
        QCOMPARE(Settings.UserName, value);
        return;
    }
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, QStringLiteral("「") + field +
                                                     QStringLiteral("」に保存できない文字「") + character +
                                                     QStringLiteral("」が含まれています。"));
    QCOMPARE(dlg.SettingStatus(), 0);
    QVERIFY(!QFile::exists(iniFilePath()));
    QCOMPARE(dlg.focusWidget() ? dlg.focusWidget()->objectName() : QString(), control);
}

void TestFrmSetting::missingFolderIsOfferedForCreation_data()
{
    QTest::addColumn<MessageBox::Answer>("answer");
    QTest::addColumn<bool>("created");
    QTest::addColumn<bool>("closed");
    QTest::newRow("yes") << MessageBox::Yes << true << true;
    QTest::newRow("no") << MessageBox::No << false << true;
    QTest::newRow("cancel") << MessageBox::Cancel << false << false;
}

void TestFrmSetting::missingFolderIsOfferedForCreation()
{
    QFETCH(MessageBox::Answer, answer);
    QFETCH(bool, created);
    QFETCH(bool, closed);
    setValid();
    const QString missing = m_home->path() + QStringLiteral("/new/data");
    Settings.SaveFolder[0] = QString();
    Settings.SaveFolder[2] = QStringLiteral("  ") + missing + QStringLiteral("/ ");
    frmSetting dlg;
    dlg.show();
    MessageBox::setNextAnswer(answer);
    clickOk(dlg);
    QCOMPARE(MessageBox::history().size(), 1);
    const Box box = MessageBox::history().first();
    // The question names the folder without its final slash.
    QCOMPARE(box.text, missing + QStringLiteral("は存在しないﾌｫﾙﾀﾞです。作成しますか？"));
    QCOMPARE(box.style, MessageBox::YesNoCancel);
    QCOMPARE(box.title, QStringLiteral("Kivrel ﾀﾞｳﾝﾛｰﾄﾞﾌｫﾙﾀﾞ"));
    QCOMPARE(QFileInfo(missing).isDir(), created);
    QCOMPARE(dlg.SettingStatus(), closed ? 1 : 0);
    QCOMPARE(dlg.isVisible(), !closed);
    if (closed) {
        // Stored as typed.
        QCOMPARE(Settings.SaveFolder[2], QStringLiteral("  ") + missing + QStringLiteral("/ "));
        QCOMPARE(ReadIniValue("Config", "SaveFolder3", QString()).toString().trimmed(), missing + "/");
    } else {
        QCOMPARE(dlg.focusWidget()->objectName(), QStringLiteral("txtSaveFolder2"));
        QVERIFY(!QFile::exists(iniFilePath()) || ReadIniValue("Config", "ServerName", QString()).isNull());
    }
}

void TestFrmSetting::folderThatCannotBeCreated()
{
    setValid();
    QFile blocker(m_home->file("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = blocker.fileName() + QStringLiteral("/sub");
    Settings.SaveFolder[1] = folder;
    const QString before = Settings.ServerName;
    frmSetting dlg;
    dlg.show();
    edit(dlg, "txtServerName")->setText(QStringLiteral("other"));
    MessageBox::setNextAnswer(MessageBox::Yes);
    clickOk(dlg);
    QCOMPARE(MessageBox::history().size(), 2);
    const Box failed = MessageBox::history().at(1);
    QCOMPARE(failed.text, QStringLiteral("新しいﾌｫﾙﾀﾞ'") + folder + QStringLiteral("'が作成できませんでした。"));
    QCOMPARE(failed.style, MessageBox::OkOnly | MessageBox::Exclamation);
    QCOMPARE(failed.title, QStringLiteral("Kivrel"));
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.focusWidget()->objectName(), QStringLiteral("txtSaveFolder1"));
    QCOMPARE(Settings.ServerName, before);
}

void TestFrmSetting::timeBoxIsCheckedOnLeaving_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    QTest::newRow("25:99") << "25:99" << true;
    QTest::newRow("letters") << "noon" << true;
    QTest::newRow("12:30") << "12:30" << false;
    QTest::newRow("9:05") << "9:05" << false;
    QTest::newRow("full-width") << "１２：３０" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blanks") << "   " << false;
}

void TestFrmSetting::timeBoxIsCheckedOnLeaving()
{
    QFETCH(QString, text);
    QFETCH(bool, refused);
    Settings.WeeklyCheckEnabled = true;
    frmSetting dlg;
    dlg.show();
    QLineEdit *box = edit(dlg, "txtWeeklyCheckTime1");
    QLineEdit *next = edit(dlg, "txtWeeklyCheckInterval1");
    box->setText(text);
    next->setFocus();
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(box, &leave);
    QCoreApplication::processEvents();
    if (!refused) {
        QVERIFY(MessageBox::history().isEmpty());
        return;
    }
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, QStringLiteral("時:分形式で時刻を指定してください。(例 12:30)"));
    QCOMPARE(MessageBox::history().first().style, MessageBox::OkOnly | MessageBox::Exclamation);
    QCOMPARE(dlg.focusWidget(), box);
    QCOMPARE(box->selectedText(), text);
    // Switching to another window is no leaving of the box.
    MessageBox::history().clear();
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(box, &away);
    QCoreApplication::processEvents();
    QVERIFY(MessageBox::history().isEmpty());
}

void TestFrmSetting::weeklyCheckSwitchesTheRows()
{
    for (bool enabled : {false, true}) {
        Settings.WeeklyCheckEnabled = enabled;
        frmSetting dlg;
        const QList<QLineEdit *> boxes = dlg.findChildren<QLineEdit *>(QRegularExpression("^txtWeeklyCheck"));
        QCOMPARE(boxes.size(), 9);
        QCOMPARE(child<QRadioButton>(dlg, "optWeeklyCheck1")->isChecked(), enabled);
        for (QLineEdit *b : boxes)
            QCOMPARE(b->isEnabled(), enabled);
        child<QRadioButton>(dlg, enabled ? "optWeeklyCheck0" : "optWeeklyCheck1")->click();
        for (QLineEdit *b : boxes)
            QCOMPARE(b->isEnabled(), !enabled);
        QVERIFY(edit(dlg, "txtKeepDays")->isEnabled());
    }
}

void TestFrmSetting::dialupChoiceSwitchesTheEntry()
{
    Settings.UseDialup = false;
    Settings.DialupEntryName = QStringLiteral("typed");
    frmSetting dlg;
    auto *combo = child<QComboBox>(dlg, "cboDialupEntryName");
    auto *label = child<QWidget>(dlg, "lblDialupEntryName");
    QVERIFY(!combo->isEnabled() && !label->isEnabled());
    QCOMPARE(combo->currentText(), QStringLiteral("typed"));
    child<QRadioButton>(dlg, "optDialup1")->click();
    QVERIFY(combo->isEnabled() && label->isEnabled());
    child<QRadioButton>(dlg, "optDialup0")->click();
    QVERIFY(!combo->isEnabled());
    QCOMPARE(combo->currentText(), QStringLiteral("typed"));
}

void TestFrmSetting::valuesAreConverted_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QTime>("storedTime"); // invalid: unset
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("storedInterval");
    QTest::addColumn<QString>("keepDays");
    QTest::addColumn<int>("storedKeepDays");
    QTest::newRow("plain") << "12:30" << QTime(12, 30) << "15" << 15 << "10" << 10;
    QTest::newRow("full-width") << "１２：３０" << QTime(12, 30) << "１５" << 15 << "１４" << 14;
    QTest::newRow("unit after number") << "9:05" << QTime(9, 5) << "15分" << 15 << " 3 " << 3;
    QTest::newRow("not a time, letters") << "25:99" << QTime() << "abc" << 0 << "abc" << 5;
    QTest::newRow("empty") << "" << QTime() << "" << 0 << "" << 5;
    QTest::newRow("halves to even") << "23:59:59" << QTime(23, 59, 59) << "2.5" << 2 << "3.5" << 4;
    QTest::newRow("out of range keeps") << "0:00" << QTime(0, 0) << "99999" << 45 << "40000" << 5;
}

void TestFrmSetting::valuesAreConverted()
{
    QFETCH(QString, time);
    QFETCH(QTime, storedTime);
    QFETCH(QString, interval);
    QFETCH(int, storedInterval);
    QFETCH(QString, keepDays);
    QFETCH(int, storedKeepDays);
    setValid();
    Settings.KeepDays = 5;
    Settings.Interval[2] = 45;
    frmSetting dlg;
    edit(dlg, "txtWeeklyCheckTime2")->setText(time);
    edit(dlg, "txtWeeklyCheckInterval2")->setText(interval);
    edit(dlg, "txtKeepDays")->setText(keepDays);
    edit(dlg, "txtWeeklyCheckFile2")->setText(QStringLiteral("ＳＨ*.LZH"));
    clickOk(dlg);
    QCOMPARE(dlg.SettingStatus(), 1);
    QCOMPARE(Settings.Time[2].has_value(), storedTime.isValid());
    if (storedTime.isValid())
        QCOMPARE(*Settings.Time[2], storedTime);
    QCOMPARE(Settings.Interval[2], storedInterval);
    QCOMPARE(Settings.KeepDays, storedKeepDays);
    // The pattern is stored as typed.
    QCOMPARE(Settings.FileName[2], QStringLiteral("ＳＨ*.LZH"));
}

void TestFrmSetting::kindsAreSelectedByPrefix_data()
{
    QTest::addColumn<QString>("patterns");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QString>("stored");
    QTest::newRow("default") << "DU,DW,DX,DZ,SH,SJ,SQ,KK,CC" << QList<int>{0, 3, 5, 6}
                             << "DU,DV,DW,DX,DY,DZ,SH,SI,SJ,SO,SP,SQ,KK,CC";
    QTest::newRow("lower case") << "du,kk" << QList<int>{0, 5} << "DU,DV,DW,DX,DY,DZ,KK";
    QTest::newRow("substring") << "XXU9" << QList<int>{8} << "T1,U9";
    QTest::newRow("none") << "" << QList<int>{} << "";
    QTest::newRow("unknown codes") << "ZZ,QQ" << QList<int>{} << "";
}

void TestFrmSetting::kindsAreSelectedByPrefix()
{
    QFETCH(QString, patterns);
    QFETCH(QList<int>, rows);
    QFETCH(QString, stored);
    setValid();
    Settings.FileNamePatterns = patterns;
    frmSetting dlg;
    auto *list = child<QListWidget>(dlg, "lstTarget");
    QCOMPARE(list->count(), DataKindCount);
    QCOMPARE(list->item(5)->text(), QStringLiteral("騎手・現役"));
    QList<int> selected;
    for (int k = 0; k < list->count(); ++k) {
        if (list->item(k)->isSelected())
            selected << k;
    }
    QCOMPARE(selected, rows);
    QCOMPARE(list->currentRow(), -1);
    clickOk(dlg);
    QCOMPARE(Settings.FileNamePatterns, stored);
}

void TestFrmSetting::okStoresEverythingAndSaves()
{
    setValid();
    Settings.UseDialup = true;
    Settings.DialupEntryName = QStringLiteral("isp");
    frmSetting dlg;
    dlg.show();
    edit(dlg, "txtServerName")->setText(QStringLiteral(" "));
    edit(dlg, "txtUserName")->setText(QStringLiteral("someone"));
    edit(dlg, "txtPassword")->setText(QStringLiteral("pw"));
    child<QCheckBox>(dlg, "chkBackupLog")->setChecked(true);
    child<QCheckBox>(dlg, "chkDeleteDownloadMail")->setChecked(true);
    child<QCheckBox>(dlg, "chkDeleteOldMail")->setChecked(false);
    QVERIFY(child<QCheckBox>(dlg, "chkVerifyArchives")->isChecked()); // on by default
    child<QCheckBox>(dlg, "chkVerifyArchives")->setChecked(false);
    child<QRadioButton>(dlg, "optWeeklyCheck1")->click();
    clickOk(dlg);
    QVERIFY(MessageBox::history().isEmpty());
    QCOMPARE(dlg.SettingStatus(), 1);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(Settings.ServerName, QStringLiteral(" ")); // one blank passes
    QCOMPARE(Settings.UserName, QStringLiteral("someone"));
    QCOMPARE(Settings.PassWord, QStringLiteral("pw"));
    QVERIFY(Settings.UseDialup);
    QCOMPARE(Settings.DialupEntryName, QStringLiteral("isp"));
    QVERIFY(Settings.BackupLog && Settings.DeleteDownloadMail && !Settings.DeleteOldMail);
    QVERIFY(!Settings.VerifyArchives);
    QVERIFY(Settings.WeeklyCheckEnabled);
    // Saved to the file.
    QCOMPARE(ReadIniValue("Config", "UserName", QString()).toString(), QStringLiteral("someone"));
    QCOMPARE(ReadIniValue("WeeklyCheck", "Enabled", QString()).toString(), QStringLiteral("True"));
}

void TestFrmSetting::cancelKeepsSettings()
{
    setValid();
    frmSetting dlg;
    dlg.show();
    edit(dlg, "txtServerName")->setText(QStringLiteral("changed"));
    child<QPushButton>(dlg, "cmdCancel")->click();
    QCOMPARE(dlg.SettingStatus(), 0);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(Settings.ServerName, QStringLiteral("pop.example.jp"));
    QVERIFY(ReadIniValue("Config", "ServerName", QString()).isNull());
}

void TestFrmSetting::shownTabIsKept_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("status");
    QTest::newRow("cancel") << "cancel" << 0;
    QTest::newRow("close box") << "close" << 0;
    QTest::newRow("escape") << "escape" << 0;
    QTest::newRow("ok") << "ok" << 1;
}

void TestFrmSetting::shownTabIsKept()
{
    QFETCH(QString, how);
    QFETCH(int, status);
    setValid();
    WriteIniValue("Config", "SettingTab", 1);
    {
        frmSetting dlg;
        auto *tabs = child<QTabWidget>(dlg, "VideoSoftIndexTab1");
        QCOMPARE(tabs->currentIndex(), 1);
        dlg.show();
        tabs->setCurrentIndex(2);
        if (how == "cancel")
            child<QPushButton>(dlg, "cmdCancel")->click();
        else if (how == "close")
            dlg.close();
        else if (how == "escape")
            QTest::keyClick(&dlg, Qt::Key_Escape);
        else
            clickOk(dlg);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.SettingStatus(), status);
    }
    QCOMPARE(ReadIniValue("Config", "SettingTab", 0).toInt(), 2);
    frmSetting again;
    QCOMPARE(child<QTabWidget>(again, "VideoSoftIndexTab1")->currentIndex(), 2);
    // A page number that is no page shows the first.
    WriteIniValue("Config", "SettingTab", 7);
    frmSetting odd;
    QCOMPARE(child<QTabWidget>(odd, "VideoSoftIndexTab1")->currentIndex(), 0);
}

void TestFrmSetting::securityMovesTheUsualPort()
{
    setValid();
    frmSetting dlg;
    auto *security = child<QComboBox>(dlg, "cboSecurity");
    auto *port = child<QSpinBox>(dlg, "txtPort");
    QCOMPARE(security->itemText(0), QStringLiteral("なし"));
    QCOMPARE(security->itemText(2), QStringLiteral("SSL/TLS"));
    QCOMPARE(security->currentIndex(), 0);
    QCOMPARE(port->value(), 110);
    security->setCurrentIndex(2);
    QCOMPARE(port->value(), 995);
    security->setCurrentIndex(1);
    QCOMPARE(port->value(), 110);
    port->setValue(2110);
    security->setCurrentIndex(2);
    QCOMPARE(port->value(), 2110);
    clickOk(dlg);
    QCOMPARE(Settings.Security, QStringLiteral("TLS"));
    QCOMPARE(Settings.Port, 2110);

    Settings.Security = QStringLiteral("STARTTLS");
    Settings.Port = 1110;
    frmSetting loaded;
    QCOMPARE(child<QComboBox>(loaded, "cboSecurity")->currentIndex(), 1);
    QCOMPARE(child<QSpinBox>(loaded, "txtPort")->value(), 1110);
}

void TestFrmSetting::dialupEntriesAndExternalDialer()
{
    m_dialup.entries = {QStringLiteral("isp-a"), QStringLiteral("isp-b")};
    Settings.DialupEntryName = QStringLiteral("isp-b");
    Settings.UseDialup = true;
    auto items = [](frmSetting &dlg) {
        auto *combo = child<QComboBox>(dlg, "cboDialupEntryName");
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    };
    {
        frmSetting dlg;
        QCOMPARE(items(dlg), (QStringList{"isp-a", "isp-b"}));
        QCOMPARE(child<QComboBox>(dlg, "cboDialupEntryName")->currentText(), QStringLiteral("isp-b"));
    }
    // The external dialer needs both programs and a connection name for now.
    QTemporaryDir storeDir;
    const QString store = storeDir.filePath("dialer.ini");
    qputenv("KIVREL_DIALER_STORE", store.toLocal8Bit());
    for (const char *name : {"RCONNECT.EXE", "RDISCONN.EXE"}) {
        QFile f(m_home->file(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    {
        frmSetting dlg;
        QCOMPARE(items(dlg).size(), 2); // no connection name configured
    }
    QFile s(store);
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write("[AUTOCONNECT]\nENTRYNAME_TELEHO=tel\nENTRYNAME_NORMAL=tel\n");
    s.close();
    {
        frmSetting dlg;
        QCOMPARE(items(dlg), (QStringList{"isp-a", "isp-b", "RCONNECT.EXEでﾀﾞｲﾔﾙｱｯﾌﾟ"}));
    }
    QFile::remove(m_home->file("RDISCONN.EXE"));
    {
        frmSetting dlg;
        QCOMPARE(items(dlg).size(), 2);
    }
    qunsetenv("KIVREL_DIALER_STORE");
}

void TestFrmSetting::folderButtonUsesThePicker()
{
    Settings.SaveFolder[3] = QStringLiteral("/before");
    frmSetting dlg;
    frmDir::setTestAnswer(QStringLiteral("/chosen"));
    child<QPushButton>(dlg, "cmdRef3")->click();
    QCOMPARE(edit(dlg, "txtSaveFolder3")->text(), QStringLiteral("/chosen"));
    QCOMPARE(frmDir::instance()->windowTitle(), QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの保存先"));
    frmDir::setTestAnswer(QString());
    child<QPushButton>(dlg, "cmdRef3")->click();
    QCOMPARE(edit(dlg, "txtSaveFolder3")->text(), QStringLiteral("/chosen"));
    frmDir::setTestAnswer(std::nullopt);
    frmDir::destroyInstance();
}

QTEST_MAIN(TestFrmSetting)
#include "test_frmsetting.moc"
