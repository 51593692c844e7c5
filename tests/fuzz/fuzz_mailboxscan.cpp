// A whole download run (DownloadRun::DoDownload) against a POP3 server whose
// bytes the fuzzer chooses, over the fake transport, pump and clock.
//
// The server holds a small mailbox (three wanted data mails, one data mail of
// a kind not wanted, a notice and a personal mail) and answers every line the
// client writes with the next record of the input; when the records run out
// it answers as a well-behaved server would, so an empty input is a clean run.
//
// Input: records separated by "\n%%\n". The first record configures the run,
// the second is the greeting, each further one is the reply to the next line
// the client writes (NOOP, STLS and QUIT included).
//   config record, byte 0 bits: 1 STARTTLS, 2 DownloadAll, 4 mail 2 recorded
//     (and its file stored) before the run, 8 CAPA lists PIPELINING, 16 backup
//     log on, 32 old mails deleted too (keep 1 day).
//   reply record: [mode] [delivery] [payload...]
//     mode (byte % 5): 0 the usual reply; 1 the payload instead; 2 the usual
//       reply, then the payload (bytes nobody asked for); 3 the usual reply
//       cut at payload[0]/256 of its length, the pause between the two parts,
//       then payload[1..] after the rest; 4 the usual reply with payload[1..]
//       written over it from payload[0]/256 of its length on.
//     delivery bits: 0-2 chunk size (0 whole, k: 2^(k-1) bytes); 3-4 pause
//       (none, 5 s, 12 s, 65 s) before the reply (mode 3: between its parts);
//       5 the server closes the connection after it.
// The reply bound is 3000 bytes, within reach of an input.
//
// Checked: nothing crashes; the run ends by itself within a bounded number of
// pumps; and whenever the client sends "DELE n", the read list on disk already
// holds a record for an id the server gave message n after UIDL, and -
// unless old mails are deleted too - that record names a data file which is
// in the save folder, byte for byte the attachment of message n whenever no
// reply carried other content than the mailbox's own. Kivrel.dat has five
// fields on every line afterwards.
#include "../unit/download/scanfixture.h"
#include "core/activitylog.h"
#include "core/apppaths.h"
#include "download/downloadrun.h"
#include "faketransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// A second of fake time per pump: the 60 s waits cost 60 pumps, and the
// scan's 10 s and 30 s rules still fall between whole steps.
constexpr int StepMs = 1000;
// Far more than the slowest honest run of this mailbox needs: every command
// waiting out its 60 s with the longest pause the input can ask for.
constexpr int MaxPumps = 400000;

QTemporaryDir *g_dir = nullptr;
QString g_save;

FakeTransport *g_server = nullptr; // of the run in progress

// What the run logged and what the client wrote, for a reproducer.
void dumpRun()
{
    const auto out = [](const char *title, const QByteArray &bytes) {
        std::fprintf(stderr, "--- %s:\n", title);
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    };
    QFile log(activityLogPath());
    if (log.open(QIODevice::ReadOnly))
        out("log", log.readAll());
    QFile list(ReadList::filePath());
    if (list.open(QIODevice::ReadOnly))
        out("Kivrel.dat", list.readAll());
    if (g_server)
        out("client", g_server->client());
}

[[noreturn]] void fail(const char *what, const QByteArray &detail = QByteArray())
{
    dumpRun();
    std::fprintf(stderr, "fuzz_mailboxscan: %s %s\n", what, detail.constData());
    std::abort();
}

QByteArray payloadOf(int n)
{
    QByteArray p(200 + 37 * n, Qt::Uninitialized);
    for (qsizetype i = 0; i < p.size(); ++i)
        p[i] = static_cast<char>(n * 31 + i * 7);
    return p;
}

struct Mailbox {
    QList<TestMail> mails;
    // The replies of a well-behaved server, by command line.
    QHash<QByteArray, QByteArray> replies;

