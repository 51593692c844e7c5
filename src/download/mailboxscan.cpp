#include "download/mailboxscan.h"

#include "core/activitylog.h"
#include "core/apppaths.h"
#include "core/datakinds.h"
#include "core/filecopy.h"
#include "core/pathutil.h"
#include "core/syncbarrier.h"
#include "core/wildcard.h"
#include "download/filenamepattern.h"
#include "download/lookahead.h"
#include "download/readlist.h"
#include "download/runhost.h"
#include "download/scantexts.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/messagebox.h"
#include "pop3/backuplog.h"
#include "pop3/lzharchive.h"
#include "pop3/mailboxlisting.h"
#include "pop3/messageparser.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <sys/stat.h>

namespace {

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

// The file's inode number, 0 when there is no file. A transfer renames a new
// file over the path, so the number tells whether a file was written.
ino_t inodeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// The reply of a command that is gone: failed, nothing in it.
const aPOP::Reply GoneReply{QByteArray(), CommandStatus::Failed};

// Releases a reply when the step that read it ends.
class ReleaseAtEnd
{
public:
    ReleaseAtEnd(aPOP &pop, aPOP::Id id) : m_pop(pop), m_id(id) {}
    ~ReleaseAtEnd() { m_pop.release(m_id); }
    ReleaseAtEnd(const ReleaseAtEnd &) = delete;
    ReleaseAtEnd &operator=(const ReleaseAtEnd &) = delete;

private:
    aPOP &m_pop;
    aPOP::Id m_id;
};

} // namespace

MailboxScan::MailboxScan(DownloadRun &run, RunHost &host, aPOP &pop, const ScanOptions &options,
                         const MailboxScan *earlier)
    : m_run(run), m_host(host), m_pop(pop), m_options(options), m_pipeliningAllowed(options.pipelining && !earlier)
{
    if (!earlier)
        return;
    // What the earlier pass handled is done; what it could not finish is tried again.
    for (const MessageInfo &m : earlier->m_info)
        if (m.Examined && m.Recorded && !m.Uid.isEmpty())
            m_carried.insert(m.Uid, m);
    m_decoded = earlier->m_decoded;
}

bool MailboxScan::pipelineFailed() const
{
    // A reply time-out is not tried again: a server whose replies never end
    // would cost it once more.
    return m_pipelined && m_lineDropped && !stopped() && !timedOut();
}

bool MailboxScan::timedOut() const
{
    return m_timedOut || m_pop.timedOut();
}

bool MailboxScan::stopped() const
{
    return m_run.stopRequested();
}

DownloadRun::Result MailboxScan::run()
{
    if (!prepare())
        return m_result;
    if (!connectAndLogin())
        return m_result;
    if (count() == Step::Go && readIds() == Step::Go) {
        compareWithReadList();
        if (readSizes() == Step::Go && (m_unread > 0 || m_run.DownloadAll))
            examineAll();
        if (!m_lineDropped && !stopped())
            deletionPass();
    }
    close();
    return m_result;
}

// A. The primary save folder and the backup-log folder.
bool MailboxScan::prepare()
{
    if (m_options.saveFolders.primary().isEmpty()) {
        // Nowhere to put a file: a path made of the file name alone would land
        // wherever the program happens to run.
        WriteActivityLog(ScanText::NoSaveFolder);
        m_host.ShowStatus(ScanText::NoSaveFolder);
        m_result = DownloadRun::Result::NoSaveFolder;
        return false;
    }
    m_logFolder = AppPaths::programFolder() + QStringLiteral("/KVLOG");
    if (m_options.backupLog && !QDir(m_logFolder).exists()) {
        if (!CreateFolderPath(m_logFolder))
            m_host.showMessage(ScanText::backupFolderFailed(m_logFolder), MessageBox::Exclamation | MessageBox::OkOnly);
    }
    m_host.repaintWindow();
    return true;
}

