#pragma once

#include "core/exitcode.h"
#include "download/readlist.h"
#include "download/runhost.h"

#include <QDateTime>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class FileGrid;
class FileGridModel;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;
class WeeklyCheckTimer;
class aPOP;
class DownloadRun;
class frmAbout;

// The main window's own words.
namespace frmMainText {
inline const QString Title = QStringLiteral("Kivrel");
inline const QString AutoModeSuffix = QStringLiteral(" \uFF0D 自動モード");
inline const QString MenuFile = QStringLiteral("ﾌｧｲﾙ(&F)");
inline const QString MenuSetting = QStringLiteral("設定(&P)");
inline const QString MenuHelp = QStringLiteral("ﾍﾙﾌﾟ(&H)");
inline const QString MenuList = QStringLiteral("ﾘｽﾄ");
inline const QString Download = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ実行(&D)");
inline const QString DownloadAll = QStringLiteral("既読ﾒｰﾙも含めてﾀﾞｳﾝﾛｰﾄﾞ実行(&A)");
inline const QString SelectAll = QStringLiteral("すべて選択(&E)");
inline const QString Send = QStringLiteral("ﾃﾞｰﾀﾌｧｲﾙをﾌｫﾙﾀﾞに送る(&S)...");
inline const QString Restore = QStringLiteral("受信ﾛｸﾞからﾌｧｲﾙを復元(&R)");
inline const QString Delete = QStringLiteral("ﾘｽﾄから削除(&L)");
inline const QString Exit = QStringLiteral("終了(&X)");
inline const QString HelpShow = QStringLiteral("使い方の説明(&H)");
inline const QString HelpTurfnetHome = QStringLiteral("TURFNETホームページ");
inline const QString HelpTurfnetPurchase = QStringLiteral("TURFNET利用権購入/追加購入ｺｰﾅｰ");
inline const QString HelpMakerHome = QStringLiteral("Kivrel ﾕｰｻﾞｰｻﾎﾟｰﾄﾎｰﾑﾍﾟｰｼﾞ(Zemのページ)");
inline const QString HelpAbout = QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)...");
inline const QString ButtonDownload = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ");
inline const QString ButtonSetting = QStringLiteral("設定");
inline const QString ButtonHelp = QStringLiteral("ﾍﾙﾌﾟ");
inline const QString ButtonExit = QStringLiteral("終了");
inline const QString DialupAbort = QStringLiteral("ｷｬﾝｾﾙ(&C)");
inline const QString HeadingDescription = QStringLiteral("ﾃﾞｰﾀ内容");
inline const QString HeadingFileName = QStringLiteral("ﾌｧｲﾙ名");
inline const QString HeadingMailDate = QStringLiteral("ﾒｰﾙの日付");
// The grid's columns and their sample widths; the third column is sized by
// one ideographic space, and the last two samples end in a blank.
inline const QString GridLayout =
    QStringLiteral("||\u3000|<2099年08月22日 競走馬＋出馬表 日別全場一括 前売分|<CC991224.LZH |<2000/12/31 24:00 ");
inline const QString Downloading = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ中... ");
inline const QString Bytes = QStringLiteral("bytes  ");
inline const QString SendTitle = QStringLiteral("ﾌｧｲﾙの送り先");
inline const QString RestoreQuestion = QStringLiteral("件のﾌｧｲﾙを復元しますか？");
inline const QString RestoringSuffix = QStringLiteral(")を復元しています。");
inline const QString RestoredSuffix = QStringLiteral("件のﾌｧｲﾙを復元しました。");
inline const QString RestoreFailed = QStringLiteral("復元できませんでした。");
inline const QString RestoreRefusedBusy = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ中は復元できません。");
inline const QString FirstStart =
    QStringLiteral("ﾒｰﾙｻｰﾊﾞｰが設定されていません。[設定]でｻｰﾊﾞｰ名･ﾕｰｻﾞｰ名･ﾊﾟｽﾜｰﾄﾞを入力してください (ﾃﾞｰﾀﾌｧｲﾙの保存先: ");
inline const QString FirstStartSuffix = QStringLiteral(")");
} // namespace frmMainText