    Mailbox()
    {
        const QByteArray names[] = {"DU261201.LZH", "CC261202.LZH", "ZZ261203.LZH", "", "", "KK261206.LZH"};
        for (int i = 0; i < 6; ++i) {
            TestMail m;
            m.fileName = names[i];
            m.payload = lzhPayload(payloadOf(i + 1));
            m.date = "Tue, 01 Dec 2026 09:00:00 +0900";
            m.uid = "UID" + QByteArray::number(i + 1);
            mails << m;
        }
        mails[3].subject = kInfoSubject;
        mails[3].bodyLine = QByteArray("\x1b$B:FEY!\"$49XF~$N$[$I\x1b(B"); // 再度、ご購入のほど
        mails[4].subject = "hello";
        mails[4].multipart = false;

        QByteArray list = "+OK\r\n", uidl = "+OK\r\n";
        qint64 total = 0;
        for (int i = 0; i < mails.size(); ++i) {
            const QByteArray n = QByteArray::number(i + 1);
            const QByteArray text = mails[i].text();
            const QByteArray size = QByteArray::number(text.size());
            total += text.size();
            list += n + ' ' + size + "\r\n";
            uidl += n + ' ' + mails[i].uid + "\r\n";
            replies["LIST " + n] = "+OK " + n + ' ' + size + "\r\n";
            replies["UIDL " + n] = "+OK " + n + ' ' + mails[i].uid + "\r\n";
            replies["TOP " + n + " 20"] = "+OK\r\n" + mails[i].top() + ".\r\n";
            replies["RETR " + n] = "+OK " + size + " octets\r\n" + text + ".\r\n";
            replies["DELE " + n] = "+OK deleted\r\n";
        }
        replies["STAT"] = "+OK " + QByteArray::number(mails.size()) + ' ' + QByteArray::number(total) + "\r\n";
        replies["LIST"] = list + ".\r\n";
        replies["UIDL"] = uidl + ".\r\n";
    }
    bool isFileMail(int n) const { return n >= 1 && n <= mails.size() && !mails[n - 1].fileName.isEmpty(); }
};

const Mailbox &mailbox()
{
    static const Mailbox box;
    return box;
}

struct Config {
    bool startTls = false;
    bool downloadAll = false;
    bool preRecorded = false;
    bool pipelining = false;
    bool backupLog = false;
    bool deleteOld = false;
};

struct Record {
    int mode = 0;
    int chunk = 0; // 0: whole
    int pausePumps = 0;
    bool close = false;
    QByteArray payload;
};

Record parseRecord(const QByteArray &bytes)
{
    Record r;
    if (bytes.size() >= 1)
        r.mode = static_cast<unsigned char>(bytes[0]) % 5;
    if (bytes.size() >= 2) {
        const auto d = static_cast<unsigned char>(bytes[1]);
        const int k = d & 7;
        r.chunk = k == 0 ? 0 : 1 << (k - 1);
        static constexpr int pauses[] = {0, 5000 / StepMs, 12000 / StepMs, 65000 / StepMs};
        r.pausePumps = pauses[(d >> 3) & 3];
        r.close = (d & 32) != 0;
    }
    if (bytes.size() > 2)
        r.payload = bytes.mid(2);
    return r;
}

// A message number as the client reads it: plain digits (0 when not).
qint64 numberOf(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 9)
        return 0;
    qint64 v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + (c - '0');
    }
    return v;
}

// The scripted server: the mailbox's replies, perturbed as the input says.
class FuzzServer : public FakeTransport
{
public:
    FuzzServer(FakeEventPump &pump, const QList<QByteArray> &records, const Config &config)
        : FakeTransport(pump), m_records(records), m_config(config)
    {
        setFallback([this](FakeTransport &, const QByteArray &line) { answer(line); });
    }

    bool connectToHost(const QString &host, int port, Security security) override
    {
        const bool ok = FakeTransport::connectToHost(host, port, security);
        if (ok)
            deliver(QByteArrayLiteral("+OK fuzz POP3 ready\r\n"), nullptr);
        return ok;
    }

    // Whether every reply so far carried only the mailbox's own content.
    bool truthful() const { return m_truthful; }

private:
    QByteArray usualReply(const QByteArray &line) const
    {
        const QByteArray verb = line.split(' ').value(0).toUpper();
        if (verb == "CAPA")
            return QByteArray("+OK\r\nUSER\r\nTOP\r\nUIDL\r\n") + (m_config.pipelining ? "PIPELINING\r\n" : "") +
                   ".\r\n";
        const auto it = mailbox().replies.constFind(line);
        if (it != mailbox().replies.constEnd())
            return *it;
        if (verb == "USER" || verb == "PASS" || verb == "NOOP" || verb == "RSET")
            return "+OK\r\n";
        if (verb == "STLS")
            return "+OK begin TLS\r\n";
        if (verb == "QUIT")
            return "+OK bye\r\n";
        if (verb == "TOP" || verb == "RETR" || verb == "DELE" || verb == "LIST" || verb == "UIDL")
            return "-ERR no such message\r\n";
        return "-ERR unknown command\r\n";
    }

