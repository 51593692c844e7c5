#pragma once

#include "platform/messagebox.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

// The settings dialog: the mail account and its connection, dial-up, what
// happens to mails on the server, which kinds of data file to fetch and where
// to keep them, and the weekly checks. Loading fills the controls from
// Settings; OK validates, copies them back and saves; Cancel discards.
// SettingStatus() tells the caller which (1 = OK).
//
// The main window creates it afresh, runs it modally (exec) and deletes it;
// when the program is started only to edit the settings it is shown
// non-modally as the one window.
//
// Every control carries its name as objectName. Groups of like controls are
// numbered from 0 and named name + index: optDialup0/optDialup1,
// txtSaveFolder0..txtSaveFolder3, cmdRef0..cmdRef3, fraTab0..fraTab2,
// optWeeklyCheck0/optWeeklyCheck1, txtWeeklyCheckTime0..2,
// txtWeeklyCheckInterval0..2, txtWeeklyCheckFile0..2.
class frmSetting : public QDialog
{
    Q_OBJECT
public:
    // The dialog's own words.
    static const QString CaptionSuffix; // "の設定"
    static const QString TabCaptions; // "ｲﾝﾀｰﾈｯﾄとﾒｰﾙ|ﾀﾞｳﾝﾛｰﾄﾞ|定期ﾁｪｯｸ"
    static const QString MsgNoServerName;  // "ﾒｰﾙｻｰﾊﾞｰ名が指定されていません。"
    static const QString MsgNoUserName;    // "ﾕｰｻﾞｰｱｶｳﾝﾄ名が指定されていません。"
    static const QString MsgNoPassword;    // "ﾒｰﾙﾊﾟｽﾜｰﾄﾞが指定されていません。"
    static const QString MsgNoDialupEntry; // "ﾀﾞｲﾔﾙｱｯﾌﾟ接続名が指定されていません。"
    static const QString MsgNoSaveFolder;  // two lines: none given, at least one please
    static const QString MsgFolderMissing; // folder + "は存在しないﾌｫﾙﾀﾞです。作成しますか？"
    static const QString FolderQuestionSuffix;  // title + " ﾀﾞｳﾝﾛｰﾄﾞﾌｫﾙﾀﾞ"
    static const QString MsgCreateFailedPrefix; // "新しいﾌｫﾙﾀﾞ'" + folder + ...
    static const QString MsgCreateFailedSuffix; // ... + "'が作成できませんでした。"
    static const QString MsgBadTime;            // "時:分形式で時刻を指定してください。(例 12:30)"
    static const QString MsgSaveFailed;         // the settings file could not be written
    static const QString ExternalDialerEntry;   // "RCONNECT.EXEでﾀﾞｲﾔﾙｱｯﾌﾟ"
    static const QString FolderPickerTitle;     // "ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの保存先"
    static const QString SecurityTexts[3];      // "なし", "STARTTLS", "SSL/TLS"
    static const QString KeyringCaption;        // chkKeyring
    static const QString VerifyArchivesCaption; // chkVerifyArchives
    static const QString AuthMethodCaption;     // "認証方式(&A)"
    static const QString AuthMethodAuto;        // "自動": the first entry of cboAuthMethod
    static const QString AuthMethodUser;        // the entry of "User"
    static const QString PasswordCommandCaption; // "ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞ(&M)"
    static const QString PasswordCommandTip;
    static const QString TestLoginCaption; // "ﾛｸﾞｲﾝのﾃｽﾄ(&G)"
    static const QString MsgKeyringReadFailed;  // + the keyring's reason
    static const QString MsgKeyringWriteFailed; // + the keyring's reason

    explicit frmSetting(QWidget *parent = nullptr);
    ~frmSetting() override;

    // 1 after OK, 0 after Cancel or any other close.
    int SettingStatus() const { return m_settingStatus; }

    // "１２：３０" -> "12:30": full-width letters, digits, signs and the
    // ideographic space to their half-width forms.
    static QString toHalfWidth(const QString &text);

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;

private slots:
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdRef_Click(int index);
    void optDialup_Click(int index);
    void optWeeklyCheck_Click(int index);
    void cboSecurity_Change(int index);
    void cmdTestLogin_Click();

private:
    QWidget *buildInternetPage();
    // The entry cboAuthMethod shows for a value of the setting.
    static QString authMethodText(const QString &value);
    QWidget *buildDownloadPage();
    QWidget *buildWeeklyCheckPage();
    void Form_Load();
    void loadKinds();
    void loadDialupEntries();
    void saveShownTab();
    bool validate();
    // Every text that Kivrel.ini keeps must survive its code page.
    bool checkStorable();
    bool checkFolders();
    void copyToSettings();
    // The password field and chkKeyring from where the password is kept.
    void loadPassword();
    // Ticked: the password goes into the keyring before the file says so;
    // false (the dialog stays open) when the keyring refuses it.
    bool storePasswordInKeyring();
    // After the file is saved: the keyring entry the settings no longer use.
    void dropOldKeyringEntry(const QString &oldAccount, bool wasInKeyring);
    void txtWeeklyCheckTime_LostFocus(int index);
    // Shows the page that holds the control and puts the focus into it.
    void focusControl(QWidget *control);
    // OK-only box with the program's title and the given icon.
    void tell(const QString &text, MessageBox::Style icon = MessageBox::OkOnly);

    int m_settingStatus = 0;
    bool m_tabSaved = false;
    bool m_checkingTime = false;

    QTabWidget *m_tabs = nullptr;
    QRadioButton *m_optDialup[2] = {};
    QLabel *m_lblDialupEntryName = nullptr;
    QComboBox *m_cboDialupEntryName = nullptr;
    QLineEdit *m_txtServerName = nullptr;
    QLineEdit *m_txtUserName = nullptr;
    QLineEdit *m_txtPassword = nullptr;
    QComboBox *m_cboSecurity = nullptr;
    QSpinBox *m_txtPort = nullptr;
    QCheckBox *m_chkKeyring = nullptr;
    QLineEdit *m_txtPasswordCommand = nullptr;
    QComboBox *m_cboAuthMethod = nullptr;
    QPushButton *m_cmdTestLogin = nullptr;
    QCheckBox *m_chkBackupLog = nullptr;
    QCheckBox *m_chkDeleteDownloadMail = nullptr;
    QCheckBox *m_chkDeleteOldMail = nullptr;
    QCheckBox *m_chkVerifyArchives = nullptr;
    QLineEdit *m_txtKeepDays = nullptr;
    QListWidget *m_lstTarget = nullptr;
    QLineEdit *m_txtSaveFolder[4] = {};
    QRadioButton *m_optWeeklyCheck[2] = {};
    QLineEdit *m_txtWeeklyCheckTime[3] = {};
    QLineEdit *m_txtWeeklyCheckInterval[3] = {};
    QLineEdit *m_txtWeeklyCheckFile[3] = {};
};