// The web pages of the help menu.
// The help menu's web pages: Kivrel.ini section "Web" may name other
// addresses (keys below); these are the defaults.
namespace frmMainUrl {
inline const QString Section = QStringLiteral("Web");
inline const QString TurfnetHomeKey = QStringLiteral("TurfnetHome");
inline const QString TurfnetPurchaseKey = QStringLiteral("TurfnetPurchase");
inline const QString MakerHomeKey = QStringLiteral("MakerHome");
inline const QString TurfnetHome = QStringLiteral("https://www.turfnet.example.jp/");
inline const QString TurfnetPurchase = QStringLiteral("https://www.turfnet.example.jp/purchase/");
inline const QString MakerHome = QStringLiteral("https://www.zem.example.jp/kivrel/");
} // namespace frmMainUrl

// The main window: the list of handled mails (faList), the commands, and the
// status bar a download run reports to. Creating it loads the read-mail list
// and lays the window out at its stored position (Initialize and Load).
//
// A run is synchronous and pumps events, so every handler here may run in the
// middle of one. Closing the window during a run only asks the run to stop:
// the window closes once the run has returned.
class frmMain : public QMainWindow, public RunHost
{
    Q_OBJECT

public:
    // Columns of faList (FileGridModel's).
    enum Column { ColHandled = 0, ColUid = 1, ColMark = 2, ColDescription = 3, ColFileName = 4, ColMailDate = 5 };
    // Kivrel.ini keeps the window's position in twips: 15 per pixel (96 dpi).
    static constexpr double TwipsPerPixel = 15.0;

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // RunHost
    void ShowStatus(const QString &text) override;
    void ShowProgress(const QString &fileName, qint64 total, qint64 received) override;
    void RefreshFileList() override;
    void RefreshFileListEntry(int index) override;
    void repaintWindow() override;
    void setBusy(bool busy) override;
    bool isBusy() const override { return m_busy; }
    void setDialAbortVisible(bool visible) override;
    MessageBox::Answer showMessage(const QString &text, MessageBox::Style style) override;
    ReadList &readList() override { return m_readList; }

    // Re-tests which files are present in a save folder (grid marks only).
    void RefreshFileMarks();
    // Opens a web address in the desktop's browser; failures are ignored.
    void ShowURL(const QString &address);

    bool DownloadEnabled() const { return m_downloadEnabled; }
    void setDownloadEnabled(bool enabled);
    // True while a run started by mnuDownloadAll is going on.
    bool DownloadAll = false;

    // One whole download run; returns when it is over. If the window was
    // asked to close meanwhile, it closes afterwards.
    void DoDownload();
    // How the last run ended (automatic mode ends the program with it).
    ExitCode lastRunExitCode() const { return m_lastRunExitCode; }

    // Automatic mode: caption suffix, the four tool buttons disabled.
    void setAutomaticMode();
    // Without a display every status text also goes to standard output.
    void setStatusEcho(bool on) { m_statusEcho = on; }
    QString statusText() const;
    // With no mail server set, the status line says what to do and the
    // settings dialog opens.
    void guideFirstStart();

    FileGrid *faList() const { return m_faList; }
    // Closes every open top-level window but `except`, in the order of the
    // application's window list.
    static void closeAllWindows(QWidget *except = nullptr);
    bool closeRequested() const { return m_closeRequested; }
    // True while a command waits (the settings dialog fetching its lists, a
    // restore, a send): no other command, and no scheduled run, starts then.
    bool commandWaiting() const { return m_commandWaits > 0; }

