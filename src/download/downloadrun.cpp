#include "download/downloadrun.h"

#include "core/activitylog.h"
#include "core/apppaths.h"
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
#include "download/filenamepattern.h"
#include "download/readlist.h"
#include "download/runhost.h"
#include "download/scantexts.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/messagebox.h"
#include "platform/process.h"
#include "pop3/apop.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

#include <sys/stat.h>
#include <vector>

namespace {

// One mailbox message during one scan.
struct MessageInfo {
    QString Uid;
    QString FileName;
    qint64 Size = 0;
    QVariant MailDate;
    QString Subject;
    QString Body;
    QString From;
    QVariant HandledTime;
    bool Downloaded = false;
    // Examined with TOP in this run: only such a mail may be deleted.
    bool Examined = false;
    // Its record is in the read list (from before, or stored in this run).
    bool Recorded = false;
};

// The leading number of a text, as the program has always read numbers in replies:
// blanks skipped, digits taken, anything after them ignored; 0 when there are none.
qint64 leadingNumber(QStringView text)
{
    text = text.trimmed();
    qint64 value = 0;
    bool negative = false;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i) {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10)
            break;
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString num(qint64 n)
{
    return QString::number(n);
}

// Reply text for the activity log; protocol text is 7-bit, Japanese parts are JIS.
QString replyText(const QByteArray &reply)
{
    return QString::fromLatin1(reply);
}

// Minutes between two times, each taken to the whole minute (later minus earlier).
qint64 minutesBetween(const QDateTime &earlier, const QDateTime &later)
{
    const qint64 a = earlier.toSecsSinceEpoch() - earlier.time().second();
    const qint64 b = later.toSecsSinceEpoch() - later.time().second();
    return (b - a) / 60;
}

// Splits a multi-line reply at CR and LF and calls `line` for every line that
// starts with a digit and holds a blank: (number, text after the first blank).
template <typename F> void forEachNumberedLine(const QByteArray &reply, F line)
{
    Token token;
    token.Init(replyText(reply), QStringLiteral("\r\n"));
    while (!token.IsEnd()) {
        const QString field = token.NextToken();
        if (!WildcardMatch(field, QStringLiteral("#*")))
            continue;
        const qsizetype blank = field.indexOf(u' ');
        if (blank < 0)
            continue;
        line(leadingNumber(QStringView(field).left(blank)), QStringView(field).mid(blank + 1));
    }
}

// The file's inode number, 0 when there is no file. A transfer renames a new
// file over the path, so the number tells whether a file was written.
ino_t inodeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
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
        DialState = 2;
    } else if (sameText(strStatusMsg, QStringLiteral("接続を解除したか､ 接続が失敗しました。"))) {
        // After a finished scan the summary stays in the status line.
        shown = ScanFinished ? QString() : QStringLiteral("ﾀﾞｲﾔﾙｱｯﾌﾟ接続を解除しました");
        DialState = 3;
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

    DialState = 0;
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
    while (DialState == 0) {
        if (m_stopRequested)
            m_ezRas->HangUp();
        EventPump::instance().pumpOnce();
    }
    if (DialState == 3) {
        m_host.setDialAbortVisible(false);
        m_ezRas->HangUp();
        return false;
    }
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
    return AppPaths::inProgramFolder(QStringLiteral("Kivrel.lock"));
}

void DownloadRun::requestStop()
{
    m_stopRequested = true;
    // The component's own waits (connecting, logging in, a stalled reply) end at once.
    if (m_running)
        m_pop.abort();
}

int DownloadRun::exitCode() const
{
    switch (m_result) {
    case Result::Completed:
        return 0;
    case Result::Busy:
        return 3;
    default:
        return 1;
    }
}

void DownloadRun::aPOP1_StatusChanged()
{
    m_host.ShowStatus(m_pop.StatusMessage());
}

void DownloadRun::aPOP1_DataReceived()
{
    if (Receiving)
        showProgressThrottled();
}

