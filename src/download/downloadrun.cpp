#include "download/downloadrun.h"

#include "core/activitylog.h"
#include "core/apppaths.h"
#include "core/atomicfile.h"
#include "core/datakinds.h"
#include "core/filecopy.h"
#include "core/inifile.h"
#include "core/pathutil.h"
#include "core/settings.h"
#include "core/syncbarrier.h"
#include "core/token.h"
#include "core/wildcard.h"
#include "dialup/cras32.h"
#include "dialup/dialersettings.h"
#include "dialup/ezras.h"
#include "download/mailboxscan.h"
#include "download/passwordcommand.h"
#include "download/readlist.h"
#include "download/runhost.h"
#include "download/runlock.h"
#include "download/scantexts.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/messagebox.h"
#include "platform/process.h"
#include "platform/secretstore.h"
#include "pop3/apop.h"
#include "pop3/attachmentdecoder.h"

#include <QDir>
#include <QFile>

namespace {

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

DownloadRun::DownloadRun(RunHost &host, aPOP &pop, DialupService *dialup, QObject *parent)
    : QObject(parent), m_host(host), m_pop(pop), m_dialup(dialup), m_ezRas(new EzRas(dialup, this))
{
    connect(&m_pop, &aPOP::StatusChanged, this, &DownloadRun::aPOP1_StatusChanged);
    connect(&m_pop, &aPOP::DataReceived, this, &DownloadRun::aPOP1_DataReceived);
    connect(m_ezRas, &EzRas::StatusChanged, this, &DownloadRun::EzRas1_StatusChanged);
}

DownloadRun::~DownloadRun() = default;

bool DownloadRun::IsNeedDialup(const QString &entryName) const
{
    return ::IsNeedDialup(entryName, m_dialup);
}

void DownloadRun::EzRas1_StatusChanged(int, const QString &strStatusMsg)
{
    static const QStringList progress = {
        QStringLiteral("認証処理を開始しようとしています。"), QStringLiteral("認証ｲﾍﾞﾝﾄが発生しました。"),
        QStringLiteral("投影段階を開始しようとしています。"), QStringLiteral("ﾌﾟﾛｼﾞｪｸｼｮﾝ情報にｱｸｾｽできます。")};
    QString shown = strStatusMsg;
    if (progress.contains(strStatusMsg, Qt::CaseInsensitive)) {
        shown = QStringLiteral("ﾕｰｻﾞｰ名・ﾊﾟｽﾜｰﾄﾞを認証中...");
    } else if (sameText(strStatusMsg, QStringLiteral("ｸﾗｲｱﾝﾄが認証を正常に完了しました。"))) {
        shown = QStringLiteral("ﾕｰｻﾞｰ名・ﾊﾟｽﾜｰﾄﾞ認証を完了");
    } else if (sameText(strStatusMsg, QStringLiteral("正常に接続しました。"))) {
        shown = QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ接続完了");
        DialState = DialStatus::Connected;
    } else if (sameText(strStatusMsg, QStringLiteral("接続を解除したか､ 接続が失敗しました。"))) {
        // After a finished scan the summary stays in the status line.
        shown = ScanFinished ? QString() : QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ接続を解除しました");
        DialState = DialStatus::Disconnected;
    }
    if (!shown.isEmpty())
        m_host.ShowStatus(shown);
}

void DownloadRun::cmdDialupAbort_Click()
{
    m_ezRas->HangUp();
}

bool DownloadRun::connectIfNeeded(bool &dialled, bool &external, QString &entry)
{
    dialled = false;
    external = false;
    if (!Settings.UseDialup)
        return true;
    external = WildcardMatch(Settings.DialupEntryName, QStringLiteral("RCONNECT*"));
    entry = external ? ReadDialerSettings() : Settings.DialupEntryName;
    if (!IsNeedDialup(entry))
        return true; // a connection that is already up is used and left up

    DialState = DialStatus::Dialling;
    if (external) {
        m_host.ShowStatus(QStringLiteral("RCONNECT.EXEで") + entry + QStringLiteral("に接続しています..."));
        const int result = RunAndWait(ExternalDialerProgram(ExternalDialer::Connect), {});
        if (result != 0) {
            m_host.showMessage(StandardErrorText(result), MessageBox::OkOnly);
            return false;
        }
        if (IsNeedDialup(entry)) {
            RunAndWait(ExternalDialerProgram(ExternalDialer::Disconnect), {entry, QStringLiteral("/NC")});
            m_host.ShowStatus(QStringLiteral("接続に失敗しました。"));
            return false;
        }
        dialled = true;
        return true;
    }

    m_ezRas->DefaultSettings = true;
    m_ezRas->EntryName = Settings.DialupEntryName;
    m_host.setDialAbortVisible(true);
    if (!m_ezRas->Dial()) {
        m_host.setDialAbortVisible(false);
        return false;
    }
    dialled = true;
    while (DialState == DialStatus::Dialling) {
        if (m_stopRequested)
            m_ezRas->HangUp();
        EventPump::instance().pumpOnce();
    }
    if (DialState == DialStatus::Disconnected) {
        m_host.setDialAbortVisible(false);
        m_ezRas->HangUp();
        return false;
    }
    return true;
}

bool DownloadRun::readPassword()
{
    m_password.clear();
    if (Settings.PasswordFromCommand) {
        // Nothing is sent when the command gives no secret; its output is never shown.
        const PasswordCommand::Result secret = PasswordCommand::run(Settings.PasswordCommand);
        if (!secret.ok) {
            const QString text = ScanText::PasswordCommandFailed + secret.failure;
            WriteActivityLog(text);
            m_host.ShowStatus(text);
            return false;
        }
        m_password = secret.secret;
        return true;
    }
    if (!Settings.PasswordInKeyring) {
        m_password = Settings.PassWord;
        return true;
    }
    const SecretStore::Result secret =
        SecretStore::instance().read(KeyringAccount(Settings.UserName, Settings.ServerName));
    if (!secret.ok()) {
        const QString text = ScanText::KeyringFailed + SecretStore::reasonText(secret);
        WriteActivityLog(text);
        m_host.ShowStatus(text);
        return false;
    }
    m_password = secret.secret;
    return true;
}

void DownloadRun::hangUp(bool external, const QString &entry)
{
    if (external)
        RunAndWait(ExternalDialerProgram(ExternalDialer::Disconnect), {entry, QStringLiteral("/NC")});
    else
        m_ezRas->HangUp();
}

QString DownloadRun::lockFilePath()
{
    return RunLock::path();
}

void DownloadRun::requestStop()
{
    m_stopRequested = true;
    // The component's own waits (connecting, logging in, a stalled reply) end at once.
    if (m_running)
        m_pop.abort();
}

ExitCode DownloadRun::exitCode() const
{
    switch (m_result) {
    case Result::Completed:
        return ExitCode::Normal;
    case Result::Busy:
        return ExitCode::Busy;
    default:
        return ExitCode::CouldNotRun;
    }
}

void DownloadRun::aPOP1_StatusChanged()
{
    m_host.ShowStatus(m_pop.StatusMessage());
}

// Progress while a large mail arrives: nothing in its first quarter second (a
// mail that arrives sooner shows only its final line, ahead or in turn), then
// when the percentage moves or a quarter second has passed.
void DownloadRun::aPOP1_DataReceived()
{
    if (!Receiving)
        return;
    const quint32 now = Clock::instance().tickCount();
    if (Clock::elapsed(m_receivingSince, now) < ProgressQuietMs)
        return;
    const aPOP::Reply *reply = m_pop.reply(m_receivingId);
    const qint64 received = reply ? reply->bytes.size() : 0;
    const int percent = CurrentFileSize > 0 ? static_cast<int>(received * 100 / CurrentFileSize) : -1;
    if (percent == m_lastPercent && Clock::elapsed(m_lastProgressTick, now) < ProgressQuietMs)
        return;
    m_lastPercent = percent;
    m_lastProgressTick = now;
    m_host.ShowProgress(CurrentFileName, CurrentFileSize, received);
}

// One progress line per retrieval once its reply has ended: the same whether
// the reply came ahead of its turn or in it.
void DownloadRun::showReceived(qint64 received)
{
    if (Receiving)
        m_host.ShowProgress(CurrentFileName, CurrentFileSize, received);
}

void DownloadRun::removeLeftTemporaryFiles()
{
    const QSet<QString> ownFiles = {QStringLiteral("Kivrel.dat"), QStringLiteral("Kivrel.ini")};
    ::removeLeftTemporaryFiles(AppPaths::folder(AppPaths::Kind::Data), ownFiles);
    if (!AppPaths::oneFolder())
        ::removeLeftTemporaryFiles(AppPaths::folder(AppPaths::Kind::Config), ownFiles);
    // In the save folders: the decoder's files, and copies of files the list holds.
    const ReadList &list = m_host.readList();
    const auto dataFile = [&list](const QString &name) { return list.namesFile(name); };
    for (const QString &folder : SaveFolders::fromSettings().all())
        ::removeLeftTemporaryFiles(folder, dataFile, AttachmentDecoder::TemporaryPrefix);
}

void DownloadRun::DoDownload()
{
    if (m_running || m_host.isBusy())
        return; // one run at a time
    m_running = true;
    m_stopRequested = false;
    m_pop.clearAbort();
    NewFiles.clear();

    // One run per program folder, across processes too.
    const RunLock lock;
    if (!lock.held()) {
        const bool busy = lock.state() == RunLock::State::Busy;
        m_host.ShowStatus(busy ? ScanText::OtherRunBusy : ScanText::lockFailed(lockFilePath()));
        m_result = busy ? Result::Busy : Result::LockFailed;
        m_running = false;
        return;
    }

    // Start from the list on disk: another process (a scheduled `kivrel /a` while
    // a window stays open) may have recorded mails since it was loaded, and the
    // saves of this run would otherwise drop those records.
    if (m_host.readList().reloadIfChanged())
        m_host.RefreshFileList();
    removeLeftTemporaryFiles();
    // The default save folder is made when it is first needed.
    if (Settings.SaveFolder[0] == AppPaths::defaultSaveFolder())
        QDir().mkpath(Settings.SaveFolder[0]);

    WriteIniValue(QStringLiteral("Config"), QStringLiteral("LastDLDate"), Clock::instance().now());
    ScanFinished = false;
    m_host.repaintWindow();
    m_host.setBusy(true);

    if (!readPassword()) {
        m_result = Settings.PasswordFromCommand ? Result::PasswordCommandFailed : Result::KeyringFailed;
        m_host.setBusy(false);
        m_running = false;
        return;
    }

    bool dialled = false;
    bool external = false;
    QString entry;
    if (connectIfNeeded(dialled, external, entry)) {
        m_host.setDialAbortVisible(false);
        // Files written by the scan reach the disk at its barriers, not one by one.
        const SyncBarrier::Scope barrier;
        Download();
        // Records stored since the last save; the scope's end syncs the rest.
        // A failure leaves them for the next run, which fetches those mails
        // again: the run says so instead of its summary.
        if (!m_host.readList().flush()) {
            WriteActivityLog(ScanText::ListNotSaved);
            m_host.ShowStatus(ScanText::ListNotSaved);
            m_result = Result::ListNotSaved;
        }
        LastDownloadTime = Clock::instance().now();
        ScanFinished = true;
        if (dialled)
            hangUp(external, entry);
        // The summary would read as if every mail had been examined.
        if (m_result == Result::LineDropped)
            m_host.ShowStatus(ScanText::LineDropped);
    } else {
        m_result = Result::DialFailed;
    }
    m_password.clear();

    m_host.setBusy(false);
    m_running = false;
}

void DownloadRun::Download()
{
    const ScanOptions options = ScanOptions::fromSettings();
    MailboxScan scan(*this, m_host, m_pop, options);
    m_result = scan.run();
    if (scan.pipelineFailed()) {
        // The server offered several commands in flight and then lost one of
        // the replies: once more on a new line, one command at a time.
        WriteActivityLog(ScanText::PipeliningOff);
        MailboxScan again(*this, m_host, m_pop, options, &scan);
        m_result = again.run();
    }
}

void DownloadRun::beginReceiving(const QString &fileName, qint64 size, ReplyMatcher::Id retrieval)
{
    m_receivingId = retrieval;
    CurrentFileName = fileName;
    CurrentFileSize = size;
    Receiving = true;
    m_lastPercent = -1;
    m_receivingSince = m_lastProgressTick = Clock::instance().tickCount();
}

void DownloadRun::endReceiving()
{
    m_host.ShowProgress(QString(), 0, 0);
    Receiving = false;
}