// B. Connection and login.
bool MailboxScan::connectAndLogin()
{
    WriteActivityLog(ScanText::ConnectStart + m_options.serverName + QStringLiteral(")"));
    m_pop.setPort(m_options.port);
    m_pop.setSecurity(m_options.security);
    m_pop.setPipeliningAllowed(m_pipeliningAllowed);
    m_pop.setAuthMethod(m_options.authMethod);
    if (!m_pop.ConnectByName(m_options.serverName)) {
        WriteActivityLog(ScanText::ConnectFailedLog + m_pop.lastFailure() + QStringLiteral(")"));
        WriteActivityLog(ScanText::CheckEnd);
        m_result = DownloadRun::Result::ConnectFailed;
        return false;
    }
    WriteActivityLog(ScanText::Connected);
    m_host.repaintWindow();
    WriteActivityLog(ScanText::AuthStart);
    const bool loggedIn = m_pop.Authorize(m_options.userName, m_run.password());
    for (const QString &note : m_pop.authNotes())
        WriteActivityLog(note);
    if (!loggedIn) {
        WriteActivityLog(ScanText::AuthFailedLog + m_pop.lastFailure() + QStringLiteral(")"));
        WriteActivityLog(ScanText::CheckEnd);
        m_result = ResponseCode::busy(m_pop.lastResponseCode()) ? DownloadRun::Result::MailboxBusy
                                                                 : DownloadRun::Result::LoginFailed;
        return false;
    }
    WriteActivityLog(ScanText::AuthDone);
    m_pipelined = m_pop.pipelining();
    return true;
}

// C. The message count: "+OK count size", plain numbers within reason.
MailboxScan::Step MailboxScan::count()
{
    m_host.ShowStatus(QStringLiteral("STAT"));
    WriteActivityLog(QStringLiteral("STAT"));
    const aPOP::Id statId = m_pop.STAT();
    if (m_pipelined) {
        // The count, the ids and the sizes in one round trip.
        m_uidlId = m_pop.UIDL();
        m_listId = m_pop.LIST();
    }
    const ReleaseAtEnd held(m_pop, statId);
    const aPOP::Reply &stat = awaitReply(statId);
    WriteActivityLog(replyText(stat.bytes));
    if (listingFailed(stat))
        return Step::End; // a refusal reads as an empty mailbox
    m_host.ShowStatus(replyText(stat.bytes).trimmed());
    const MailboxListing::Stat parsed = MailboxListing::parseStat(stat.bytes);
    if (!parsed.valid()) {
        WriteActivityLog(ScanText::BadReply + QStringLiteral("STAT)"));
        m_host.ShowStatus(ScanText::BadReply + QStringLiteral("STAT)"));
        m_result = DownloadRun::Result::BadReply;
        return Step::End;
    }
    m_count = parsed.count;
    if (m_count == 0)
        return Step::End;
    m_host.ShowStatus(num(m_count) + ScanText::Arrived);
    m_host.repaintWindow();
    return Step::Go;
}

// D. Unique ids. The table holds the messages UIDL names, never more than the
// count: its size follows what arrived, not a number the server claimed.
MailboxScan::Step MailboxScan::readIds()
{
    WriteActivityLog(QStringLiteral("UIDL"));
    const aPOP::Id uidlId = m_uidlId ? m_uidlId : m_pop.UIDL();
    const ReleaseAtEnd held(m_pop, uidlId);
    const aPOP::Reply &uidl = awaitReply(uidlId);
    WriteActivityLog(replyText(uidl.bytes));
    if (listingFailed(uidl) && m_lineDropped)
        return Step::End;
    const std::vector<QString> uids = uidl.status == CommandStatus::Complete
                                          ? MailboxListing::parseUidl(uidl.bytes, m_count)
                                          : std::vector<QString>(1);
    const qint64 highest = qint64(uids.size()) - 1;
    m_info.assign(uids.size(), MessageInfo());
    for (qint64 i = 1; i <= highest; ++i) {
        MessageInfo &m = m_info[std::size_t(i)];
        m.Uid = uids[std::size_t(i)];
        if (m.Uid.isEmpty()) {
            m.Unusable = true;
            WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::BadUid);
        }
    }
    if (highest < m_count)
        WriteActivityLog(ScanText::UidlShort + num(highest) + u'/' + num(m_count) + QStringLiteral(")"));
    return Step::Go;
}