    void answer(const QByteArray &line)
    {
        const QByteArray verb = line.split(' ').value(0).toUpper();
        if (verb == "DELE")
            checkDeletion(line);
        deliver(usualReply(line), &verb);
        if (verb == "UIDL")
            m_uidlSent = true;
        if (verb == "QUIT" && m_next >= m_records.size())
            serverClose();
    }

    // Scripts the reply to one line.
    void deliver(const QByteArray &usual, const QByteArray *verb)
    {
        const Record r = parseRecord(m_next < m_records.size() ? m_records[m_next] : QByteArray());
        ++m_next;
        // Where modes 3 and 4 act: payload[0] / 256 of the way into the usual reply.
        const qsizetype at = usual.size() * (r.payload.isEmpty() ? 0 : static_cast<unsigned char>(r.payload[0])) / 256;
        QByteArray sent;
        const bool content = verb && (*verb == "TOP" || *verb == "RETR");
        switch (r.mode) {
        case 0:
            pause(r.pausePumps);
            sent = usual;
            server(sent, r.chunk);
            break;
        case 1:
            pause(r.pausePumps);
            sent = r.payload;
            server(sent, r.chunk);
            if (content)
                m_truthful = false;
            break;
        case 2:
            pause(r.pausePumps);
            sent = usual + r.payload;
            server(sent, r.chunk);
            break;
        case 3: {
            server(usual.left(at), r.chunk);
            pause(r.pausePumps);
            server(usual.mid(at) + r.payload.mid(1), r.chunk);
            break;
        }
        default: {
            sent = usual;
            const QByteArray over = r.payload.mid(1);
            sent.replace(at, qMin(over.size(), sent.size() - at), over);
            pause(r.pausePumps);
            server(sent, r.chunk);
            if (content && sent != usual)
                m_truthful = false;
            break;
        }
        }
        if (r.close)
            serverClose();
    }

    // What the client reads after it asked for the ids holds the listing it
    // took for the UIDL reply (which bytes it took cannot be told from here:
    // bytes sent late with one reply arrive after the next command).
    QByteArray readAll() override
    {
        const QByteArray bytes = FakeTransport::readAll();
        if (m_uidlSent)
            m_afterUidl += bytes;
        return bytes;
    }

    // Every "n id" line the client read after UIDL, read loosely.
    QSet<QByteArray> uidsOf(qint64 n) const
    {
        QSet<QByteArray> uids;
        for (const QByteArray &raw : m_afterUidl.split('\n')) {
            const QByteArray text = raw.endsWith('\r') ? raw.chopped(1) : raw;
            const qsizetype blank = text.indexOf(' ');
            if (blank >= 1 && numberOf(QByteArrayView(text).first(blank)) == n)
                uids.insert(text.mid(blank + 1).trimmed());
        }
        return uids;
    }

    // What must be on disk before "DELE n" goes out; null when it is.
    const char *unsafeDeletion(const ReadList &stored, qint64 n, const QByteArray &uid) const
    {
        const int found = stored.find(QString::fromLatin1(uid));
        if (found < 0)
            return "DELE without a stored record:";
        if (m_config.deleteOld)
            return nullptr;
        const QString name = stored.at(found).FileName;
        if (name.isEmpty() || name == QStringLiteral("-"))
            return "DELE of a mail without a data file:";
        QFile file(g_save + u'/' + name);
        if (!file.open(QIODevice::ReadOnly))
            return "DELE before its data file is stored:";
        if (m_truthful && mailbox().isFileMail(int(n)) && file.readAll() != mailbox().mails[int(n) - 1].payload)
            return "DELE of a mail whose data file differs from its attachment:";
        return nullptr;
    }