// Progress is shown when the percentage moves or a quarter second has passed:
// a large mail arrives in thousands of chunks and the window need not redraw for each.
void DownloadRun::showProgressThrottled()
{
    const qint64 received = m_pop.ReceiveBytes();
    const int percent = CurrentFileSize > 0 ? static_cast<int>(received * 100 / CurrentFileSize) : -1;
    const quint32 now = Clock::instance().tickCount();
    if (percent == m_lastPercent && Clock::elapsed(m_lastProgressTick, now) < 250)
        return;
    m_lastPercent = percent;
    m_lastProgressTick = now;
    m_host.ShowProgress(CurrentFileName, CurrentFileSize, received);
}

void DownloadRun::waitForCommand()
{
    while (m_pop.CommandStatus() == aPOP::CommandWaiting) {
        if (m_stopRequested) {
            m_pop.setCommandStatus(aPOP::CommandFailed);
            break;
        }
        EventPump::instance().pumpOnce();
    }
}

void DownloadRun::DoDownload()
{
    if (m_running || m_host.isBusy())
        return; // one run at a time
    m_running = true;
    m_stopRequested = false;
    m_pop.clearAbort();

    // One run per program folder, across processes too.
    QLockFile lock(lockFilePath());
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        m_host.ShowStatus(ScanText::OtherRunBusy);
        m_result = Result::Busy;
        m_running = false;
        return;
    }

    // Start from the list on disk: another process (a scheduled `kivrel /a` while
    // a window stays open) may have recorded mails since it was loaded, and the
    // saves of this run would otherwise drop those records.
    if (m_host.readList().reloadIfChanged())
        m_host.RefreshFileList();

    WriteIniValue(QStringLiteral("Config"), QStringLiteral("LastDLDate"), Clock::instance().now());
    ScanFinished = false;
    m_host.repaintWindow();
    m_host.setBusy(true);

    bool dialled = false;
    bool external = false;
    QString entry;
    if (connectIfNeeded(dialled, external, entry)) {
        m_host.setDialAbortVisible(false);
        // Files written by the scan reach the disk at its barriers, not one by one.
        const SyncBarrier::Scope barrier;
        Download();
        // Records stored since the last save; the scope's end syncs the rest.
        // A failure leaves them for the next run, which fetches those mails again.
        (void)m_host.readList().flush();
        LastDownloadTime = Clock::instance().now();
        ScanFinished = true;
        if (dialled)
            hangUp(external, entry);
    } else {
        m_result = Result::DialFailed;
    }

    m_host.setBusy(false);
    m_running = false;
}

