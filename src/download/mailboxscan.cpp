#include "download/mailboxscan.h"

#include "core/activitylog.h"
#include "core/apppaths.h"
#include "core/datakinds.h"
#include "core/filecopy.h"
#include "core/pathutil.h"
#include "core/settings.h"
#include "core/syncbarrier.h"
#include "core/wildcard.h"
#include "download/filenamepattern.h"
#include "download/readlist.h"
#include "download/runhost.h"
#include "download/scantexts.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/messagebox.h"
#include "pop3/messageparser.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <limits>
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

// A number as RFC 1939 writes it: decimal digits only. -1 when the text is
// not such a number or exceeds `max`.
qint64 plainNumber(QByteArrayView text, qint64 max)
{
    if (text.isEmpty() || text.size() > 19)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > max)
            return -1;
    }
    return value;
}

// A unique id: 1 to 70 characters from 0x21 to 0x7E.
bool validUid(QByteArrayView uid)
{
    if (uid.isEmpty() || uid.size() > 70)
        return false;
    for (char c : uid)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

QByteArrayView trimBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && text.front() == ' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);
    return text;
}

// The lines of a multi-line listing between its status line and its "." line,
// each as "number" and "rest": calls `line` for every line that starts with a digit.
template <typename F> void forEachListingLine(const QByteArray &reply, F line)
{
    qsizetype pos = reply.indexOf('\n');
    while (pos >= 0 && pos + 1 < reply.size()) {
        const qsizetype start = pos + 1;
        qsizetype end = reply.indexOf('\n', start);
        if (end < 0)
            end = reply.size();
        QByteArrayView text(reply.constData() + start, end - start);
        if (text.endsWith('\r'))
            text.chop(1);
        pos = end < reply.size() ? end : -1;
        if (text.isEmpty() || text.front() < '0' || text.front() > '9')
            continue;
        const qsizetype blank = text.indexOf(' ');
        line(text.first(blank < 0 ? text.size() : blank), blank < 0 ? QByteArrayView() : text.sliced(blank + 1));
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

MailboxScan::MailboxScan(DownloadRun &run, RunHost &host, aPOP &pop, const MailboxScan *earlier)
    : m_run(run), m_host(host), m_pop(pop), m_pipeliningAllowed(Settings.Pipelining && !earlier)
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
    return m_pipelined && m_lineDropped && !stopped() && !m_failed;
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
        if (!m_failed && !m_lineDropped && !stopped())
            deletionPass();
    }
    close();
    return m_result;
}

// A. The primary save folder and the backup-log folder.
bool MailboxScan::prepare()
{
    m_primary = -1;
    for (int k = 0; k < 4; ++k) {
        if (!Settings.SaveFolder[k].trimmed().isEmpty()) {
            m_primary = k;
            break;
        }
    }
    if (m_primary < 0) {
        // Nowhere to put a file: a path made of the file name alone would land
        // wherever the program happens to run.
        WriteActivityLog(ScanText::NoSaveFolder);
        m_host.ShowStatus(ScanText::NoSaveFolder);
        m_result = DownloadRun::Result::NoSaveFolder;
        return false;
    }
    m_logFolder = AppPaths::programFolder() + QStringLiteral("/KVLOG");
    if (Settings.BackupLog && !QDir(m_logFolder).exists()) {
        if (!CreateFolderPath(m_logFolder))
            m_host.showMessage(ScanText::backupFolderFailed(m_logFolder), MessageBox::Exclamation | MessageBox::OkOnly);
    }
    m_host.repaintWindow();
    return true;
}

