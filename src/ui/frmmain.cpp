#include "ui/frmmain.h"

#include "download/downloadrun.h"
#include "pop3/apop.h"

#include "core/apppaths.h"
#include "core/datetext.h"
#include "core/inifile.h"
#include "core/settings.h"
#include "download/listcommands.h"
#include "download/newfilesnotice.h"
#include "download/weeklychecktimer.h"
#include "platform/clock.h"
#include "platform/consoleline.h"
#include "platform/desktopnotifier.h"
#include "platform/messagebox.h"
#include "ui/filegrid.h"
#include "ui/filegridmodel.h"
#include "ui/frmabout.h"
#include "ui/frmdir.h"
#include "ui/frmsetting.h"
#include "ui/iconresources.h"
#include "download/restorefrombackup.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>


namespace {

frmMain::UrlOpener g_urlOpener;

// The design-time position and size (what a first start without Kivrel.ini uses).
constexpr QRect DesignGeometry(120, 90, 780, 480);
constexpr QSize ToolButtonSize(72, 64);

const QString SectionMove = QStringLiteral("Move");
const QString SectionConfig = QStringLiteral("Config");
const QString KeyLastDLDate = QStringLiteral("LastDLDate");
const QString KeySendFolder = QStringLiteral("SendFolder");
const QString DefaultSendFolder = QStringLiteral("/");

// A geometry value from Kivrel.ini in pixels, or nothing when it is not a
// number (the design value stays then). Nothing stored reads as 0.
std::optional<int> pixelsFromIni(const QVariant &value)
{
    if (value.isNull())
        return 0;
    bool ok = false;
    const float twips = value.toString().trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(twips))
        return std::nullopt;
    // Keep absurd values within what a window can take.
    constexpr double limit = 32767.0;
    return static_cast<int>(std::lround(std::clamp(twips / frmMain::TwipsPerPixel, -limit, limit)));
}

QVariant twipsForIni(int pixels)
{
    return QVariant(static_cast<float>(pixels * frmMain::TwipsPerPixel));
}

// Nobody looks at an offscreen window, and nobody would see a notification.
bool headlessPlatform()
{
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    // Under a systemd service the status lines of a timer's run belong in the journal.
    m_journalEcho = ConsoleLine::isJournal(stdout);
    // Initialize: the read-mail list.
    m_readList.LoadReadList();

    m_imgFloppy[0] = IconResources::icon(QStringLiteral("floppy-absent.svg"));
    m_imgFloppy[1] = IconResources::icon(QStringLiteral("floppy-present.svg"));
    m_imgGlove[0] = IconResources::icon(QStringLiteral("busy-idle.svg"));
    m_imgGlove[1] = IconResources::icon(QStringLiteral("busy-active.svg"));
    setWindowIcon(IconResources::icon(QStringLiteral("kivrel.svg")));

    auto *central = new QWidget(this);
    auto *layout = new QHBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    // The tool buttons sit on a panel of their own, so a wait can disable
    // them together without touching each button's own state.
    m_toolPanel = new QWidget(central);
    m_toolPanel->setObjectName(QStringLiteral("toolPanel"));
    auto *strip = new QVBoxLayout(m_toolPanel);
    strip->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_toolPanel);
    m_listModel = new FileGridModel(m_readList, this);
    m_faList = new FileGrid(m_listModel, central);
    m_faList->setObjectName(QStringLiteral("faList"));
    layout->addWidget(m_faList, 1);
    setCentralWidget(central);

    buildMenus();
    collectCommands();
    buildToolButtons();
    for (QToolButton *button : m_SSCommand)
        strip->addWidget(button);
    strip->addStretch(1);
    buildStatusBar();

    connect(m_faList, &FileGrid::mouseUp, this, &frmMain::faList_MouseUp);
    connect(m_faList, &FileGrid::selChange, this, &frmMain::faList_SelChange);
    connect(m_faList, &FileGrid::lostFocus, this, &frmMain::faList_LostFocus);

    aPOP1 = new aPOP(this);
    m_run = new DownloadRun(*this, *aPOP1, nullptr, this);

    TimerWeeklyCheck = new WeeklyCheckTimer(
        [this] {
            WeeklyCheck::State state;
            state.schedule = WeeklyCheck::Schedule::from(Settings);
            state.lastDownloadTime = lastDownloadTime();
            state.readList = &m_readList;
            // A check that falls due during a command's wait is made at a later tick.
            state.busy = isBusy() || commandWaiting();
            return state;
        },
        this);
    connect(TimerWeeklyCheck, &WeeklyCheckTimer::due, this, &frmMain::TimerWeeklyCheck_Timer);
    TimerWeeklyCheck->start();

    Form_Load();
}