void DownloadRun::Download()
{
    const QString programFolder = AppPaths::programFolder();
    m_result = Result::Completed;

    // A. Preparation
    int primary = 0;
    for (int k = 0; k < 4; ++k) {
        if (!Settings.SaveFolder[k].trimmed().isEmpty()) {
            primary = k;
            break;
        }
    }
    const QString logFolder = programFolder + QStringLiteral("/KVLOG");
    if (Settings.BackupLog && !QDir(logFolder).exists()) {
        if (!CreateFolderPath(logFolder))
            m_host.showMessage(ScanText::backupFolderFailed(logFolder), MessageBox::Exclamation | MessageBox::OkOnly);
    }
    int decoded = 0;
    int others = 0;
    m_host.repaintWindow();

    // B. Connection and login
    WriteActivityLog(ScanText::ConnectStart + Settings.ServerName + QStringLiteral(")"));
    m_pop.setPort(Settings.Port);
    m_pop.setSecurity(Settings.Security);
    if (!m_pop.ConnectByName(Settings.ServerName)) {
        WriteActivityLog(ScanText::CheckEnd);
        m_result = Result::ConnectFailed;
        return;
    }
    WriteActivityLog(ScanText::Connected);
    m_host.repaintWindow();
    WriteActivityLog(ScanText::AuthStart);
    if (!m_pop.Authorize(Settings.UserName, Settings.PassWord)) {
        m_result = Result::LoginFailed;
        return;
    }
    WriteActivityLog(ScanText::AuthDone);

    // C. Message count
    m_host.ShowStatus(QStringLiteral("STAT"));
    WriteActivityLog(QStringLiteral("STAT"));
    const QByteArray stat = m_pop.STAT(true);
    WriteActivityLog(replyText(stat));
    qint64 count = 0;
    std::vector<MessageInfo> info;
    bool failed = false; // a decoding failure ends the scan at once
    // A command that failed without its whole reply leaves the rest of that reply
    // on its way: whatever arrives next could be taken for the next command's
    // reply (a shortened attachment for a whole one). Such a line is dropped and
    // the run ends; what was not examined is examined by the next run.
    bool lineDropped = false;
    auto dropLineUnlessInStep = [&] {
        if (m_stopRequested || m_pop.GetMessage().startsWith("-ERR"))
            return; // a refusal is a whole reply
        m_pop.Destroy();
        WriteActivityLog(ScanText::LineDropped);
        lineDropped = true;
    };
    // A handled mail goes into the read list and the window shows it; the list
    // reaches the disk by its saving rule.
    auto record = [this](MessageInfo &m, const QString &fileName, const QString &description) {
        m.HandledTime = Clock::instance().now();
        const int index = m_host.readList().PutReadEntry(m.HandledTime, m.MailDate, fileName, m.Uid, description);
        m_host.RefreshFileListEntry(index);
        m.Recorded = true;
        // Saved every couple of seconds; what is left is saved before the deletion
        // pass, which deletes no data mail when that fails.
        (void)m_host.readList().saveIfDue();
    };
    if (!stat.isEmpty() && !m_stopRequested) {
        m_host.ShowStatus(replyText(stat).trimmed());
        const QString text = replyText(stat);
        const qsizetype blank = text.indexOf(u' ', 4);
        // "+OK 3 12345": the count runs from the fifth character to the next blank.
        count = leadingNumber(QStringView(text).mid(4, blank < 0 ? -1 : blank - 4));
    }

    if (count > 0 && !m_stopRequested) {
        info.resize(static_cast<std::size_t>(count) + 1);
        m_host.ShowStatus(num(count) + ScanText::Arrived);
        m_host.repaintWindow();

        // D. Unique ids and the read list
        WriteActivityLog(QStringLiteral("UIDL"));
        const QByteArray uidl = m_pop.UIDL(0, true);
        WriteActivityLog(replyText(uidl));
        forEachNumberedLine(uidl, [&](qint64 n, QStringView rest) {
            if (n >= 1 && n <= count)
                info[static_cast<std::size_t>(n)].Uid = rest.trimmed().toString();
        });

        WriteActivityLog(ScanText::CompareRead);
        qint64 unread = count;
        const ReadList &readList = m_host.readList();
        for (qint64 i = 1; i <= count; ++i) {
            MessageInfo &m = info[static_cast<std::size_t>(i)];
            m.Downloaded = false;
            const int found = m.Uid.isEmpty() ? -1 : readList.find(m.Uid);
            if (found >= 0) {
                const ReadEntry &e = readList.at(found);
                m.HandledTime = e.HandledTime;
                m.MailDate = e.MailDate;
                m.FileName = e.FileName;
                m.Recorded = true;
                --unread;
            }
            WriteActivityLog(num(i) + ReadList::textOf(m.HandledTime) + u' ' + ReadList::textOf(m.MailDate) + u' ' +
                             m.FileName + u' ' + m.Uid);
        }
        m_host.ShowStatus(num(count) + ScanText::Arrived + ScanText::Unread + num(unread) + QStringLiteral("通)"));

        // E. Sizes
        WriteActivityLog(QStringLiteral("LIST\r\n"));
        const QByteArray list = m_pop.LIST(0, true);
        WriteActivityLog(replyText(list));
        forEachNumberedLine(list, [&](qint64 n, QStringView rest) {
            if (n >= 1 && n <= count)
                info[static_cast<std::size_t>(n)].Size = leadingNumber(rest);
        });

        // F. Examining the messages
        if (unread > 0 || DownloadAll) {
            for (qint64 i = 1; i <= count && !failed && !lineDropped && !m_stopRequested; ++i) {
                MessageInfo &m = info[static_cast<std::size_t>(i)];
                if (m.Uid.isEmpty() || m.Size <= 0)
                    continue;
                if (!m.FileName.isEmpty() && !DownloadAll) {
                    WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::SkipRead + m.FileName +
                                     QStringLiteral(")"));
                    continue;
                }
                m_host.ShowStatus(ScanText::Checking + num(i) + u'/' + num(count));
                WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::Check);

                m.Subject.clear();
                m.FileName.clear();
                m.MailDate = Clock::instance().now();
                m.HandledTime = QString();
                m.Examined = true;
                WriteActivityLog(QString());

                WriteActivityLog(QStringLiteral("TOP ") + num(i) + QStringLiteral(" 20"));
                m_pop.TOP_(static_cast<int>(i), 20);
                waitForCommand();
                QByteArray reply;
                if (m_pop.CommandStatus() != aPOP::CommandComplete)
                    dropLineUnlessInStep();
                if (m_pop.CommandStatus() == aPOP::CommandComplete) {
                    reply = m_pop.GetMessage();
                    if (m_pop.MakeData()) {
                        m.MailDate = m_pop.GetDate();
                        m.Subject = m_pop.GetSubject();
                        m.FileName = m_pop.GetFileName();
                        m.Body = m_pop.GetBody();
                        m.From = m_pop.GetFrom();
                    }
                }
                WriteActivityLog(replyText(reply.left(80)) + QStringLiteral("...."));
                WriteActivityLog(QStringLiteral("MailDate=") + ReadList::textOf(m.MailDate));
                WriteActivityLog(QStringLiteral("Subject=") + m.Subject);
                WriteActivityLog(QStringLiteral("FileName=") + m.FileName);
                WriteActivityLog(QStringLiteral("Body=") + m.Body);

                // A mail whose subject could not be read is never a mail of the service,
                // even where a configured subject has been emptied by hand.
                const bool hasSubject = !m.Subject.isEmpty();
                if (hasSubject && sameText(m.Subject, Settings.MailSubject)) {
                    WriteActivityLog(ScanText::DataMail);
                    if (!MatchFileNamePattern(m.FileName, Settings.FileNamePatterns)) {
                        WriteActivityLog(ScanText::NotWanted);
                        record(m, QStringLiteral("-"), GetDiscription(m.Body));
                        m.Body = QString();
                        continue;
                    }

                    // Retrieval
                    WriteActivityLog(ScanText::Wanted);
                    CurrentFileName = m.FileName;
                    CurrentFileSize = m.Size;
                    Receiving = true;
                    m_lastPercent = -1;
                    WriteActivityLog(QString());
                    WriteActivityLog(QStringLiteral("RETR ") + num(i));
                    m_pop.setExpectedSize(m.Size);
                    m_pop.RETR(static_cast<int>(i));
                    while (m_pop.CommandStatus() == aPOP::CommandWaiting) {
                        EventPump::instance().pumpOnce();
                        if (m_stopRequested) {
                            m_pop.setCommandStatus(aPOP::CommandFailed);
                            break;
                        }
                        const qint32 silence =
                            static_cast<qint32>(Clock::instance().tickCount() - m_pop.LastDataArrivalTime());
                        if (silence > 10000 && m_pop.BoundComplete()) {
                            WriteActivityLog(ScanText::BoundaryDone);
                            m_pop.setCommandStatus(aPOP::CommandComplete);
                            break;
                        }
                        if (silence > 30000) {
                            m_pop.setCommandStatus(aPOP::CommandFailed);
                            WriteActivityLog(ScanText::Timeout);
                            break;
                        }
                    }

                    if (m_pop.CommandStatus() != aPOP::CommandComplete) {
                        WriteActivityLog(ScanText::BodyFailed);
                        dropLineUnlessInStep();
                    } else {
                        WriteActivityLog(ScanText::BodyDone);
                        if (!m_pop.MakeData()) {
                            WriteActivityLog(ScanText::ParseFailed);
                        } else {
                            WriteActivityLog(ScanText::ParseDone);
                            m.Body = m_pop.GetBody();
                            if (Settings.BackupLog)
                                m_pop.WriteLog(logFolder);
                            WriteActivityLog(ScanText::DecodeStart);
                            const QString target = Settings.SaveFolder[primary] + u'/' + m.FileName;
                            const ino_t before = inodeOf(target);
                            if (!m_pop.TransferToFile(target)) {
                                WriteActivityLog(ScanText::DecodeFailed + m_pop.TransferToFileErrorMessage() +
                                                 QStringLiteral(")"));
                                m_host.ShowProgress(QString(), 0, 0);
                                Receiving = false;
                                m_host.ShowStatus(m_pop.TransferToFileErrorMessage());
                                m_result = Result::DecodeFailed;
                                failed = true;
                                break;
                            }
                            WriteActivityLog(ScanText::DecodeDone);
                            // An attachment not in base64 "transfers" without writing a file:
                            // such a mail is recorded but stays on the server.
                            const ino_t after = inodeOf(target);
                            m.Downloaded = after != 0 && after != before;
                            record(m, m.FileName, GetDiscription(m.Body));
                            for (int k = primary + 1; k < 4; ++k) {
                                if (!Settings.SaveFolder[k].isEmpty())
                                    copyFileReplacing(target, Settings.SaveFolder[k] + u'/' + m.FileName);
                            }
                            ++decoded;
                        }
                    }
                    m_host.ShowProgress(QString(), 0, 0);
                    Receiving = false;
                } else if (hasSubject && sameText(m.Subject, Settings.InformationSubject) &&
                           WildcardMatch(m.Body, ScanText::NoticePhrase)) {
                    WriteActivityLog(ScanText::NoticeMail);
                    record(m, QStringLiteral("-"), ScanText::NoticeDescription);
                } else {
                    WriteActivityLog(ScanText::OtherMail);
                    ++others;
                }
                // The texts are only needed while the mail is examined.
                m.Body = QString();
                m.From = QString();
            }
        }

        // G. Deletion pass: only mails examined in this run, and a data mail only
        // when its file or record is safely stored.
        if (!failed && !lineDropped && !m_stopRequested) {
            // Every record and file of this run on disk before the first DELE.
            const bool stored = m_host.readList().flush() && SyncBarrier::sync();
            const QDateTime now = Clock::instance().now();
            const qint64 keepMinutes = static_cast<qint64>(Settings.KeepDays) * 1440;
            for (qint64 i = 1; i <= count; ++i) {
                const MessageInfo &m = info[static_cast<std::size_t>(i)];
                if (m.Uid.isEmpty() || m.Size <= 0 || !m.Examined || m.Subject.isEmpty())
                    continue;
                const bool data = sameText(m.Subject, Settings.MailSubject);
                const bool notice = sameText(m.Subject, Settings.InformationSubject);
                if (!data && !notice)
                    continue;
                if (data && (!m.Recorded || !stored))
                    continue;
                bool remove = m.Downloaded && Settings.DeleteDownloadMail;
                const QDateTime mailDate = m.MailDate.toDateTime();
                if (Settings.DeleteOldMail && mailDate.isValid() && minutesBetween(mailDate, now) > keepMinutes)
                    remove = true;
                if (remove) {
                    m_pop.DELE(static_cast<int>(i));
                    WriteActivityLog(QStringLiteral("DELETE ") + num(i) + QStringLiteral("(") + m.FileName +
                                     QStringLiteral(")"));
                }
            }
        }
    }

    // H. Summary and close
    if (!failed) {
        QString summary;
        if (decoded > 0)
            summary = ScanText::NewData + num(decoded) + ScanText::Items;
        else
            summary = ScanText::NoNewData;
        if (others > 0)
            summary += ScanText::OtherMails + num(others) + ScanText::UseMailer;
        m_host.ShowStatus(summary);
    }
    if (m_stopRequested && m_result == Result::Completed)
        m_result = Result::Stopped;
    if (lineDropped && m_result == Result::Completed)
        m_result = Result::LineDropped;
    WriteActivityLog(QStringLiteral("QUIT\r\n"));
    m_pop.QUIT();
    m_pop.Destroy();
    WriteActivityLog(ScanText::CheckEnd);
}