// B. Connection and login.
bool MailboxScan::connectAndLogin()
{
    WriteActivityLog(ScanText::ConnectStart + Settings.ServerName + QStringLiteral(")"));
    m_pop.setPort(Settings.Port);
    m_pop.setSecurity(Settings.Security);
    m_pop.setPipeliningAllowed(m_pipeliningAllowed);
    m_pop.setAuthMethod(Settings.AuthMethod);
    if (!m_pop.ConnectByName(Settings.ServerName)) {
        WriteActivityLog(ScanText::ConnectFailedLog + m_pop.lastFailure() + QStringLiteral(")"));
        WriteActivityLog(ScanText::CheckEnd);
        m_result = DownloadRun::Result::ConnectFailed;
        return false;
    }
    WriteActivityLog(ScanText::Connected);
    m_host.repaintWindow();
    WriteActivityLog(ScanText::AuthStart);
    const bool loggedIn = m_pop.Authorize(Settings.UserName, m_run.password());
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
    aPOP::Id statId = 0;
    if (m_pipelined) {
        // The count, the ids and the sizes in one round trip.
        statId = m_pop.submit("STAT", ReplyMode::SingleLine);
        m_uidlId = m_pop.submit("UIDL", ReplyMode::MultiLine);
        m_listId = m_pop.submit("LIST", ReplyMode::MultiLine);
    }
    const QByteArray stat = awaitReply(statId ? statId : m_pop.submit("STAT", ReplyMode::SingleLine));
    WriteActivityLog(replyText(stat));
    if (listingFailed())
        return Step::End; // a refusal reads as an empty mailbox
    m_host.ShowStatus(replyText(stat).trimmed());
    // "+OK count size", each a plain number; text after the size is allowed.
    QByteArrayView line(stat);
    line.chop(2);
    qint64 n = -1, size = -1;
    if (line.startsWith("+OK ")) {
        const QByteArrayView text = line.sliced(4);
        const qsizetype blank = text.indexOf(' ');
        n = plainNumber(text.first(blank < 0 ? text.size() : blank), MaxMessages);
        if (blank >= 0) {
            const QByteArrayView rest = text.sliced(blank + 1);
            const qsizetype end = rest.indexOf(' ');
            size = plainNumber(rest.first(end < 0 ? rest.size() : end), std::numeric_limits<qint64>::max() / 16);
        }
    }
    if (n < 0 || size < 0) {
        WriteActivityLog(ScanText::BadReply + QStringLiteral("STAT)"));
        m_host.ShowStatus(ScanText::BadReply + QStringLiteral("STAT)"));
        m_result = DownloadRun::Result::BadReply;
        return Step::End;
    }
    m_count = n;
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
    const QByteArray uidl = awaitReply(m_uidlId ? m_uidlId : m_pop.submit("UIDL", ReplyMode::MultiLine));
    WriteActivityLog(replyText(uidl));
    struct Line {
        qint64 n;
        QByteArrayView uid;
        bool valid;
    };
    std::vector<Line> lines;
    qint64 highest = 0;
    if (listingFailed() && m_lineDropped)
        return Step::End;
    if (m_pop.CommandStatus() == aPOP::CommandComplete) {
        forEachListingLine(uidl, [&](QByteArrayView number, QByteArrayView rest) {
            const qint64 n = plainNumber(number, m_count);
            if (n < 1)
                return;
            const QByteArrayView uid = trimBlanks(rest);
            lines.push_back({n, uid, validUid(uid)});
            highest = qMax(highest, n);
        });
    }
    m_info.assign(std::size_t(highest) + 1, MessageInfo());
    // The read list knows ids without regard to case: two that differ only in
    // case would share one record.
    QHash<QByteArray, qint64> seen;
    for (const Line &l : lines) {
        MessageInfo &m = m_info[std::size_t(l.n)];
        if (!m.Uid.isEmpty() || m.Unusable || !l.valid) {
            m.Unusable = true; // listed twice, or not an id
            continue;
        }
        m.Uid = QString::fromLatin1(l.uid);
        const QByteArray key = l.uid.toByteArray().toLower();
        const auto other = seen.constFind(key);
        if (other != seen.constEnd()) {
            m.Unusable = true;
            m_info[std::size_t(*other)].Unusable = true;
        } else {
            seen.insert(key, l.n);
        }
    }
    for (qint64 i = 1; i <= highest; ++i) {
        MessageInfo &m = m_info[std::size_t(i)];
        if (m.Unusable || m.Uid.isEmpty()) {
            m.Unusable = true;
            m.Uid.clear();
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
    const QByteArray list = awaitReply(m_listId ? m_listId : m_pop.submit("LIST", ReplyMode::MultiLine));
    WriteActivityLog(replyText(list));
    if (listingFailed())
        return m_lineDropped ? Step::End : Step::Go;
    std::vector<bool> listed(m_info.size(), false);
    forEachListingLine(list, [&](QByteArrayView number, QByteArrayView rest) {
        const qint64 n = plainNumber(number, qint64(m_info.size()) - 1);
        if (n < 1)
            return;
        MessageInfo &m = m_info[std::size_t(n)];
        const qint64 size = plainNumber(trimBlanks(rest), MaxMessageSize);
        if (listed[std::size_t(n)] || size < 0) {
            if (!m.Unusable && !m.Uid.isEmpty())
                WriteActivityLog(ScanText::MailNumber + num(n) + ScanText::BadSize);
            m.Unusable = true;
            return;
        }
        listed[std::size_t(n)] = true;
        m.Size = size;
    });
    return Step::Go;
}

// F. Examining the messages.
void MailboxScan::examineAll()
{
    m_examining = true; // ids and sizes known: commands may go ahead
    for (qint64 i = 1; i < qint64(m_info.size()) && !m_failed && !m_lineDropped && !stopped(); ++i) {
        MessageInfo &m = m_info[std::size_t(i)];
        if (m.Unusable || m.Uid.isEmpty() || m.Size <= 0)
            continue;
        if (m_carried.contains(m.Uid) || (!m.FileName.isEmpty() && !m_run.DownloadAll)) {
            WriteActivityLog(ScanText::MailNumber + num(i) + ScanText::SkipRead + m.FileName + QStringLiteral(")"));
            continue;
        }
        fillPipeline();
        examine(i);
        forget(i);
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
    m_pop.select(commandFor(i, Command::Top));
    QByteArray reply;
    if (waitForCommand() == aPOP::CommandComplete) {
        reply = m_pop.GetMessage();
        if (m_pop.MakeData()) {
            // A date that cannot be read keeps the time of examining: an empty
            // field would shift the record's fields when the list is read back.
            const QDateTime date = m_pop.GetDate();
            if (date.isValid())
                m.MailDate = date;
            m.Subject = m_pop.GetSubject();
            m.FileName = m_pop.GetFileName();
            m.Body = m_pop.GetBody();
            m.From = m_pop.GetFrom();
        }
    } else {
        lineUsable();
    }
    WriteActivityLog(replyText(reply.left(80)) + QStringLiteral("...."));
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
    if (hasSubject && sameText(m.Subject, Settings.MailSubject)) {
        WriteActivityLog(ScanText::DataMail);
        if (!MatchFileNamePattern(m.FileName, Settings.FileNamePatterns)) {
            WriteActivityLog(ScanText::NotWanted);
            record(m, QStringLiteral("-"), GetDiscription(m.Body));
            return;
        }
        retrieve(i);
    } else if (hasSubject && sameText(m.Subject, Settings.InformationSubject) &&
               WildcardMatch(m.Body, ScanText::NoticePhrase)) {
        WriteActivityLog(ScanText::NoticeMail);
        record(m, QStringLiteral("-"), ScanText::NoticeDescription);
    } else {
        WriteActivityLog(ScanText::OtherMail);
        ++m_others;
    }
}

void MailboxScan::retrieve(qint64 i)
{
    MessageInfo &m = m_info[std::size_t(i)];
    WriteActivityLog(ScanText::Wanted);
    m_run.beginReceiving(m.FileName, m.Size);
    WriteActivityLog(QString());
    WriteActivityLog(QStringLiteral("RETR ") + num(i));
    m_pop.select(commandFor(i, Command::Retr));
    if (waitForCommand(true) != aPOP::CommandComplete) {
        WriteActivityLog(ScanText::BodyFailed);
        lineUsable();
    } else {
        WriteActivityLog(ScanText::BodyDone);
        if (!m_pop.MakeData()) {
            WriteActivityLog(ScanText::ParseFailed);
        } else {
            WriteActivityLog(ScanText::ParseDone);
            if (!storeRetrieved(m))
                return; // the decoding failure's text stays in the status line
        }
    }
    m_run.endReceiving();
}

// Decodes the retrieved mail into the primary folder, records it and copies
// it to the further folders. False when decoding failed: the scan ends.
bool MailboxScan::storeRetrieved(MessageInfo &m)
{
    m.Body = m_pop.GetBody();
    if (Settings.BackupLog)
        (void)m_pop.WriteLog(m_logFolder); // a mail whose backup failed is still decoded
    WriteActivityLog(ScanText::DecodeStart);
    const QString target = Settings.SaveFolder[m_primary] + u'/' + m.FileName;
    const ino_t before = inodeOf(target);
    if (!m_pop.TransferToFile(target)) {
        WriteActivityLog(ScanText::DecodeFailed + m_pop.TransferToFileErrorMessage() + QStringLiteral(")"));
        m_run.endReceiving();
        m_host.ShowStatus(m_pop.TransferToFileErrorMessage());
        m_result = DownloadRun::Result::DecodeFailed;
        m_failed = true;
        return false;
    }
    WriteActivityLog(ScanText::DecodeDone);
    // An attachment not in base64 "transfers" without writing a file:
    // such a mail is recorded but stays on the server.
    const ino_t after = inodeOf(target);
    m.Downloaded = after != 0 && after != before;
    record(m, m.FileName, GetDiscription(m.Body));
    m_run.NewFiles.append(m.FileName);
    for (int k = m_primary + 1; k < 4; ++k) {
        if (Settings.SaveFolder[k].isEmpty())
            continue;
        const QString copy = Settings.SaveFolder[k] + u'/' + m.FileName;
        QString error;
        if (m.Downloaded && !copyFileReplacing(target, copy, &error)) {
            WriteActivityLog(ScanText::CopyFailed + copy + QStringLiteral(" ") + error + QStringLiteral(")"));
            m.CopyFailed = true;
        }
    }
    ++m_decoded;
    return true;
}

bool MailboxScan::wantsDeletion(const MessageInfo &m, const QDateTime &now) const
{
    if (m.Unusable || m.Uid.isEmpty() || m.Size <= 0 || !m.Examined || m.Subject.isEmpty())
        return false;
    const bool data = sameText(m.Subject, Settings.MailSubject);
    const bool notice = sameText(m.Subject, Settings.InformationSubject);
    // Only what is safely stored: its record saved, every copy made.
    if ((!data && !notice) || !m.Recorded || m.CopyFailed)
        return false;
    const qint64 keepMinutes = static_cast<qint64>(Settings.KeepDays) * 1440;
    const QDateTime mailDate = m.MailDate.toDateTime();
    if (Settings.DeleteOldMail && mailDate.isValid() && minutesBetween(mailDate, now) > keepMinutes)
        return true;
    return m.Downloaded && Settings.DeleteDownloadMail;
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
        if (!wantsDeletion(m, now))
            continue;
        const aPOP::Id id = m_pop.submit("DELE " + QByteArray::number(i), ReplyMode::SingleLine);
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
    m_pop.select(id);
    return waitForCommand() != aPOP::CommandComplete && !lineUsable();
}

// H. Summary and close.
void MailboxScan::close()
{
    if (!m_failed && m_result != DownloadRun::Result::BadReply) {
        QString summary = m_decoded > 0 ? ScanText::NewData + num(m_decoded) + ScanText::Items : ScanText::NoNewData;
        if (m_others > 0)
            summary += ScanText::OtherMails + num(m_others) + ScanText::UseMailer;
        m_host.ShowStatus(summary);
    }
    if (stopped() && m_result == DownloadRun::Result::Completed)
        m_result = DownloadRun::Result::Stopped;
    if (m_lineDropped && m_result == DownloadRun::Result::Completed)
        m_result = DownloadRun::Result::LineDropped;
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
    return !subject.isEmpty() && sameText(subject, Settings.MailSubject) &&
           FileNamePatternMatches(parser.fileName(), Settings.FileNamePatterns);
}

// Keeps the line full while the server allows it: the TOPs of the coming
// messages, and the RETR of each that its TOP shows to be wanted. What is in
// flight is bounded by the bytes of the replies expected, not by a count.
void MailboxScan::fillPipeline()
{
    if (!m_pipelined || !m_examining || m_failed || m_lineDropped || stopped())
        return;
    while (!m_speculate.empty()) {
        Ahead &a = m_ahead[m_speculate.front()];
        const aPOP::Reply *r = m_pop.reply(a.top);
        if ((r && r->status == aPOP::CommandWaiting) || m_inFlight >= PipelineBytes)
            break; // its reply is not here yet, or the line is full: later
        const qint64 n = m_speculate.front();
        m_speculate.pop_front();
        const qint64 size = m_info[std::size_t(n)].Size;
        if (r && r->status == aPOP::CommandComplete && wantedAhead(r->bytes)) {
            a.retr = m_pop.submit("RETR " + QByteArray::number(n), ReplyMode::MultiLine, size);
            a.cost += size;
            m_inFlight += size;
        }
    }
    while (m_nextAhead < qint64(m_info.size()) && m_inFlight < PipelineBytes) {
        const qint64 n = m_nextAhead++;
        if (!needsExamination(n))
            continue;
        Ahead &a = m_ahead[n];
        a.top = m_pop.submit("TOP " + QByteArray::number(n) + " 20", ReplyMode::MultiLine);
        a.cost = qMin<qint64>(m_info[std::size_t(n)].Size, TopEstimate);
        m_inFlight += a.cost;
        m_speculate.push_back(n);
    }
}

// The command of message i: the one sent ahead, or sent now.
aPOP::Id MailboxScan::commandFor(qint64 i, Command command)
{
    const auto it = m_ahead.find(i);
    const QByteArray n = QByteArray::number(i);
    if (command == Command::Top) {
        if (it != m_ahead.end() && it->second.top != 0)
            return it->second.top;
        return m_pop.submit("TOP " + n + " 20", ReplyMode::MultiLine);
    }
    if (it != m_ahead.end() && it->second.retr != 0)
        return it->second.retr;
    return m_pop.submit("RETR " + n, ReplyMode::MultiLine, m_info[std::size_t(i)].Size);
}

void MailboxScan::forget(qint64 i)
{
    const auto it = m_ahead.find(i);
    if (it == m_ahead.end())
        return;
    m_inFlight -= it->second.cost;
    m_ahead.erase(it);
}

QByteArray MailboxScan::awaitReply(aPOP::Id id)
{
    m_pop.select(id);
    waitForCommand();
    return m_pop.GetMessage();
}

// The one wait of the scan. A retrieval also ends by the silence rules: after
// 10 s, once the closing boundary is in, the mail is taken as it stands (the
// engine then proves the line in step before the next command); after 30 s it
// is given up.
::CommandStatus MailboxScan::waitForCommand(bool retrieval)
{
    while (m_pop.CommandStatus() == aPOP::CommandWaiting) {
        if (stopped()) {
            m_pop.setCommandStatus(aPOP::CommandFailed);
            break;
        }
        EventPump::instance().pumpOnce();
        fillPipeline();
        if (!retrieval || m_pop.CommandStatus() != aPOP::CommandWaiting)
            continue;
        const qint32 silence = static_cast<qint32>(Clock::instance().tickCount() - m_pop.LastDataArrivalTime());
        if (silence > 10000 && m_pop.BoundComplete() && m_pop.commandsInFlight() > 1) {
            // Later replies queue behind this one: it cannot be taken as it stands.
            m_pop.setCommandStatus(aPOP::CommandFailed);
            WriteActivityLog(ScanText::Timeout);
        } else if (silence > 10000 && m_pop.BoundComplete()) {
            WriteActivityLog(ScanText::BoundaryDone);
            m_pop.setCommandStatus(aPOP::CommandComplete);
        } else if (silence > 30000) {
            m_pop.setCommandStatus(aPOP::CommandFailed);
            WriteActivityLog(ScanText::Timeout);
        }
    }
    return m_pop.CommandStatus();
}

// STAT, UIDL and LIST: a refusal is an answer (that listing is empty); a
// reply that never came whole leaves nothing to go on, and the line is dropped.
bool MailboxScan::listingFailed()
{
    if (m_pop.CommandStatus() == aPOP::CommandComplete)
        return false;
    if (!m_pop.CommandRefused() && !stopped())
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

bool MailboxScan::lineUsable()
{
    if (stopped())
        return false;
    // With commands in flight, anything but a whole refusal leaves the later
    // replies without a place: the line goes (and the run falls back to one
    // command at a time).
    const bool refused = m_pop.CommandRefused();
    if (!m_pop.lineBroken() && m_pop.WinsockState() == Pop3Transport::Connected && (refused || !m_pipelined))
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