    void checkDeletion(const QByteArray &line)
    {
        const qint64 n = numberOf(QByteArrayView(line).sliced(5));
        ReadList stored;
        stored.LoadReadList();
        // The ids are read loosely: one of them is the one the client took.
        const char *why = "DELE of a message the server gave no id:";
        for (const QByteArray &uid : uidsOf(n))
            if ((why = unsafeDeletion(stored, n, uid)) == nullptr)
                return;
        fail(why, line);
    }

    QList<QByteArray> m_records;
    Config m_config;
    qsizetype m_next = 1; // record 0 is the configuration
    bool m_truthful = true;
    bool m_uidlSent = false;
    QByteArray m_afterUidl;
};

QList<QByteArray> splitRecords(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QList<QByteArray> records;
    static const QByteArray separator("\n%%\n");
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = input.indexOf(separator, from);
        if (at < 0) {
            records << input.mid(from);
            return records;
        }
        records << input.mid(from, at - from);
        from = at + separator.size();
    }
}

Config configOf(const QByteArray &record)
{
    const auto b = record.isEmpty() ? 0 : static_cast<unsigned char>(record[0]);
    Config c;
    c.startTls = b & 1;
    c.downloadAll = b & 2;
    c.preRecorded = b & 4;
    c.pipelining = b & 8;
    c.backupLog = b & 16;
    c.deleteOld = b & 32;
    return c;
}

void clearFolder(const QString &path)
{
    QDir dir(path);
    dir.removeRecursively();
    QDir().mkpath(path);
}

void checkListFile()
{
    QFile f(ReadList::filePath());
    if (!f.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        if (!text.isEmpty() && text.count('\t') != 4)
            fail("a read-list line without five fields:", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // Removed again when the fuzzer exits normally.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/kivrel-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/kivrel-fuzz-XXXXXX"));
    g_dir = &dir;
    qputenv("KIVREL_HOME", g_dir->path().toLocal8Bit());
    AppPaths::reset();
    g_save = g_dir->path() + QStringLiteral("/save");
    (void)mailbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> records = splitRecords(data, size);
    const Config config = configOf(records.value(0));

    // A fresh program folder and save folder for each input.
    QFile::remove(ReadList::filePath());
    clearFolder(g_save);
    clearFolder(g_dir->path() + QStringLiteral("/KVLOG"));
    WriteStartLog();

    FakeClock clock{QDateTime(QDate(2026, 12, 4), QTime(12, 0)), 5000};
    FakeEventPump pump{clock, StepMs};
    ScopedClock scopedClock{&clock};
    ScopedEventPump scopedPump{&pump};
    auto *server = new FuzzServer(pump, records, config);
    g_server = server;
    aPOP pop{server, aPOP::TimerMode::ManualTick};
    // Well above the mailbox's largest reply, within reach of an input.
    pop.setMaxReplyBytes(3000);
    RecordingHost host;
    pump.addHook([&pop, &pump] {
        pop.timerTick();
        if (pump.pumpCount() > MaxPumps)
            fail("the run did not end by itself");
    });

    Settings = SettingsRecord();
    Settings.ServerName = QStringLiteral("127.0.0.1");
    Settings.UserName = QStringLiteral("user");
    Settings.PassWord = QStringLiteral("secret");
    Settings.SaveFolder[0] = g_save;
    Settings.DeleteDownloadMail = true;
    Settings.DeleteOldMail = config.deleteOld;
    Settings.KeepDays = 1;
    Settings.BackupLog = config.backupLog;
    if (config.startTls)
        Settings.Security = kSecurityStartTls;

    if (config.preRecorded) {
        const TestMail &m = mailbox().mails[1];
        QFile f(g_save + u'/' + QString::fromLatin1(m.fileName));
        if (f.open(QIODevice::WriteOnly))
            f.write(m.payload);
        const QDateTime before(QDate(2026, 12, 2), QTime(8, 0));
        host.list.PutReadEntry(before, before, QString::fromLatin1(m.fileName), QString::fromLatin1(m.uid), QString());
        if (!host.list.SaveReadList())
            fail("could not prepare the read list");
    }

    DownloadRun run(host, pop);
    run.DownloadAll = config.downloadAll;
    run.DoDownload();
    if (run.isRunning() || host.busy)
        fail("the run did not unwind");
    checkListFile();
    if (qEnvironmentVariableIsSet("KIVREL_FUZZ_VERBOSE"))
        dumpRun();
    g_server = nullptr;
    return 0;
}
