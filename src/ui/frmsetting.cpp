#include "ui/frmsetting.h"

#include "core/cp932.h"
#include "core/datakinds.h"
#include "core/datetext.h"
#include "core/inifile.h"
#include "core/pathutil.h"
#include "core/settings.h"
#include "core/token.h"
#include "dialup/cras32.h"
#include "dialup/dialersettings.h"
#include "download/logintest.h"
#include "platform/messagebox.h"
#include "platform/secretstore.h"
#include "pop3/apop.h"
#include "pop3/authchoice.h"
#include "ui/frmdir.h"
#include "ui/iconresources.h"
#include "ui/unstorabletext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

const QString frmSetting::CaptionSuffix = QStringLiteral("の設定");
const QString frmSetting::TabCaptions = QStringLiteral("ｲﾝﾀｰﾈｯﾄとﾒｰﾙ|ﾀﾞｳﾝﾛｰﾄﾞ|定期ﾁｪｯｸ");
const QString frmSetting::MsgNoServerName = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰ名が指定されていません。");
const QString frmSetting::MsgNoUserName = QStringLiteral("ﾕｰｻﾞｰｱｶｳﾝﾄ名が指定されていません。");
const QString frmSetting::MsgNoPassword = QStringLiteral("ﾒｰﾙﾊﾟｽﾜｰﾄﾞが指定されていません。");
const QString frmSetting::MsgNoDialupEntry = QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ接続名が指定されていません。");
const QString frmSetting::MsgNoSaveFolder =
    QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの保存先が指定されていません。\n最低１つは指定してください。");
const QString frmSetting::MsgFolderMissing = QStringLiteral("は存在しないﾌｫﾙﾀﾞです。作成しますか？");
const QString frmSetting::FolderQuestionSuffix = QStringLiteral(" ﾀﾞｳﾝﾛｰﾄﾞﾌｫﾙﾀﾞ");
const QString frmSetting::MsgCreateFailedPrefix = QStringLiteral("新しいﾌｫﾙﾀﾞ'");
const QString frmSetting::MsgCreateFailedSuffix = QStringLiteral("'が作成できませんでした。");
const QString frmSetting::MsgBadTime = QStringLiteral("時:分形式で時刻を指定してください。(例 12:30)");
const QString frmSetting::MsgSaveFailed = QStringLiteral("設定をﾌｧｲﾙに保存できませんでした。");
const QString frmSetting::ExternalDialerEntry = QStringLiteral("RCONNECT.EXEでﾀﾞｲﾔﾙｱｯﾌﾟ");
const QString frmSetting::FolderPickerTitle = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの保存先");
const QString frmSetting::VerifyArchivesCaption = QStringLiteral("受信したLZHﾌｧｲﾙを検査する(&V)");
const QString frmSetting::AuthMethodCaption = QStringLiteral("認証方式(&A)");
const QString frmSetting::AuthMethodAuto = QStringLiteral("自動");
const QString frmSetting::AuthMethodUser = QStringLiteral("USER/PASS");
const QString frmSetting::PasswordCommandCaption = QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞ(&M)");
const QString frmSetting::PasswordCommandTip =
    QStringLiteral("ﾛｸﾞｲﾝのたびに実行し、出力の1行目をﾊﾟｽﾜｰﾄﾞ(またはｱｸｾｽﾄｰｸﾝ)として使います");
const QString frmSetting::TestLoginCaption = QStringLiteral("ﾛｸﾞｲﾝのﾃｽﾄ(&G)");
const QString frmSetting::KeyringCaption = QStringLiteral("ﾊﾟｽﾜｰﾄﾞをﾃﾞｽｸﾄｯﾌﾟのｷｰﾘﾝｸﾞに保存する(&Y)");
const QString frmSetting::MsgKeyringReadFailed = QStringLiteral("ｷｰﾘﾝｸﾞからﾒｰﾙﾊﾟｽﾜｰﾄﾞを読めませんでした。\n");
const QString frmSetting::MsgKeyringWriteFailed = QStringLiteral("ｷｰﾘﾝｸﾞにﾒｰﾙﾊﾟｽﾜｰﾄﾞを保存できませんでした。\n");
const QString frmSetting::SecurityTexts[3] = {QStringLiteral("なし"), QStringLiteral("STARTTLS"),
                                              QStringLiteral("SSL/TLS")};