frmMain::~frmMain()
{
    // Closing the native window while the children are torn down moves the
    // focus; the grid's signals must not reach this half-destroyed window.
    m_faList->disconnect(this);
    // The grid shows the read list, which goes before the children do.
    delete m_faList;
    m_faList = nullptr;
}

void frmMain::buildMenus()
{
    const auto action = [this](QMenu *menu, const char *name, const QString &text, void (frmMain::*slot)()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu *file = menuBar()->addMenu(frmMainText::MenuFile);
    file->setObjectName(QStringLiteral("mnuFile"));
    m_mnuDownload = action(file, "mnuDownload", frmMainText::Download, &frmMain::SSCommand1_Click);
    m_mnuDownloadAll = action(file, "mnuDownloadAll", frmMainText::DownloadAll, &frmMain::mnuDownloadAll_Click);
    file->addSeparator();
    m_mnuFileListSelectAll =
        action(file, "mnuFileListSelectAll", frmMainText::SelectAll, &frmMain::mnuFileListSelectAll_Click);
    m_mnuFileListSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    m_mnuFileListSend = action(file, "mnuFileListSend", frmMainText::Send, &frmMain::mnuFileListSend_Click);
    m_mnuFileRestore = action(file, "mnuFileRestore", frmMainText::Restore, &frmMain::mnuFileRestore_Click);
    m_mnuFileListDelete = action(file, "mnuFileListDelete", frmMainText::Delete, &frmMain::mnuFileListDelete_Click);
    file->addSeparator();
    action(file, "mnuFileExit", frmMainText::Exit, &frmMain::SSCommand4_Click);

    // A top-level command without a menu of its own.
    QAction *setting = menuBar()->addAction(frmMainText::MenuSetting);
    setting->setObjectName(QStringLiteral("mnuSetting"));
    connect(setting, &QAction::triggered, this, &frmMain::SSCommand2_Click);

    QMenu *help = menuBar()->addMenu(frmMainText::MenuHelp);
    help->setObjectName(QStringLiteral("mnuHelp"));
    action(help, "mnuHelpShow", frmMainText::HelpShow, &frmMain::SSCommand3_Click);
    help->addSeparator();
    // The address is read when the item is chosen, so an edited Kivrel.ini counts at once.
    const auto page = [this](const QString &key, const QString &fallback) {
        return
            [this, key, fallback] { ShowURL(ReadIniValue(frmMainUrl::Section, key, fallback).toString().trimmed()); };
    };
    connect(help->addAction(frmMainText::HelpTurfnetHome), &QAction::triggered, this,
            page(frmMainUrl::TurfnetHomeKey, frmMainUrl::TurfnetHome));
    connect(help->addAction(frmMainText::HelpTurfnetPurchase), &QAction::triggered, this,
            page(frmMainUrl::TurfnetPurchaseKey, frmMainUrl::TurfnetPurchase));
    connect(help->addAction(frmMainText::HelpMakerHome), &QAction::triggered, this,
            page(frmMainUrl::MakerHomeKey, frmMainUrl::MakerHome));
    const QList<QAction *> urls = help->actions();
    urls[2]->setObjectName(QStringLiteral("mnuHelpTURFNET_HP"));
    urls[3]->setObjectName(QStringLiteral("mnuHelpTURFNET_add"));
    urls[4]->setObjectName(QStringLiteral("mnuHelpZemHP"));
    help->addSeparator();
    action(help, "mnuHelpAbout", frmMainText::HelpAbout, &frmMain::mnuHelpAbout_Click);

    // The grid's pop-up menu: never in the menu bar.
    m_mnuList = new QMenu(frmMainText::MenuList, this);
    m_mnuList->setObjectName(QStringLiteral("mnuList"));
    action(m_mnuList, "mnuListSelectAll", frmMainText::SelectAll, &frmMain::mnuFileListSelectAll_Click);
    m_mnuListSend = action(m_mnuList, "mnuListSend", frmMainText::Send, &frmMain::mnuFileListSend_Click);
    m_mnuListFileRestore =
        action(m_mnuList, "mnuListFileRestore", frmMainText::Restore, &frmMain::mnuFileRestore_Click);
    m_mnuListDelete = action(m_mnuList, "mnuListDelete", frmMainText::Delete, &frmMain::mnuFileListDelete_Click);
}

// Every command of the menus and the grid's pop-up menu, in one group that a
// wait disables as a whole; each action keeps its own enabled state within it.
void frmMain::collectCommands()
{
    m_commands = new QActionGroup(this);
    m_commands->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    QList<QAction *> pending = menuBar()->actions() + m_mnuList->actions();
    while (!pending.isEmpty()) {
        QAction *a = pending.takeFirst();
        if (a->isSeparator())
            continue;
        if (QMenu *menu = a->menu())
            pending += menu->actions();
        else
            m_commands->addAction(a);
    }
}

void frmMain::beginCommandWait()
{
    if (m_commandWaits++ > 0)
        return;
    m_commands->setEnabled(false);
    m_toolPanel->setEnabled(false);
}

void frmMain::endCommandWait()
{
    if (--m_commandWaits > 0)
        return;
    m_toolPanel->setEnabled(true);
    m_commands->setEnabled(true);
    // The window was asked to close during the wait.
    if (m_closeRequested && !anyRunOnStack())
        close();
}

void frmMain::CommandWait::showWaitCursor() const
{
    if (!m_cursor)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    m_cursor = true;
}

void frmMain::CommandWait::hideWaitCursor() const
{
    if (m_cursor)
        QApplication::restoreOverrideCursor();
    m_cursor = false;
}

void frmMain::buildToolButtons()
{
    const struct {
        const char *name;
        QString text;
        const char *icon;
        void (frmMain::*slot)();
    } buttons[4] = {
        {"SSCommand1", frmMainText::ButtonDownload, "download.svg", &frmMain::SSCommand1_Click},
        {"SSCommand2", frmMainText::ButtonSetting, "settings.svg", &frmMain::SSCommand2_Click},
        {"SSCommand3", frmMainText::ButtonHelp, "help.svg", &frmMain::SSCommand3_Click},
        {"SSCommand4", frmMainText::ButtonExit, "exit.svg", &frmMain::SSCommand4_Click},
    };
    for (int i = 0; i < 4; ++i) {
        auto *button = new QToolButton(m_toolPanel);
        button->setObjectName(QLatin1String(buttons[i].name));
        button->setText(buttons[i].text);
        button->setIcon(IconResources::icon(QLatin1String(buttons[i].icon)));
        button->setIconSize(QSize(32, 32));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setMinimumSize(ToolButtonSize);
        button->setAutoRaise(false);
        connect(button, &QToolButton::clicked, this, buttons[i].slot);
        m_SSCommand[i] = button;
    }
}

void frmMain::buildStatusBar()
{
    m_sspGlove = new QLabel(this);
    m_sspGlove->setObjectName(QStringLiteral("sspGlove"));
    m_sspGlove->setFixedSize(22, 22);
    m_sspGlove->setAlignment(Qt::AlignCenter);
    m_sspGlove->setFrameShape(QFrame::Panel);
    m_sspGlove->setFrameShadow(QFrame::Sunken);
    m_sspGlove->setPixmap(m_imgGlove[0].pixmap(16, 16));
    statusBar()->addWidget(m_sspGlove);

    m_elaStatusMessage = new QLabel(this);
    m_elaStatusMessage->setObjectName(QStringLiteral("elaStatusMessage"));
    m_elaStatusMessage->setMinimumWidth(80);
    m_elaStatusMessage->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(m_elaStatusMessage, 1);

    // The gauge and the dial-up cancel button share one place.
    auto *place = new QWidget(this);
    auto *grid = new QGridLayout(place);
    grid->setContentsMargins(0, 0, 0, 0);
    m_sspProgress = new QProgressBar(place);
    m_sspProgress->setObjectName(QStringLiteral("sspProgress"));
    m_sspProgress->setRange(0, 100);
    m_sspProgress->setFixedWidth(160);
    m_sspProgress->hide();
    m_cmdDialupAbort = new QPushButton(frmMainText::DialupAbort, place);
    m_cmdDialupAbort->setObjectName(QStringLiteral("cmdDialupAbort"));
    m_cmdDialupAbort->hide();
    connect(m_cmdDialupAbort, &QPushButton::clicked, this, &frmMain::cmdDialupAbort_Click);
    grid->addWidget(m_sspProgress, 0, 0);
    grid->addWidget(m_cmdDialupAbort, 0, 0);
    place->setFixedWidth(160);
    statusBar()->addPermanentWidget(place);
    statusBar()->setSizeGripEnabled(true);
}

// Load: caption, position, grid, list, download commands.
void frmMain::Form_Load()
{
    setWindowTitle(frmMainText::Title);
    setGeometry(DesignGeometry);
    restoreGeometryFromIni();
    setUpGrid();
    RefreshFileList();
    setDownloadEnabled(!Settings.ServerName.isEmpty());
}

// Each value is applied as soon as it is read, as the stored window did.
void frmMain::restoreGeometryFromIni()
{
    const auto read = [](const char *key, int current) {
        return pixelsFromIni(ReadIniValue(SectionMove, QLatin1String(key), twipsForIni(current)));
    };
    if (const auto left = read("Left", x()))
        move(*left, y());
    if (const auto top = read("Top", y()))
        move(x(), *top);
    if (const auto width = read("Width", this->width()))
        resize(std::max(*width, 0), height());
    if (const auto height = read("Height", this->height()))
        resize(width(), std::max(*height, 0));
}

void frmMain::saveGeometryToIni()
{
    WriteIniValues({{SectionMove, QStringLiteral("Left"), twipsForIni(x())},
                    {SectionMove, QStringLiteral("Top"), twipsForIni(y())},
                    {SectionMove, QStringLiteral("Width"), twipsForIni(width())},
                    {SectionMove, QStringLiteral("Height"), twipsForIni(height())}});
}

void frmMain::setUpGrid()
{
    FileGrid *grid = m_faList;
    grid->setCurrentRow(0);
    grid->setLayoutText(frmMainText::GridLayout);
    grid->setColumnWidth(ColHandled, 0);
    grid->setColumnWidth(ColUid, 0);
    const QString headings[3] = {frmMainText::HeadingDescription, frmMainText::HeadingFileName,
                                 frmMainText::HeadingMailDate};
    for (int c = ColDescription; c <= ColMailDate; ++c) {
        grid->setCurrentColumn(c);
        m_listModel->setHeading(c, headings[c - ColDescription], Qt::AlignCenter); // centred, plain
    }
    m_listModel->setPictures(m_imgFloppy[0], m_imgFloppy[1]);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // A run or a command's wait on the stack still uses this window: stop the
    // run, close once they have returned.
    if (anyRunOnStack() || commandWaiting()) {
        m_closeRequested = true;
        if (anyRunOnStack())
            requestStop();
        event->ignore();
        return;
    }
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        saveGeometryToIni();
    TimerWeeklyCheck->stop();
    closeAllWindows(this);
    event->accept();
}

// ---- RunHost ----

void frmMain::ShowStatus(const QString &text)
{
    m_elaStatusMessage->setText(text);
    if (m_statusEcho || m_journalEcho)
        ConsoleLine::print(stdout, text, ConsoleLine::Priority::Info);
}

QString frmMain::statusText() const
{
    return m_elaStatusMessage->text();
}

void frmMain::guideFirstStart()
{
    if (!Settings.ServerName.trimmed().isEmpty())
        return;
    ShowStatus(frmMainText::FirstStart + AppPaths::defaultSaveFolder() + frmMainText::FirstStartSuffix);
    QTimer::singleShot(0, this, [this] {
        SSCommand2_Click();
        if (!Settings.ServerName.trimmed().isEmpty())
            ShowStatus(QString());
    });
}

void frmMain::ShowProgress(const QString &fileName, qint64 total, qint64 received)
{
    if (total < 1) {
        m_sspProgress->hide();
        ShowStatus(QString());
        return;
    }
    // Nearest integer, halves to the even neighbour (the default rounding mode).
    double percent = std::nearbyint(static_cast<double>(received) / static_cast<double>(total) * 100.0);
    if (percent > 99)
        percent = 100;
    percent = std::max(percent, 0.0);
    m_sspProgress->setValue(static_cast<int>(percent));
    // The text must stay readable once the fill has passed it.
    QPalette palette = m_sspProgress->palette();
    const QColor text = percent > 49 ? QApplication::palette().color(QPalette::HighlightedText)
                                     : QApplication::palette().color(QPalette::ButtonText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::WindowText, text);
    m_sspProgress->setPalette(palette);
    m_sspProgress->show();
    ShowStatus(frmMainText::Downloading + QString::number(received) + frmMainText::Bytes + fileName);
}

void frmMain::repaintWindow()
{
    if (isVisible())
        repaint();
}

void frmMain::setBusy(bool busy)
{
    m_busy = busy;
    m_sspGlove->setPixmap(m_imgGlove[busy ? 1 : 0].pixmap(16, 16));
    m_sspGlove->setProperty("busy", busy);
}

void frmMain::setDialAbortVisible(bool visible)
{
    m_cmdDialupAbort->setVisible(visible);
}

MessageBox::Answer frmMain::showMessage(const QString &text, MessageBox::Style style)
{
    return MessageBox::show(text, style, frmMainText::Title);
}

// ---- the file list ----

QDateTime frmMain::newEntryReference() const
{
    const QDateTime now = Clock::instance().now();
    const QVariant stored = ReadIniValue(SectionConfig, KeyLastDLDate, formatDateTime(now));
    return parseDateTime(stored.toString()).value_or(now);
}

static_assert(int(frmMain::ColMark) == int(FileGridModel::ColMark) &&
              int(frmMain::ColMailDate) == int(FileGridModel::ColMailDate));

void frmMain::RefreshFileList()
{
    m_listModel->rebuild(newEntryReference());
    m_faList->fitColumnWidths(ColMark, ColMailDate);
    m_faList->setCurrentRow(0);
}

// A mail stored by a run: one row is added (or, for a replaced entry, moved)
// where the order by handled time puts it; the other rows and the selection
// stay as they are.
void frmMain::RefreshFileListEntry(int index)
{
    // A new run (a new LastDLDate) changes which rows are bold: that is one
    // rebuild per run, not per mail.
    const int row = newEntryReference() == m_listModel->newAfter() ? m_listModel->stored(index) : 0;
    if (row == 0) {
        RefreshFileList();
        return;
    }
    m_faList->widenColumnsFor(row, ColMark, ColMailDate);
}

void frmMain::RefreshFileMarks()
{
    m_faList->setCurrentColumn(ColMark);
    m_readList.refreshPresence();
    m_listModel->presenceChanged();
}

QList<ReadEntry> frmMain::selectedEntries() const
{
    QList<ReadEntry> entries;
    for (const int row : m_faList->selectedRows())
        if (const ReadEntry *e = m_listModel->entry(row))
            entries.append(*e);
    return entries;
}

void frmMain::faList_SelChange()
{
    bool anySelected = false;
    bool anyPresent = false;
    for (const int row : m_faList->selectedRows()) {
        const ReadEntry *e = m_listModel->entry(row);
        anySelected = anySelected || e;
        if (e && e->FilePresent) {
            anyPresent = true;
            break;
        }
    }
    m_mnuFileListSend->setEnabled(anyPresent);
    m_mnuListSend->setEnabled(anyPresent);
    for (QAction *a : {m_mnuFileRestore, m_mnuFileListDelete, m_mnuListFileRestore, m_mnuListDelete})
        a->setEnabled(anySelected);
}

void frmMain::faList_MouseUp(int button, int shift, int x, int y)
{
    Q_UNUSED(shift)
    if (button == FileGrid::RightButton)
        m_mnuList->popup(m_faList->mapToGlobal(QPoint(x, y)));
}

void frmMain::faList_LostFocus() {}

void frmMain::mnuFileListSelectAll_Click()
{
    if (m_faList->rowCount() <= 1)
        return;
    m_faList->setCurrentRow(1);
    m_faList->extendSelection(m_faList->rowCount() - 1);
    m_faList->setFocus();
}

// ---- commands ----

void frmMain::setDownloadEnabled(bool enabled)
{
    m_downloadEnabled = enabled;
    m_SSCommand[0]->setEnabled(enabled);
    m_mnuDownload->setEnabled(enabled);
    m_mnuDownloadAll->setEnabled(enabled);
}

void frmMain::setAutomaticMode()
{
    setWindowTitle(windowTitle() + frmMainText::AutoModeSuffix);
    for (QToolButton *button : m_SSCommand)
        button->setEnabled(false);
    m_nextRunUnattended = true; // the one run automatic mode starts
}

void frmMain::SSCommand1_Click()
{
    if (isBusy())
        return;
    DownloadAll = false;
    DoDownload();
}

void frmMain::mnuDownloadAll_Click()
{
    if (isBusy())
        return;
    DownloadAll = true;
    DoDownload();
    DownloadAll = false;
}

void frmMain::DoDownload()
{
    // A second run never starts inside the first (the busy state guards the
    // commands; this guards every other caller as well), nor inside another
    // command's wait.
    if (m_inRun || commandWaiting())
        return;
    m_inRun = true;
    runDownload();
    m_inRun = false;
    if (m_closeRequested)
        close();
}

void frmMain::runDownload()
{
    m_run->DownloadAll = DownloadAll;
    m_run->DoDownload();
    m_run->DownloadAll = false;
    m_lastRunExitCode = m_run->exitCode();
    m_lastDownloadTime = m_run->LastDownloadTime;
    const bool unattended = m_nextRunUnattended;
    m_nextRunUnattended = false;
    // Nobody watched this run: say what it brought, where someone can see it.
    if (unattended && !m_run->NewFiles.isEmpty() && !headlessPlatform()) {
        const NewFilesNotice notice = NewFilesNotice::of(m_run->NewFiles);
        // Without a session bus there is no desktop to tell; the status line has it.
        (void)DesktopNotifier::instance().notify(notice.summary, notice.body);
    }
}

void frmMain::requestStop()
{
    m_run->requestStop();
}

void frmMain::TimerWeeklyCheck_Timer()
{
    if (isBusy() || m_inRun || commandWaiting())
        return;
    m_nextRunUnattended = true;
    DoDownload();
}

void frmMain::cmdDialupAbort_Click()
{
    m_run->cmdDialupAbort_Click();
    emit dialupAbortRequested();
}

int frmMain::runSettingDialog()
{
    if (commandWaiting())
        return 0;
    std::unique_ptr<frmSetting> dialog;
    {
        // Making the dialog asks the system for its dial-up entries, which may take a while.
        const CommandWait wait(*this);
        wait.showWaitCursor();
        dialog = std::make_unique<frmSetting>(this);
    }
    // The window was closed meanwhile: the dialog has nothing left to set.
    if (m_closeRequested)
        return 0;
    dialog->exec();
    return dialog->SettingStatus();
}

void frmMain::SSCommand2_Click()
{
    if (runSettingDialog() == 1) {
        // Only the button follows the new server name; the two menu items
        // keep their state until the window is loaded again.
        m_SSCommand[0]->setEnabled(!Settings.ServerName.isEmpty());
        RefreshFileMarks();
    }
}

QString frmMain::manualPath()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/kivrel/manual.html"));
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    // Run from the build tree: the manual of the sources this was built from.
    const QDir sourceUi = QFileInfo(QStringLiteral(__FILE__)).absoluteDir();
    return QDir::cleanPath(sourceUi.absoluteFilePath(QStringLiteral("../../docs/manual.html")));
}