void MailboxScan::compareWithReadList()
{
    WriteActivityLog(ScanText::CompareRead);
    m_unread = m_count;
    const ReadList &readList = m_host.readList();
    for (qint64 i = 1; i < qint64(m_info.size()); ++i) {
        MessageInfo &m = m_info[std::size_t(i)];
        m.Downloaded = false;
        const int found = m.Uid.isEmpty() ? -1 : readList.find(m.Uid);
        if (found >= 0) {
            const ReadEntry &e = readList.at(found);
            m.HandledTime = e.HandledTime;
            m.MailDate = e.MailDate;
            m.FileName = e.FileName;
            m.Recorded = true;
            --m_unread;
        }
        const auto carried = m_carried.constFind(m.Uid);
        if (!m.Uid.isEmpty() && carried != m_carried.constEnd()) {
            // Examined by the earlier pass of this run: what it learnt counts
            // here (the deletion pass), also when nothing is left to examine.
            const qint64 size = m.Size;
            m = *carried;
            m.Size = size;
        }
        WriteActivityLog(num(i) + ReadList::textOf(m.HandledTime) + u' ' + ReadList::textOf(m.MailDate) + u' ' +
                         m.FileName + u' ' + m.Uid);
    }
    m_host.ShowStatus(num(m_count) + ScanText::Arrived + ScanText::Unread + num(m_unread) + QStringLiteral("通)"));
}

// E. Sizes.
MailboxScan::Step MailboxScan::readSizes()
{
    WriteActivityLog(QStringLiteral("LIST\r\n"));
    const aPOP::Id listId = m_listId ? m_listId : m_pop.LIST();
    const ReleaseAtEnd held(m_pop, listId);
    const aPOP::Reply &list = awaitReply(listId);
    WriteActivityLog(replyText(list.bytes));
    if (listingFailed(list))
        return m_lineDropped ? Step::End : Step::Go;
    const MailboxListing::Sizes sizes = MailboxListing::parseList(list.bytes, qint64(m_info.size()) - 1);
    for (std::size_t n = 1; n < m_info.size(); ++n)
        m_info[n].Size = sizes.size[n];
    for (qint64 n : sizes.unusable) {
        MessageInfo &m = m_info[std::size_t(n)];
        if (!m.Unusable && !m.Uid.isEmpty())
            WriteActivityLog(ScanText::MailNumber + num(n) + ScanText::BadSize);
        m.Unusable = true;
    }
    return Step::Go;
}

// F. Examining the messages.
void MailboxScan::examineAll()
{
    startLookahead(); // ids and sizes known: commands may go ahead
    for (qint64 i = 1; i < qint64(m_info.size()) && !m_lineDropped && !stopped(); ++i) {
        MessageInfo &m = m_info[std::size_t(i)];
        if (m.Unusable || m.Uid.isEmpty() || m.Size <= 0)
            continue;
        if (m_carried.contains(m.Uid) || (!m.FileName.isEmpty() && !m_run.DownloadAll)) {
            WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::SkipRead + m.FileName + QStringLiteral(")"));
            continue;
        }
        fillPipeline();
        examine(i);
        if (m_lookahead)
            m_lookahead->done(i);
        // The texts are only needed while the mail is examined.
        m.Body = QString();
        m.From = QString();
    }
}

void MailboxScan::examine(qint64 i)
{
    MessageInfo &m = m_info[std::size_t(i)];
    m_host.ShowStatus(ScanText::Checking + num(i) + u'/' + num(m_count));
    WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::Check);
    m.Subject.clear();
    m.FileName.clear();
    m.MailDate = Clock::instance().now();
    m.HandledTime = QString();
    m.Examined = true;
    WriteActivityLog(QString());

    WriteActivityLog(QStringLiteral("TOP ") + num(i) + QStringLiteral(" 20"));
    const aPOP::Id top = commandFor(i, Command::Top);
    const ReleaseAtEnd held(m_pop, top);
    const aPOP::Reply &reply = awaitReply(top);
    if (reply.status == CommandStatus::Complete) {
        if (reply.trailed) {
            leaveUnjudged(i);
            return;
        }
        if (m_mail.parse(reply.bytes, MessageParser::Mode::Reply)) {
            // A date that cannot be read keeps the time of examining: an empty
            // field would shift the record's fields when the list is read back.
            const QDateTime date = m_mail.date();
            if (date.isValid())
                m.MailDate = date;
            m.Subject = m_mail.subject();
            m.FileName = m_mail.fileName();
            m.FileNameBytes = m_mail.fileNameBytes();
            m.Body = m_mail.body();
            m.From = m_mail.from();
        }
    } else if (!lineUsable(reply) || !reply.refused()) {
        // A whole refusal is an answer (an other mail); a TOP that never came
        // whole says nothing about the mail.
        leaveUnjudged(i);
        return;
    }
    const QByteArray shown = reply.status == CommandStatus::Complete ? reply.bytes.left(80) : QByteArray();
    WriteActivityLog(replyText(shown) + QStringLiteral("...."));
    WriteActivityLog(QStringLiteral("MailDate=") + ReadList::textOf(m.MailDate));
    WriteActivityLog(QStringLiteral("Subject=") + m.Subject);
    WriteActivityLog(QStringLiteral("FileName=") + m.FileName);
    WriteActivityLog(QStringLiteral("Body=") + m.Body);
    classify(i);
}