namespace {
const QString kIniSection = QStringLiteral("Config");
const QString kIniTabKey = QStringLiteral("SettingTab");
const QString kWeeklyCheckPrefix = QStringLiteral("txtWeeklyCheck");
// The values of Settings.Security in the order of the security combo.
const QString *const kSecurityValues[3] = {&kSecurityNone, &kSecurityStartTls, &kSecurityTls};
const QString kDayNames[3] = {QStringLiteral("金曜日"), QStringLiteral("土曜日"), QStringLiteral("月曜日")};

QString displayTitle()
{
    return MessageBox::defaultTitle();
}

QString indexed(const char *name, int index)
{
    return QLatin1String(name) + QString::number(index);
}

QLabel *buddyLabel(const QString &text, const char *name, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

QLineEdit *lineEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

// A time box is accepted when it holds a time of day, or a date with a time.
std::optional<QTime> timeOf(const QString &text)
{
    if (const auto t = parseTime(text))
        return t;
    if (const auto dt = parseDateTime(text))
        return dt->time();
    return std::nullopt;
}

// A whole number in the 16-bit range, halves rounded to the even neighbour;
// nothing when the value does not fit.
std::optional<int> toInt16(double value)
{
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<int>(rounded);
}

// The number a text starts with (blanks first are skipped): "15分" -> 15,
// "abc" -> 0, "1.5" -> 1.5.
double leadingNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'))
        ++i;
    if (i < text.size() && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'))
            ++i;
    }
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0.0;
}

// The whole text as a number ("7", " 7 ", "7.5"); nothing when it is not one.
std::optional<int> wholeTextToInt16(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return toInt16(value);
}
} // namespace

frmSetting::frmSetting(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSetting"));
    setWindowIcon(IconResources::icon(QStringLiteral("settings.svg")));

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("VideoSoftIndexTab1"));
    const QStringList captions = TabCaptions.split(QLatin1Char('|'));
    QWidget *pages[3] = {buildInternetPage(), buildDownloadPage(), buildWeeklyCheckPage()};
    for (int i = 0; i < 3; ++i) {
        pages[i]->setObjectName(indexed("fraTab", i));
        m_tabs->addTab(pages[i], captions.value(i));
    }

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &frmSetting::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmSetting::cmdCancel_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);

    Form_Load();
}

frmSetting::~frmSetting()
{
    // Destroyed while still shown (its owner went away): the page is kept all the same.
    if (isVisible() && !m_tabSaved)
        saveShownTab();
}

