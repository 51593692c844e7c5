// Decoding and parsing speed on one large data mail: a 52 MB RETR reply whose
// attachment is a 38 MB LZH archive in 76-character base64 lines.
//
//   bench_decode [folder]
//
// Writes its files into `folder` (a temporary folder when none is given) and
// leaves attachment.b64 there for run_decode_bench.sh to compare against.
#include "pop3/attachmentdecoder.h"
#include "pop3/backuplog.h"
#include "pop3/lzharchive.h"
#include "pop3/messageparser.h"

#include "lzhsample.h"

#include "benchutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

constexpr qsizetype AttachmentBytes = qsizetype(38) * 1000 * 1000;
constexpr int Rounds = 5;

QByteArray base64Lines(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray text;
    text.reserve(encoded.size() / 76 * 78 + 80);
    for (qsizetype i = 0; i < encoded.size(); i += 76) {
        text += QByteArrayView(encoded).sliced(i, qMin<qsizetype>(76, encoded.size() - i));
        text += "\r\n";
    }
    return text;
}

QByteArray makeReply(const QByteArray &attachmentText)
{
    QByteArray mail = "+OK 52000000 octets\r\n"
                      "Date: Fri, 24 Dec 1999 10:00:00 +0900\r\n"
                      "From: data@turfnet.example\r\n"
                      "To: user@example.jp\r\n"
                      "Subject: [TURFNET Internet Services]  Power Data\r\n"
                      "MIME-Version: 1.0\r\n"
                      "Content-type: multipart/mixed; boundary=\"XXBOUNDARYXX\"\r\n"
                      "\r\n"
                      "--XXBOUNDARYXX\r\n"
                      "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                      "\r\n"
                      "\x1b$B%Q%o!<%G!<%?\x1b(B CC991224.LZH\r\n"
                      "--XXBOUNDARYXX\r\n"
                      "Content-Type: application/octet-stream; name=\"CC991224.LZH\"\r\n"
                      "Content-Transfer-Encoding: base64\r\n"
                      "\r\n";
    mail += attachmentText;
    mail += "\r\n--XXBOUNDARYXX--\r\n.\r\n";
    return mail;
}

// CPU time of the process: on a busy machine the wall clock also counts
// waiting for the disk and for other processes.
qint64 cpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Best {
    qint64 wall = -1, cpu = -1;
    void add(qint64 w, qint64 c)
    {
        wall = wall < 0 ? w : qMin(wall, w);
        cpu = cpu < 0 ? c : qMin(cpu, c);
    }
};

void report(const char *what, qsizetype bytes, const Best &best)
{
    std::printf("%-28s %8.1f ms  %8.0f MB/s   cpu %8.1f ms  %8.0f MB/s\n", what, best.wall / 1e6,
                bytes / (best.wall / 1e9) / 1e6, best.cpu / 1e6, bytes / (best.cpu / 1e9) / 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir temp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    QDir().mkpath(folder);

    QByteArray data(AttachmentBytes, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (qsizetype i = 0; i < data.size(); ++i) { // xorshift: incompressible, like an LZH archive
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x);
    }
    data = LzhSample::stored("CC991224.TXT", data);
    const QByteArray attachmentText = base64Lines(data);
    QFile b64(folder + QStringLiteral("/attachment.b64"));
    if (!b64.open(QIODevice::WriteOnly) || b64.write(attachmentText) != attachmentText.size())
        return 1;
    b64.close();
    const QByteArray reply = makeReply(attachmentText);
    std::printf("reply %lld bytes, attachment text %lld bytes, data %lld bytes\n", qlonglong(reply.size()),
                qlonglong(attachmentText.size()), qlonglong(data.size()));

    MessageParser parser;
    if (!parser.parse(reply, MessageParser::Mode::Reply))
        return 1;

    // TransferToFile: decode, write, fsync, rename.
    const QString target = folder + QStringLiteral("/CC991224.LZH");
    Best bestTransfer;
    for (int round = 0; round < Rounds; ++round) {
        QString error;
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu0 = cpuNs();
        const bool ok = parser.transferToFile(target, &error);
        const qint64 ns = timer.nsecsElapsed();
        const qint64 cpu = cpuNs() - cpu0;
        if (!ok) {
            std::printf("transfer failed: %s\n", qPrintable(error));
            return 1;
        }
        bestTransfer.add(ns, cpu);
    }
    QFile decoded(target);
    if (!decoded.open(QIODevice::ReadOnly) || decoded.readAll() != data) {
        std::printf("decoded file differs\n");
        return 1;
    }
    decoded.close();

    // The archive check a received data file has to pass.
    Best bestCheck;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu0 = cpuNs();
        const QString damaged = LzhArchive::check(target);
        bestCheck.add(timer.nsecsElapsed(), cpuNs() - cpu0);
        if (!damaged.isEmpty()) {
            std::printf("archive check failed: %s\n", qPrintable(damaged));
            return 1;
        }
    }

    // MakeData + WriteLog on the whole reply (the reply buffer stays shared, as
    // in the component, so the JIS conversion of the log text makes one copy).
    const QString logFolder = folder + QStringLiteral("/KVLOG");
    QDir().mkpath(logFolder);
    Best bestParse, bestLog;
    for (int round = 0; round < Rounds; ++round) {
        for (const QString &name : QDir(logFolder).entryList(QDir::Files))
            QFile::remove(logFolder + QLatin1Char('/') + name);
        MessageParser logParser;
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu0 = cpuNs();
        const bool parsed = logParser.parse(reply, MessageParser::Mode::Reply);
        const qint64 parseNs = timer.nsecsElapsed(), parseCpu = cpuNs() - cpu0;
        const bool logged = BackupLog::WriteLog(logParser, logFolder);
        const qint64 ns = timer.nsecsElapsed();
        const qint64 cpu = cpuNs() - cpu0;
        if (!parsed || !logged) {
            std::printf("MakeData/WriteLog failed\n");
            return 1;
        }
        bestParse.add(parseNs, parseCpu);
        bestLog.add(ns, cpu);
    }

    report("TransferToFile (base64 in)", attachmentText.size(), bestTransfer);
    report("LzhArchive::check", data.size(), bestCheck);
    report("MakeData", reply.size(), bestParse);
    report("MakeData + WriteLog", reply.size(), bestLog);
    std::printf("peak RSS %ld kB\n", peakRssKb());
    return 0;
}