void MailboxScan::classify(qint64 i)
{
    MessageInfo &m = m_info[std::size_t(i)];
    // A mail whose subject could not be read is never a mail of the service,
    // even where a configured subject has been emptied by hand.
    const bool hasSubject = !m.Subject.isEmpty();
    if (hasSubject && sameText(m.Subject, m_options.mailSubject)) {
        WriteActivityLog(ScanText::DataMail);
        if (m.FileName.isEmpty()) {
            // The attachment's headers may lie beyond the lines TOP shows.
            WriteActivityLog(ScanText::NameFromWhole);
            retrieve(i, true);
            return;
        }
        if (!wantedName(m)) {
            WriteActivityLog(ScanText::NotWanted);
            record(m, QStringLiteral("-"), GetDiscription(m.Body));
            return;
        }
        WriteActivityLog(ScanText::Wanted);
        retrieve(i);
    } else if (hasSubject && sameText(m.Subject, m_options.informationSubject) &&
               WildcardMatch(m.Body, ScanText::NoticePhrase)) {
        WriteActivityLog(ScanText::NoticeMail);
        record(m, QStringLiteral("-"), ScanText::NoticeDescription);
    } else {
        WriteActivityLog(ScanText::OtherMail);
        ++m_others;
    }
}

// Whether the attachment's name is one to store: of a chosen kind, and a name
// the file can be written under as the mail gives it.
bool MailboxScan::wantedName(const MessageInfo &m)
{
    if (m.FileName.contains(QChar::ReplacementCharacter)) {
        WriteActivityLog(ScanText::NameUnreadable + m.FileName + QStringLiteral(")"));
        return false;
    }
    const auto stored = m_storedNames.constFind(m.FileName);
    if (stored != m_storedNames.constEnd() && *stored != m.FileNameBytes) {
        WriteActivityLog(ScanText::NameCollides + m.FileName + QStringLiteral(")"));
        return false;
    }
    return MatchFileNamePattern(m.FileName, m_options.fileNamePatterns);
}

// `nameUnknown`: a data mail whose name is learnt from the whole mail.
void MailboxScan::retrieve(qint64 i, bool nameUnknown)
{
    MessageInfo &m = m_info[std::size_t(i)];
    const aPOP::Id retr = commandFor(i, Command::Retr);
    const ReleaseAtEnd held(m_pop, retr);
    m_run.beginReceiving(m.FileName, m.Size, retr);
    WriteActivityLog(QString());
    WriteActivityLog(QStringLiteral("RETR ") + num(i));
    const aPOP::Reply &reply = awaitReply(retr, true);
    m_run.showReceived(reply.bytes.size());
    if (reply.status != CommandStatus::Complete) {
        WriteActivityLog(ScanText::BodyFailed);
        lineUsable(reply);
        notStored(m);
    } else if (reply.trailed) {
        leaveUnjudged(i);
    } else {
        WriteActivityLog(ScanText::BodyDone);
        if (!m_mail.parse(reply.bytes, MessageParser::Mode::Reply)) {
            WriteActivityLog(ScanText::ParseFailed);
            notStored(m);
        } else {
            WriteActivityLog(ScanText::ParseDone);
            if (nameUnknown) {
                m.FileName = m_mail.fileName();
                m.FileNameBytes = m_mail.fileNameBytes();
                WriteActivityLog(QStringLiteral("FileName=") + m.FileName);
                if (!wantedName(m)) {
                    WriteActivityLog(ScanText::NotWanted);
                    m.Body = m_mail.body();
                    record(m, QStringLiteral("-"), GetDiscription(m.Body));
                    m_run.endReceiving();
                    return;
                }
                WriteActivityLog(ScanText::Wanted);
                m_run.CurrentFileName = m.FileName;
            }
            if (!storeRetrieved(m))
                return; // the failure's text stays in the status line
        }
    }
    m_run.endReceiving();
}