QWidget *frmSetting::buildInternetPage()
{
    auto *page = new QWidget;

    auto *frame1 = new QGroupBox(QStringLiteral("ｲﾝﾀｰﾈｯﾄ接続の設定"), page);
    frame1->setObjectName(QStringLiteral("Frame1"));
    m_optDialup[0] = new QRadioButton(QStringLiteral("LANまたはﾙｰﾀを使用してｲﾝﾀｰﾈｯﾄに接続(&L)"), frame1);
    m_optDialup[1] = new QRadioButton(QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ接続(&R)"), frame1);
    m_cboDialupEntryName = new QComboBox(frame1);
    m_cboDialupEntryName->setObjectName(QStringLiteral("cboDialupEntryName"));
    m_cboDialupEntryName->setEditable(true);
    m_cboDialupEntryName->setInsertPolicy(QComboBox::NoInsert);
    m_lblDialupEntryName =
        buddyLabel(QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ名(&E)"), "lblDialupEntryName", m_cboDialupEntryName, frame1);
    auto *entryRow = new QHBoxLayout;
    entryRow->addSpacing(20);
    entryRow->addWidget(m_lblDialupEntryName);
    entryRow->addWidget(m_cboDialupEntryName, 1);
    auto *frame1Layout = new QVBoxLayout(frame1);
    for (int i = 0; i < 2; ++i) {
        m_optDialup[i]->setObjectName(indexed("optDialup", i));
        connect(m_optDialup[i], &QRadioButton::clicked, this, [this, i] { optDialup_Click(i); });
        frame1Layout->addWidget(m_optDialup[i]);
    }
    frame1Layout->addLayout(entryRow);

    auto *frame2 = new QGroupBox(QStringLiteral("ﾒｰﾙの設定"), page);
    frame2->setObjectName(QStringLiteral("Frame2"));
    m_txtServerName = lineEdit(QStringLiteral("txtServerName"), frame2);
    m_txtUserName = lineEdit(QStringLiteral("txtUserName"), frame2);
    m_txtPassword = lineEdit(QStringLiteral("txtPassword"), frame2);
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_cboSecurity = new QComboBox(frame2);
    m_cboSecurity->setObjectName(QStringLiteral("cboSecurity"));
    for (const QString &text : SecurityTexts)
        m_cboSecurity->addItem(text);
    m_txtPort = new QSpinBox(frame2);
    m_txtPort->setObjectName(QStringLiteral("txtPort"));
    m_txtPort->setRange(1, 65535);
    m_txtPort->setGroupSeparatorShown(false);
    connect(m_cboSecurity, &QComboBox::currentIndexChanged, this, &frmSetting::cboSecurity_Change);

    auto *account = new QGridLayout;
    account->addWidget(buddyLabel(QStringLiteral("ﾒｰﾙPOPｻｰﾊﾞｰ名(&S)"), "Label1", m_txtServerName, frame2), 0, 0);
    account->addWidget(m_txtServerName, 0, 1, 1, 3);
    account->addWidget(buddyLabel(QStringLiteral("ｾｷｭﾘﾃｨ(&T)"), "lblSecurity", m_cboSecurity, frame2), 1, 0);
    account->addWidget(m_cboSecurity, 1, 1);
    account->addWidget(buddyLabel(QStringLiteral("ﾎﾟｰﾄ番号(&O)"), "lblPort", m_txtPort, frame2), 1, 2, Qt::AlignRight);
    account->addWidget(m_txtPort, 1, 3);
    account->addWidget(buddyLabel(QStringLiteral("ﾕｰｻﾞｰｱｶｳﾝﾄ名(&U)"), "Label2", m_txtUserName, frame2), 2, 0);
    account->addWidget(m_txtUserName, 2, 1, 1, 3);
    account->addWidget(buddyLabel(QStringLiteral("ﾒｰﾙﾊﾟｽﾜｰﾄﾞ(&P)"), "Label3", m_txtPassword, frame2), 3, 0);
    account->addWidget(m_txtPassword, 3, 1, 1, 3);
    m_chkKeyring = new QCheckBox(KeyringCaption, frame2);
    m_chkKeyring->setObjectName(QStringLiteral("chkKeyring"));
    account->addWidget(m_chkKeyring, 4, 1, 1, 3);
    m_txtPasswordCommand = lineEdit(QStringLiteral("txtPasswordCommand"), frame2);
    m_txtPasswordCommand->setToolTip(PasswordCommandTip);
    account->addWidget(buddyLabel(PasswordCommandCaption, "lblPasswordCommand", m_txtPasswordCommand, frame2), 5, 0);
    account->addWidget(m_txtPasswordCommand, 5, 1, 1, 3);
    m_cboAuthMethod = new QComboBox(frame2);
    m_cboAuthMethod->setObjectName(QStringLiteral("cboAuthMethod"));
    for (const QString &value : AuthChoice::settingValues())
        m_cboAuthMethod->addItem(authMethodText(value));
    m_cmdTestLogin = new QPushButton(TestLoginCaption, frame2);
    m_cmdTestLogin->setObjectName(QStringLiteral("cmdTestLogin"));
    connect(m_cmdTestLogin, &QPushButton::clicked, this, &frmSetting::cmdTestLogin_Click);
    account->addWidget(buddyLabel(AuthMethodCaption, "lblAuthMethod", m_cboAuthMethod, frame2), 6, 0);
    account->addWidget(m_cboAuthMethod, 6, 1);
    account->addWidget(m_cmdTestLogin, 6, 2, 1, 2, Qt::AlignRight);
    account->setColumnStretch(1, 1);

    m_chkBackupLog = new QCheckBox(QStringLiteral("受信ﾛｸﾞをのこす(&B)"), frame2);
    m_chkBackupLog->setObjectName(QStringLiteral("chkBackupLog"));
    m_chkDeleteDownloadMail =
        new QCheckBox(QStringLiteral("添付ﾃﾞｰﾀをﾀﾞｳﾝﾛｰﾄﾞしたTURFNETﾒｰﾙをｻｰﾊﾞｰから削除する(&D)"), frame2);
    m_chkDeleteDownloadMail->setObjectName(QStringLiteral("chkDeleteDownloadMail"));
    m_chkDeleteOldMail = new QCheckBox(QStringLiteral("保管期限を過ぎたTURFNETﾒｰﾙをｻｰﾊﾞｰから削除する(&W)"), frame2);
    m_chkDeleteOldMail->setObjectName(QStringLiteral("chkDeleteOldMail"));
    m_txtKeepDays = lineEdit(QStringLiteral("txtKeepDays"), frame2);
    m_txtKeepDays->setMaximumWidth(60);
    auto *keepRow = new QHBoxLayout;
    keepRow->addSpacing(20);
    keepRow->addWidget(buddyLabel(QStringLiteral("保管期限(&K)"), "Label7", m_txtKeepDays, frame2));
    keepRow->addWidget(m_txtKeepDays);
    keepRow->addWidget(buddyLabel(QStringLiteral("日"), "Label8", nullptr, frame2));
    keepRow->addStretch(1);

    auto *frame2Layout = new QVBoxLayout(frame2);
    frame2Layout->addLayout(account);
    frame2Layout->addWidget(m_chkBackupLog);
    frame2Layout->addWidget(m_chkDeleteDownloadMail);
    frame2Layout->addWidget(m_chkDeleteOldMail);
    frame2Layout->addLayout(keepRow);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(frame1);
    layout->addWidget(frame2);
    layout->addStretch(1);
    return page;
}

QWidget *frmSetting::buildDownloadPage()
{
    auto *page = new QWidget;
    m_lstTarget = new QListWidget(page);
    m_lstTarget->setObjectName(QStringLiteral("lstTarget"));
    m_lstTarget->setSelectionMode(QAbstractItemView::MultiSelection);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(buddyLabel(QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの種類(&I)"), "Label5", m_lstTarget, page));
    layout->addWidget(m_lstTarget, 1);

    auto *folders = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        m_txtSaveFolder[i] = lineEdit(indexed("txtSaveFolder", i), page);
        auto *ref = new QPushButton(QStringLiteral("..."), page);
        ref->setObjectName(indexed("cmdRef", i));
        ref->setAutoDefault(false);
        ref->setMaximumWidth(40);
        connect(ref, &QPushButton::clicked, this, [this, i] { cmdRef_Click(i); });
        folders->addWidget(m_txtSaveFolder[i], i, 0);
        folders->addWidget(ref, i, 1);
    }
    layout->addWidget(buddyLabel(QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの保存先(&F)"), "Label6", m_txtSaveFolder[0], page));
    layout->addLayout(folders);
    m_chkVerifyArchives = new QCheckBox(VerifyArchivesCaption, page);
    m_chkVerifyArchives->setObjectName(QStringLiteral("chkVerifyArchives"));
    layout->addWidget(m_chkVerifyArchives);
    return page;
}

QWidget *frmSetting::buildWeeklyCheckPage()
{
    auto *page = new QWidget;
    m_optWeeklyCheck[1] = new QRadioButton(QStringLiteral("定期ﾁｪｯｸする(&C)"), page);
    m_optWeeklyCheck[0] = new QRadioButton(QStringLiteral("定期ﾁｪｯｸしない(&N)"), page);

    auto *layout = new QVBoxLayout(page);
    for (int i : {1, 0}) {
        m_optWeeklyCheck[i]->setObjectName(indexed("optWeeklyCheck", i));
        connect(m_optWeeklyCheck[i], &QRadioButton::clicked, this, [this, i] { optWeeklyCheck_Click(i); });
    }
    layout->addWidget(m_optWeeklyCheck[1]);

    auto *rows = new QGridLayout;
    rows->setContentsMargins(20, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        m_txtWeeklyCheckTime[i] = lineEdit(indexed("txtWeeklyCheckTime", i), page);
        m_txtWeeklyCheckTime[i]->setMaximumWidth(70);
        m_txtWeeklyCheckTime[i]->installEventFilter(this);
        m_txtWeeklyCheckInterval[i] = lineEdit(indexed("txtWeeklyCheckInterval", i), page);
        m_txtWeeklyCheckInterval[i]->setMaximumWidth(50);
        m_txtWeeklyCheckFile[i] = lineEdit(indexed("txtWeeklyCheckFile", i), page);
        m_txtWeeklyCheckFile[i]->setMinimumWidth(100);
        auto label = [page, i](const QString &text, const char *name) {
            auto *l = new QLabel(text, page);
            l->setObjectName(indexed(name, i));
            return l;
        };
        rows->addWidget(label(kDayNames[i], "lblWeekday"), i, 0);
        rows->addWidget(m_txtWeeklyCheckTime[i], i, 1);
        rows->addWidget(label(QStringLiteral("から"), "lblFrom"), i, 2);
        rows->addWidget(m_txtWeeklyCheckInterval[i], i, 3);
        rows->addWidget(label(QStringLiteral("分おき"), "lblEvery"), i, 4);
        rows->addWidget(m_txtWeeklyCheckFile[i], i, 5);
        rows->addWidget(label(QStringLiteral("を受信するまで"), "lblUntil"), i, 6);
    }
    rows->setColumnStretch(7, 1);
    layout->addLayout(rows);
    layout->addWidget(m_optWeeklyCheck[0]);
    layout->addStretch(1);
    return page;
}

void frmSetting::Form_Load()
{
    setWindowTitle(displayTitle() + CaptionSuffix);
    loadKinds();
    loadDialupEntries();

    m_txtServerName->setText(Settings.ServerName);
    m_txtUserName->setText(Settings.UserName);
    loadPassword();
    int security = 0;
    for (int i = 0; i < 3; ++i) {
        if (Settings.Security.compare(*kSecurityValues[i], Qt::CaseInsensitive) == 0)
            security = i;
    }
    m_cboSecurity->blockSignals(true);
    m_cboSecurity->setCurrentIndex(security);
    m_cboSecurity->blockSignals(false);
    m_txtPasswordCommand->setText(Settings.PasswordFromCommand ? Settings.PasswordCommand : QString());
    m_cboAuthMethod->setCurrentIndex(
        std::max<int>(0, int(AuthChoice::settingValues().indexOf(AuthChoice::canonical(Settings.AuthMethod)))));
    m_txtPort->setValue(Settings.Port >= 1 && Settings.Port <= 65535
                            ? Settings.Port
                            : (security == 2 ? SettingsDefaults::kTlsPort : SettingsDefaults::kPlainPort));

    for (int i = 0; i < 4; ++i)
        m_txtSaveFolder[i]->setText(Settings.SaveFolder[i]);

    m_chkBackupLog->setChecked(Settings.BackupLog);
    m_chkDeleteOldMail->setChecked(Settings.DeleteOldMail);
    m_chkDeleteDownloadMail->setChecked(Settings.DeleteDownloadMail);
    m_chkVerifyArchives->setChecked(Settings.VerifyArchives);

    m_optDialup[Settings.UseDialup ? 1 : 0]->setChecked(true);
    optDialup_Click(Settings.UseDialup ? 1 : 0);
    const int entry = m_cboDialupEntryName->findText(Settings.DialupEntryName);
    m_cboDialupEntryName->setCurrentIndex(entry);
    m_cboDialupEntryName->setEditText(Settings.DialupEntryName);

    m_txtKeepDays->setText(QString::number(Settings.KeepDays));

    const int weekly = Settings.WeeklyCheckEnabled ? 1 : 0;
    m_optWeeklyCheck[weekly]->setChecked(true);
    optWeeklyCheck_Click(weekly);
    for (int i = 0; i < 3; ++i) {
        const std::optional<QTime> &t = Settings.Time[i];
        m_txtWeeklyCheckTime[i]->setText(t && t->isValid() ? t->toString(QStringLiteral("hh:mm")) : QString());
        m_txtWeeklyCheckFile[i]->setText(Settings.FileName[i]);
        m_txtWeeklyCheckInterval[i]->setText(QString::number(Settings.Interval[i]));
    }

    bool ok = false;
    const int tab = ReadIniValue(kIniSection, kIniTabKey, 0).toInt(&ok);
    m_tabs->setCurrentIndex(ok && tab >= 0 && tab < m_tabs->count() ? tab : 0);
}

void frmSetting::loadKinds()
{
    m_lstTarget->clear();
    for (int k = 0; k < DataKindCount; ++k) {
        auto *item = new QListWidgetItem(DataKinds[k].description, m_lstTarget);
        Token prefixes;
        prefixes.Init(DataKinds[k].prefixList, QStringLiteral(","));
        while (!prefixes.IsEnd()) {
            const QString prefix = prefixes.NextToken();
            if (!prefix.isEmpty() && Settings.FileNamePatterns.contains(prefix, Qt::CaseInsensitive)) {
                item->setSelected(true);
                break;
            }
        }
    }
    m_lstTarget->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void frmSetting::loadDialupEntries()
{
    m_cboDialupEntryName->clear();
    {
        cRas32 ras;
        for (int i = 0; i < ras.EntryCount(); ++i)
            m_cboDialupEntryName->addItem(ras.EnumEntries(i));
    }
    // The external dialer is offered only when both of its programs are there
    // and it has a connection configured for now.
    const auto present = [](ExternalDialer which) {
        const QFileInfo program(ExternalDialerProgram(which));
        return FileExists(program.path(), program.fileName());
    };
    if (present(ExternalDialer::Connect) && present(ExternalDialer::Disconnect) && !ReadDialerSettings().isEmpty())
        m_cboDialupEntryName->addItem(ExternalDialerEntry);
}

void frmSetting::saveShownTab()
{
    WriteIniValue(kIniSection, kIniTabKey, m_tabs->currentIndex());
    m_tabSaved = true;
}

void frmSetting::optDialup_Click(int index)
{
    const bool dialup = index == 1;
    m_lblDialupEntryName->setEnabled(dialup);
    m_cboDialupEntryName->setEnabled(dialup);
}

void frmSetting::optWeeklyCheck_Click(int index)
{
    // Every box of the three rows follows the switch, found by name as the rows grow.
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *w : children) {
        if (w->objectName().startsWith(kWeeklyCheckPrefix, Qt::CaseInsensitive))
            w->setEnabled(index == 1);
    }
}

void frmSetting::cboSecurity_Change(int index)
{
    // The usual ports follow the choice; a port the user typed stays.
    if (index == 2 && m_txtPort->value() == SettingsDefaults::kPlainPort)
        m_txtPort->setValue(SettingsDefaults::kTlsPort);
    else if (index != 2 && m_txtPort->value() == SettingsDefaults::kTlsPort)
        m_txtPort->setValue(SettingsDefaults::kPlainPort);
}

void frmSetting::cmdRef_Click(int index)
{
    const QString folder = frmDir::Execute(m_txtSaveFolder[index]->text(), FolderPickerTitle);
    if (!folder.isEmpty())
        m_txtSaveFolder[index]->setText(folder);
}

bool frmSetting::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        // Only a move to another control counts as leaving the box, not
        // switching to another window (a message box among them).
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            // Checked once the box has finished losing the focus, or its own
            // handling would undo the selection made after the message.
            for (int i = 0; i < 3; ++i) {
                if (watched == m_txtWeeklyCheckTime[i])
                    QMetaObject::invokeMethod(
                        this, [this, i] { txtWeeklyCheckTime_LostFocus(i); }, Qt::QueuedConnection);
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSetting::txtWeeklyCheckTime_LostFocus(int index)
{
    if (m_checkingTime)
        return;
    QLineEdit *box = m_txtWeeklyCheckTime[index];
    const QString text = box->text();
    // An empty box means no check on that day.
    if (text.trimmed().isEmpty() || timeOf(toHalfWidth(text)))
        return;
    m_checkingTime = true;
    MessageBox::show(MsgBadTime, MessageBox::OkOnly | MessageBox::Exclamation, QString());
    focusControl(box);
    box->selectAll();
    m_checkingTime = false;
}

void frmSetting::tell(const QString &text, MessageBox::Style icon)
{
    MessageBox::show(text, MessageBox::OkOnly | icon, displayTitle());
}

void frmSetting::focusControl(QWidget *control)
{
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->widget(i)->isAncestorOf(control))
            m_tabs->setCurrentIndex(i);
    }
    control->setFocus(Qt::OtherFocusReason);
}

bool frmSetting::validate()
{
    const struct {
        QWidget *control;
        bool missing;
        const QString &message;
    } checks[] = {
        {m_txtServerName, m_txtServerName->text().isEmpty(), MsgNoServerName},
        {m_txtUserName, m_txtUserName->text().isEmpty(), MsgNoUserName},
        {m_txtPassword, m_txtPassword->text().isEmpty() && m_txtPasswordCommand->text().trimmed().isEmpty(),
         MsgNoPassword},
        {m_cboDialupEntryName, m_optDialup[1]->isChecked() && m_cboDialupEntryName->currentText().isEmpty(),
         MsgNoDialupEntry},
    };
    for (const auto &check : checks) {
        if (check.missing) {
            tell(check.message);
            focusControl(check.control);
            return false;
        }
    }
    if (!checkStorable())
        return false;
    bool anyFolder = false;
    for (QLineEdit *box : m_txtSaveFolder)
        anyFolder = anyFolder || !box->text().trimmed().isEmpty();
    if (!anyFolder) {
        tell(MsgNoSaveFolder);
        focusControl(m_txtSaveFolder[0]);
        return false;
    }
    return true;
}

bool frmSetting::checkStorable()
{
    struct Value {
        QWidget *control;
        QString text;
        QString field;
    };
    QList<Value> values = {
        {m_txtServerName, m_txtServerName->text(), QStringLiteral("ﾒｰﾙPOPｻｰﾊﾞｰ名")},
        {m_txtUserName, m_txtUserName->text(), QStringLiteral("ﾕｰｻﾞｰｱｶｳﾝﾄ名")},
        {m_txtPassword, m_txtPassword->text(), QStringLiteral("ﾒｰﾙﾊﾟｽﾜｰﾄﾞ")},
        {m_txtPasswordCommand, m_txtPasswordCommand->text(), QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞ")},
        {m_cboDialupEntryName, m_cboDialupEntryName->currentText(), QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ名")},
    };
    for (int i = 0; i < 4; ++i)
        values.append({m_txtSaveFolder[i], m_txtSaveFolder[i]->text(),
                       QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞﾌｧｲﾙの保存先") + QString::number(i + 1)});
    for (int i = 0; i < 3; ++i)
        values.append({m_txtWeeklyCheckFile[i], m_txtWeeklyCheckFile[i]->text(),
                       QStringLiteral("定期ﾁｪｯｸ(") + kDayNames[i] + QStringLiteral(")のﾌｧｲﾙ名")});
    for (const Value &value : std::as_const(values)) {
        const QString character = Cp932::firstUnstorable(value.text);
        if (character.isEmpty())
            continue;
        tell(UnstorableText::message(value.field, character), MessageBox::Exclamation);
        focusControl(value.control);
        return false;
    }
    return true;
}

bool frmSetting::checkFolders()
{
    for (QLineEdit *box : m_txtSaveFolder) {
        QString folder = box->text().trimmed();
        if (folder.isEmpty())
            continue;
        if (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
            folder.chop(1);
        if (QFileInfo::exists(folder))
            continue;
        const MessageBox::Answer answer =
            MessageBox::show(folder + MsgFolderMissing, MessageBox::YesNoCancel, displayTitle() + FolderQuestionSuffix);
        if (answer == MessageBox::No)
            continue; // kept as typed although the folder is not there
        if (answer == MessageBox::Yes) {
            if (CreateFolderPath(folder))
                continue;
            tell(MsgCreateFailedPrefix + folder + MsgCreateFailedSuffix, MessageBox::Exclamation);
        }
        focusControl(box);
        return false;
    }
    return true;
}

void frmSetting::copyToSettings()
{
    Settings.ServerName = m_txtServerName->text();
    Settings.UserName = m_txtUserName->text();
    Settings.PassWord = m_txtPassword->text();
    Settings.PasswordFromCommand = !m_txtPasswordCommand->text().trimmed().isEmpty();
    Settings.PasswordCommand = m_txtPasswordCommand->text().trimmed();
    Settings.PasswordInKeyring =
        !Settings.PasswordFromCommand && m_chkKeyring->isEnabled() && m_chkKeyring->isChecked();
    Settings.AuthMethod = AuthChoice::settingValues().value(m_cboAuthMethod->currentIndex(), kAuthMethodAuto);
    Settings.Security = *kSecurityValues[m_cboSecurity->currentIndex() >= 0 ? m_cboSecurity->currentIndex() : 0];
    Settings.Port = m_txtPort->value();
    for (int i = 0; i < 4; ++i)
        Settings.SaveFolder[i] = m_txtSaveFolder[i]->text();
    Settings.UseDialup = m_optDialup[1]->isChecked();
    Settings.DialupEntryName = m_cboDialupEntryName->currentText();
    Settings.BackupLog = m_chkBackupLog->isChecked();
    Settings.DeleteOldMail = m_chkDeleteOldMail->isChecked();
    Settings.DeleteDownloadMail = m_chkDeleteDownloadMail->isChecked();
    Settings.VerifyArchives = m_chkVerifyArchives->isChecked();
    if (const auto days = wholeTextToInt16(toHalfWidth(m_txtKeepDays->text())))
        Settings.KeepDays = *days;

    // Every prefix of each chosen kind; no kind chosen gives the empty text.
    QStringList patterns;
    for (int k = 0; k < m_lstTarget->count() && k < DataKindCount; ++k) {
        if (m_lstTarget->item(k)->isSelected())
            patterns.append(DataKinds[k].prefixList);
    }
    Settings.FileNamePatterns = patterns.join(QLatin1Char(','));

    Settings.WeeklyCheckEnabled = m_optWeeklyCheck[1]->isChecked();
    for (int i = 0; i < 3; ++i) {
        Settings.Time[i] = timeOf(toHalfWidth(m_txtWeeklyCheckTime[i]->text()));
        if (const auto interval = toInt16(leadingNumber(toHalfWidth(m_txtWeeklyCheckInterval[i]->text()))))
            Settings.Interval[i] = *interval;
        Settings.FileName[i] = m_txtWeeklyCheckFile[i]->text();
    }
}

void frmSetting::cmdOK_Click()
{
    if (!validate() || !checkFolders())
        return;
    if (!storePasswordInKeyring())
        return;
    const QString oldAccount = KeyringAccount(Settings.UserName, Settings.ServerName);
    const bool wasInKeyring = Settings.PasswordInKeyring;
    copyToSettings();
    // The new settings are in force either way; the user learns that they
    // will not survive a restart.
    if (!SaveSettings())
        tell(MsgSaveFailed + QLatin1Char('\n') + lastIniError(), MessageBox::Exclamation);
    else
        dropOldKeyringEntry(oldAccount, wasInKeyring);
    m_settingStatus = 1;
    accept();
}

void frmSetting::loadPassword()
{
    SecretStore &keyring = SecretStore::instance();
    const bool available = keyring.isAvailable();
    m_chkKeyring->setEnabled(available);
    m_chkKeyring->setChecked(available && Settings.PasswordInKeyring);
    if (!Settings.PasswordInKeyring) {
        m_txtPassword->setText(Settings.PassWord);
        return;
    }
    const SecretStore::Result secret = keyring.read(KeyringAccount(Settings.UserName, Settings.ServerName));
    if (secret.ok())
        m_txtPassword->setText(secret.secret);
    else
        tell(MsgKeyringReadFailed + SecretStore::reasonText(secret), MessageBox::Exclamation);
}

bool frmSetting::storePasswordInKeyring()
{
    if (!m_chkKeyring->isEnabled() || !m_chkKeyring->isChecked() || !m_txtPasswordCommand->text().trimmed().isEmpty())
        return true;
    const SecretStore::Result stored = SecretStore::instance().write(
        KeyringAccount(m_txtUserName->text(), m_txtServerName->text()), m_txtPassword->text());
    if (stored.ok())
        return true;
    tell(MsgKeyringWriteFailed + SecretStore::reasonText(stored), MessageBox::Exclamation);
    focusControl(m_chkKeyring);
    return false;
}

void frmSetting::dropOldKeyringEntry(const QString &oldAccount, bool wasInKeyring)
{
    if (!wasInKeyring)
        return;
    if (Settings.PasswordInKeyring && KeyringAccount(Settings.UserName, Settings.ServerName) == oldAccount)
        return;
    // The file holds what is in force now; an entry that cannot be removed is
    // only a leftover copy, and the keyring's own tool can remove it.
    (void)SecretStore::instance().remove(oldAccount);
}

void frmSetting::cmdCancel_Click()
{
    reject();
}

void frmSetting::reject()
{
    // Cancel, Esc and the window's close box all end here.
    m_settingStatus = 0;
    QDialog::reject();
}

void frmSetting::done(int result)
{
    saveShownTab();
    QDialog::done(result);
}

QString frmSetting::toHalfWidth(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(char16_t(u - 0xFEE0));
        else if (u == 0x3000)
            c = QLatin1Char(' ');
    }
    return out;
}

QString frmSetting::authMethodText(const QString &value)
{
    if (value == AuthChoice::Auto)
        return AuthMethodAuto;
    if (value == AuthChoice::User)
        return AuthMethodUser;
    return value;
}

// Connects with what the dialog shows (saved or not), logs in, logs out and
// tells how it went. The dialog waits meanwhile: nothing in it can be used.
void frmSetting::cmdTestLogin_Click()
{
    LoginTest::Account account;
    account.server = m_txtServerName->text().trimmed();
    account.port = m_txtPort->value();
    account.security = *kSecurityValues[m_cboSecurity->currentIndex() >= 0 ? m_cboSecurity->currentIndex() : 0];
    account.user = m_txtUserName->text();
    account.password = m_txtPassword->text();
    account.passwordCommand = m_txtPasswordCommand->text();
    account.authMethod = AuthChoice::settingValues().value(m_cboAuthMethod->currentIndex(), kAuthMethodAuto);
    if (account.server.isEmpty()) {
        tell(MsgNoServerName);
        focusControl(m_txtServerName);
        return;
    }
    setEnabled(false);
    setCursor(Qt::WaitCursor);
    aPOP pop;
    const LoginTest::Outcome outcome = LoginTest::run(account, pop);
    unsetCursor();
    setEnabled(true);
    tell(outcome.text, outcome.ok ? MessageBox::Information : MessageBox::Exclamation);
}