    // The user manual: <exe>/../share/kivrel/manual.html when installed,
    // else docs/manual.html of the source tree.
    static QString manualPath();
    // Tests replace the desktop's URL opener (nullptr restores it).
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void setUrlOpener(UrlOpener opener);

public slots:
    void SSCommand1_Click();
    void mnuDownloadAll_Click();
    void SSCommand2_Click();
    void SSCommand3_Click();
    void SSCommand4_Click();
    void mnuHelpAbout_Click();
    void mnuFileListSelectAll_Click();
    void mnuFileListSend_Click();
    void mnuFileListDelete_Click();
    void mnuFileRestore_Click();
    void faList_MouseUp(int button, int shift, int x, int y);
    void faList_SelChange();
    void faList_LostFocus();
    void cmdDialupAbort_Click();

signals:
    // The dial-up cancel button was pressed (the run hangs up).
    void dialupAbortRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void collectCommands();
    // A command's wait: the window's commands disabled, the wait cursor shown.
    // Nested waits count; the last one to end re-enables the commands and, when
    // the window was asked to close meanwhile (and no run is on the stack), closes it.
    void beginCommandWait();
    void endCommandWait();
    class CommandWait
    {
    public:
        explicit CommandWait(frmMain &window) : m_window(window) { m_window.beginCommandWait(); }
        ~CommandWait()
        {
            hideWaitCursor();
            m_window.endCommandWait();
        }
        CommandWait(const CommandWait &) = delete;
        CommandWait &operator=(const CommandWait &) = delete;
        // The wait cursor, while the command works (not while it asks something).
        void showWaitCursor() const;
        void hideWaitCursor() const;

    private:
        frmMain &m_window;
        mutable bool m_cursor = false;
    };
    void buildToolButtons();
    void buildStatusBar();
    void Form_Load();
    void restoreGeometryFromIni();
    void saveGeometryToIni();
    void setUpGrid();
    // The records of the selected rows, top to bottom.
    QList<ReadEntry> selectedEntries() const;
    // The time after which an entry counts as new (LastDLDate, else now).
    QDateTime newEntryReference() const;
    bool anyRunOnStack() const { return m_inRun; }
    // Runs the settings dialog modally; its SettingStatus (1 = OK).
    int runSettingDialog();

    // The download run itself. It sets the busy state, writes LastDLDate and
    // records into the read list; it sets m_lastRunExitCode and
    // m_lastDownloadTime.
    void runDownload();
    // Asks a run in progress to stop as soon as it safely can.
    void requestStop();
    std::optional<QDateTime> lastDownloadTime() const { return m_lastDownloadTime; }
    void TimerWeeklyCheck_Timer();

    ReadList m_readList;
    // The POP3 component and the download run live as long as the window.
    aPOP *aPOP1 = nullptr;
    DownloadRun *m_run = nullptr;
    FileGridModel *m_listModel = nullptr;
    FileGrid *m_faList = nullptr;
    QIcon m_imgFloppy[2];
    QIcon m_imgGlove[2];

    QAction *m_mnuDownload = nullptr;
    QAction *m_mnuDownloadAll = nullptr;
    QAction *m_mnuFileListSelectAll = nullptr;
    QAction *m_mnuFileListSend = nullptr;
    QAction *m_mnuFileRestore = nullptr;
    QAction *m_mnuFileListDelete = nullptr;
    QAction *m_mnuListSend = nullptr;
    QAction *m_mnuListFileRestore = nullptr;
    QAction *m_mnuListDelete = nullptr;
    QMenu *m_mnuList = nullptr;
    QToolButton *m_SSCommand[4] = {};
    QWidget *m_toolPanel = nullptr;
    QActionGroup *m_commands = nullptr;
    int m_commandWaits = 0;
    QLabel *m_sspGlove = nullptr;
    QLabel *m_elaStatusMessage = nullptr;
    QProgressBar *m_sspProgress = nullptr;
    QPushButton *m_cmdDialupAbort = nullptr;
    WeeklyCheckTimer *TimerWeeklyCheck = nullptr;
    QPointer<frmAbout> m_about;

    bool m_downloadEnabled = true;
    bool m_busy = false;
    bool m_inRun = false;
    bool m_closeRequested = false;
    bool m_statusEcho = false;
    // Standard output is the journal (a systemd timer's run): status lines go there too.
    bool m_journalEcho = false;
    // The next run is started by the weekly check or automatic mode, not by
    // hand: new files are announced on the desktop.
    bool m_nextRunUnattended = false;
    ExitCode m_lastRunExitCode = ExitCode::Normal;
    std::optional<QDateTime> m_lastDownloadTime;
};