// A wanted data file that could not be stored whole: the mail stays on the server.
void MailboxScan::notStored(MessageInfo &m)
{
    m.StoreFailed = true;
    ++m_unstored;
}

// What the server sent of message i may be short: nothing is judged, recorded
// or deleted; the next run examines it again.
void MailboxScan::leaveUnjudged(qint64 i)
{
    MessageInfo &m = m_info[std::size_t(i)];
    m.Examined = false;
    m.Unjudged = true;
    if (stopped())
        return;
    WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::ViewIncomplete);
    ++m_unjudged;
}

// Decodes the retrieved mail into the primary folder, records it and copies
// it to the further folders. False when the file could not be stored whole:
// the mail stays unrecorded on the server and the scan goes on.
bool MailboxScan::storeRetrieved(MessageInfo &m)
{
    m.Body = m_mail.body();
    if (m_options.backupLog)
        (void)BackupLog::WriteLog(m_mail, m_logFolder); // a mail whose backup failed is still decoded
    WriteActivityLog(ScanText::DecodeStart);
    const QString target = m_options.saveFolders.primary() + u'/' + m.FileName;
    const ino_t before = inodeOf(target);
    // A data file counts only as a whole archive; a damaged one never replaces anything.
    QString error;
    if (!m_mail.transferToFile(target, &error, LzhArchive::checkFor(m.FileName, m_options.verifyArchives))) {
        WriteActivityLog(ScanText::DecodeFailed + error + QStringLiteral(")"));
        m_run.endReceiving();
        m_host.ShowStatus(error);
        notStored(m);
        return false;
    }
    m_storedNames.insert(m.FileName, m.FileNameBytes);
    WriteActivityLog(ScanText::DecodeDone);
    // An attachment not in base64 "transfers" without writing a file:
    // such a mail is recorded but stays on the server.
    const ino_t after = inodeOf(target);
    m.Downloaded = after != 0 && after != before;
    record(m, m.FileName, GetDiscription(m.Body));
    m_run.NewFiles.append(m.FileName);
    for (const QString &folder : m_options.saveFolders.others()) {
        const QString copy = folder + u'/' + m.FileName;
        QString error;
        if (m.Downloaded && !copyFileReplacing(target, copy, &error)) {
            WriteActivityLog(ScanText::CopyFailed + copy + QStringLiteral(" ") + error + QStringLiteral(")"));
            m.CopyFailed = true;
        }
    }
    ++m_decoded;
    return true;
}

bool MailboxScan::isOld(const MessageInfo &m, const QDateTime &now) const
{
    const qint64 keepMinutes = static_cast<qint64>(m_options.keepDays) * 1440;
    const QDateTime mailDate = m.MailDate.toDateTime();
    return m_options.deleteOldMail && mailDate.isValid() && minutesBetween(mailDate, now) > keepMinutes;
}

bool MailboxScan::wantsDeletion(const MessageInfo &m, const QDateTime &now) const
{
    if (m.Unusable || m.Uid.isEmpty() || m.Size <= 0 || !m.Examined || m.Unjudged || m.Subject.isEmpty())
        return false;
    const bool data = sameText(m.Subject, m_options.mailSubject);
    const bool information = sameText(m.Subject, m_options.informationSubject);
    if (!data && !information)
        return false;
    // A data mail goes only once its record is saved and every copy made.
    // A mail of the information subject has no file; a notice has a record.
    if (data && (!m.Recorded || m.StoreFailed || m.CopyFailed))
        return false;
    return isOld(m, now) || (m.Downloaded && m_options.deleteDownloadMail);
}