void frmMain::setUrlOpener(UrlOpener opener)
{
    g_urlOpener = std::move(opener);
}

static void openUrl(const QUrl &url)
{
    if (g_urlOpener)
        g_urlOpener(url);
    else
        QDesktopServices::openUrl(url);
}

void frmMain::SSCommand3_Click()
{
    openUrl(QUrl::fromLocalFile(manualPath()));
}

void frmMain::ShowURL(const QString &address)
{
    openUrl(QUrl(address));
}

void frmMain::closeAllWindows(QWidget *except)
{
    // Closing one window may close or delete others: the list is taken afresh
    // after each, and a window that refuses (a run still on the stack) is asked once.
    QSet<const QWidget *> asked;
    for (;;) {
        QWidget *next = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window != except && window->isVisible() && !asked.contains(window)) {
                next = window;
                break;
            }
        }
        if (!next)
            return;
        asked.insert(next);
        next->close();
    }
}

void frmMain::SSCommand4_Click()
{
    closeAllWindows();
    // A hidden main window (tests) still closes.
    if (!isVisible())
        close();
}

void frmMain::mnuHelpAbout_Click()
{
    // One box: a second click brings the open one to the front.
    if (!m_about) {
        m_about = new frmAbout(this);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

// ---- send and remove ----

void frmMain::mnuFileListSend_Click()
{
    if (commandWaiting())
        return;
    // The files are taken before the folder picker: a run that started
    // meanwhile would have rebuilt the grid and its selection.
    QStringList names;
    for (const ReadEntry &e : selectedEntries())
        names << e.FileName;
    CommandWait wait(*this);
    QString dest = ReadIniValue(SectionConfig, KeySendFolder, DefaultSendFolder).toString();
    dest = frmDir::Execute(dest, frmMainText::SendTitle);
    if (dest.isEmpty())
        return;
    WriteIniValue(SectionConfig, KeySendFolder, dest);
    wait.showWaitCursor();
    ListCommands::sendFiles(names, dest);
}

void frmMain::mnuFileListDelete_Click()
{
    QStringList uids;
    for (const ReadEntry &e : selectedEntries())
        uids << e.Uid;
    ListCommands::removeRecords(m_readList, uids);
    RefreshFileList();
}

// ---- restore ----

void frmMain::mnuFileRestore_Click()
{
    if (commandWaiting())
        return;
    // A restore parses and decodes while a run may be between the same steps:
    // keep the two apart.
    if (isBusy()) {
        MessageBox::show(frmMainText::RestoreRefusedBusy, MessageBox::Exclamation, frmMainText::Title);
        return;
    }
    // The records are taken before any wait: a run started meanwhile would
    // reload and re-sort the list, and its rows would name other files.
    const QList<ReadEntry> selected = selectedEntries();
    QList<ReadEntry> files;
    for (const ReadEntry &e : selected)
        if (RestoreFromBackup::namesFile(e))
            files.append(e);
    CommandWait wait(*this);
    if (MessageBox::show(QString::number(selected.size()) + frmMainText::RestoreQuestion, MessageBox::OkCancel,
                         frmMainText::Title) != MessageBox::Ok)
        return;
    wait.showWaitCursor();
    int restored = 0;
    for (const ReadEntry &file : std::as_const(files)) {
        ShowStatus(file.FileName + QStringLiteral(" (") + file.Description + frmMainText::RestoringSuffix);
        QCoreApplication::processEvents();
        repaintWindow();
        if (RestoreFromBackup::restoreEntry(file))
            ++restored;
    }
    wait.hideWaitCursor();
    ShowStatus(QString());
    QCoreApplication::processEvents();
    repaintWindow();
    if (restored != 0)
        MessageBox::show(QString::number(restored) + frmMainText::RestoredSuffix, MessageBox::OkOnly,
                         frmMainText::Title);
    else
        MessageBox::show(frmMainText::RestoreFailed, MessageBox::Exclamation, frmMainText::Title);
    RefreshFileMarks();
}