// G. Deletion pass: only mails examined in this run, and only what is stored.
void MailboxScan::deletionPass()
{
    // Every record and file of this run on disk before the first DELE.
    if (!m_host.readList().flush() || !SyncBarrier::sync()) {
        WriteActivityLog(ScanText::NotStored);
        return;
    }
    const QDateTime now = Clock::instance().now();
    std::vector<aPOP::Id> sent;
    for (qint64 i = 1; i < qint64(m_info.size()) && !stopped(); ++i) {
        const MessageInfo &m = m_info[std::size_t(i)];
        if (!wantsDeletion(m, now)) {
            if (m.StoreFailed && isOld(m, now))
                WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::KeptUnstored + m.FileName +
                                 QStringLiteral(")"));
            continue;
        }
        const aPOP::Id id = m_pop.DELE(i);
        WriteActivityLog(QStringLiteral("DELETE ") + num(i) + QStringLiteral("(") + m.FileName + QStringLiteral(")"));
        sent.push_back(id);
        if (!m_pipelined && awaitFailed(id))
            return;
    }
    for (aPOP::Id id : sent)
        if (m_pipelined && awaitFailed(id))
            return;
}

// A DELE that failed other than by a plain refusal ends the pass.
bool MailboxScan::awaitFailed(aPOP::Id id)
{
    const ReleaseAtEnd held(m_pop, id);
    const aPOP::Reply &reply = awaitReply(id);
    return reply.status != CommandStatus::Complete && !lineUsable(reply);
}

// H. Summary and close.
void MailboxScan::close()
{
    if (m_result != DownloadRun::Result::BadReply) {
        QString summary = m_decoded > 0 ? ScanText::NewData + num(m_decoded) + ScanText::Items : ScanText::NoNewData;
        if (m_others > 0)
            summary += ScanText::OtherMails + num(m_others) + ScanText::UseMailer;
        if (m_unstored > 0)
            summary += ScanText::Unstored + num(m_unstored) + ScanText::SeeLog;
        if (m_unjudged > 0)
            summary += ScanText::Unjudged + num(m_unjudged) + ScanText::NextRun;
        m_host.ShowStatus(summary);
    }
    using Result = DownloadRun::Result;
    if (m_result == Result::Completed) {
        if (stopped())
            m_result = Result::Stopped;
        else if (m_lineDropped)
            m_result = Result::LineDropped;
        else if (m_unstored > 0)
            m_result = Result::NotStored;
        else if (m_unjudged > 0)
            m_result = Result::Incomplete;
    }
    if (m_lineDropped && !m_pop.lastFailure().isEmpty())
        WriteActivityLog(ScanText::LineDroppedWhy + m_pop.lastFailure() + QStringLiteral(")"));
    WriteActivityLog(QStringLiteral("QUIT\r\n"));
    (void)m_pop.QUIT(); // a server that keeps the line open is closed below anyway
    m_pop.Destroy();
    WriteActivityLog(ScanText::CheckEnd);
}

// --- commands ahead (pipelining) ---------------------------------------------

bool MailboxScan::needsExamination(qint64 i) const
{
    const MessageInfo &m = m_info[std::size_t(i)];
    return !m.Unusable && !m.Uid.isEmpty() && m.Size > 0 && !m_carried.contains(m.Uid) &&
           (m.FileName.isEmpty() || m_run.DownloadAll);
}

// What a TOP reply will lead to, decided ahead without a trace: whether the
// mail is a wanted data file (its retrieval can then be sent at once).
bool MailboxScan::wantedAhead(const QByteArray &top) const
{
    MessageParser parser;
    if (!parser.parse(top, MessageParser::Mode::Reply))
        return false;
    const QString subject = parser.subject();
    return !subject.isEmpty() && sameText(subject, m_options.mailSubject) &&
           FileNamePatternMatches(parser.fileName(), m_options.fileNamePatterns);
}

// With several commands in flight the coming messages' commands go ahead.
void MailboxScan::startLookahead()
{
    if (!m_pipelined)
        return;
    Lookahead::Line line;
    line.submit = [this](const QByteArray &command, ReplyMode mode, qint64 size) {
        return m_pop.submit(command, mode, size);
    };
    line.reply = [this](aPOP::Id id) { return m_pop.reply(id); };
    line.wanted = [this](const QByteArray &top) { return wantedAhead(top); };
    line.release = [this](aPOP::Id id) { m_pop.release(id); };
    m_lookahead = std::make_unique<Lookahead>(std::move(line));
    for (qint64 i = 1; i < qint64(m_info.size()); ++i)
        if (needsExamination(i))
            m_lookahead->plan(i, m_info[std::size_t(i)].Size);
}

void MailboxScan::fillPipeline()
{
    if (m_lookahead && !m_lineDropped && !stopped())
        m_lookahead->fill();
}

// The command of message i: the one sent ahead, or sent now.
aPOP::Id MailboxScan::commandFor(qint64 i, Command command)
{
    if (m_lookahead)
        return command == Command::Top ? m_lookahead->top(i) : m_lookahead->retr(i);
    if (command == Command::Top)
        return m_pop.TOP_(i, 20);
    return m_pop.RETR(i, m_info[std::size_t(i)].Size);
}

const aPOP::Reply &MailboxScan::awaitReply(aPOP::Id id, bool retrieval)
{
    for (;;) {
        const aPOP::Reply *reply = m_pop.reply(id);
        if (!reply)
            return GoneReply;
        if (reply->status != CommandStatus::Waiting)
            return *reply;
        if (stopped()) {
            m_pop.giveUp(id, false);
            continue;
        }
        EventPump::instance().pumpOnce();
        fillPipeline();
        if (retrieval)
            applySilenceRules(id);
    }
}

// The silence rules of a retrieval: after 10 s, once the closing boundary is
// in, the mail is taken as it stands (the engine then proves the line in step
// before the next command); after 30 s it is given up.
void MailboxScan::applySilenceRules(aPOP::Id id)
{
    const aPOP::Reply *reply = m_pop.reply(id);
    if (!reply || reply->status != CommandStatus::Waiting)
        return;
    const qint32 silence = static_cast<qint32>(Clock::instance().tickCount() - m_pop.LastDataArrivalTime());
    const bool boundaryIn = silence > 10000 && m_mail.boundComplete(reply->bytes);
    if (boundaryIn && m_pop.commandsInFlight() > 1) {
        // Later replies queue behind this one: it cannot be taken as it stands.
        m_pop.giveUp(id, false);
        WriteActivityLog(ScanText::Timeout);
    } else if (boundaryIn) {
        WriteActivityLog(ScanText::BoundaryDone);
        m_pop.giveUp(id, true);
    } else if (silence > 30000) {
        m_pop.giveUp(id, false);
        WriteActivityLog(ScanText::Timeout);
        m_timedOut = true;
    }
}

// STAT, UIDL and LIST: a refusal is an answer (that listing is empty); a
// reply that never came whole leaves nothing to go on, and the line is dropped.
bool MailboxScan::listingFailed(const aPOP::Reply &reply)
{
    if (reply.status == CommandStatus::Complete)
        return false;
    if (!reply.refused() && !stopped())
        dropLine();
    return true;
}

void MailboxScan::dropLine()
{
    if (m_lineDropped)
        return;
    m_pop.Destroy();
    WriteActivityLog(ScanText::LineDropped);
    m_lineDropped = true;
}

bool MailboxScan::lineUsable(const aPOP::Reply &reply)
{
    if (stopped())
        return false;
    // With commands in flight, anything but a whole refusal leaves the later
    // replies without a place: the line goes (and the run falls back to one
    // command at a time).
    // One reply time-out per run: a server whose replies never end would
    // otherwise cost it again for every mail.
    if (!m_pop.lineBroken() && m_pop.WinsockState() == Pop3Transport::Connected && (reply.refused() || !m_pipelined) &&
        !timedOut())
        return true;
    dropLine();
    return false;
}

// A handled mail goes into the read list and the window shows it; the list
// reaches the disk by its saving rule.
void MailboxScan::record(MessageInfo &m, const QString &fileName, const QString &description)
{
    m.HandledTime = Clock::instance().now();
    const int index = m_host.readList().PutReadEntry(m.HandledTime, m.MailDate, fileName, m.Uid, description);
    m_host.RefreshFileListEntry(index);
    m.Recorded = true;
    // Saved every couple of seconds; what is left is saved before the deletion
    // pass, which deletes nothing when that fails.
    (void)m_host.readList().saveIfDue();
}
