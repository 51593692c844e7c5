// What a long history costs the window and the read list: Kivrel.dat with
// `records` entries of mails no longer on the server, then
//   - LoadReadList and SaveReadList of the whole list,
//   - opening the main window with it (created, shown, first paint done),
//   - storing 200 mails into the open window one by one, as a run does
//     (PutReadEntry, the new grid row, the saving rule), per mail.
//
//   bench_history records [folder]
//
// One history size per process, so that the peak RSS printed last belongs
// to that size. Run offscreen: QT_QPA_PLATFORM=offscreen bench_history 50000
#include "core/datakinds.h"
#include "core/datetext.h"
#include "core/settings.h"
#include "download/readlist.h"
#include "ui/frmmain.h"

#include "benchutil.h"
#include <QApplication>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int Rounds = 5;
constexpr int StoredMails = 200;

// Best of `rounds`, in milliseconds.
double bestMs(int rounds, const std::function<void()> &work)
{
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return best;
}

// Entries as the service's mails leave them: one a day per kind, years back.
void writeHistory(int records)
{
    static const char *const kinds[] = {"DU", "DW", "DX", "DZ", "SH", "SJ", "SQ", "KK", "CC"};
    ReadList list;
    const QDateTime start(QDate(2001, 1, 1), QTime(8, 0));
    for (int i = 0; i < records; ++i) {
        const QDateTime handled = start.addSecs(qint64(i) * 3600);
        const QString name =
            QString::fromLatin1(kinds[i % 9]) + handled.toString(QStringLiteral("yyMMdd")) + QStringLiteral(".LZH");
        list.PutReadEntry(handled, handled.addSecs(-300), name,
                          QStringLiteral("GmailId%1.%2").arg(i, 8, 10, QLatin1Char('0')).arg(i * 7919),
                          handled.toString(QStringLiteral("yyyy年MM月dd日")) + QStringLiteral(" 競走馬＋出馬表 全場"));
    }
    if (!list.SaveReadList())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ReadList::filePath()));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_history records [folder]\n");
        return 2;
    }
    pinLocalTimeZone();
    const int records = QByteArray(argv[1]).toInt();
    QTemporaryDir scratch;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : scratch.path();
    QDir().mkpath(folder + QStringLiteral("/home"));
    QDir().mkpath(folder + QStringLiteral("/save1"));
    qputenv("KIVREL_HOME", QFile::encodeName(folder + QStringLiteral("/home")));
    QApplication app(argc, argv);
    InitDataKinds();
    LoadSettings();
    Settings.SaveFolder[0] = folder + QStringLiteral("/save1");
    QFile::remove(ReadList::filePath());
    writeHistory(records);

    ReadList list;
    const double load = bestMs(Rounds, [&] { list.LoadReadList(); });
    // What a plain loop over the same bytes costs: every byte looked at once,
    // the separators counted (the least any parse of the fields must do).
    QFile file(ReadList::filePath());
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    qsizetype separators = 0;
    const double loop = bestMs(Rounds, [&] {
        separators = 0;
        for (const char c : bytes)
            separators += c == '\t' || c == '\n';
    });
    const auto mbPerS = [&bytes](double ms) { return ms > 0 ? double(bytes.size()) / 1e6 / (ms / 1e3) : 0.0; };
    const double save = bestMs(Rounds, [&] {
        list.PutReadEntry(QDateTime::currentDateTime(), QDateTime::currentDateTime(), QStringLiteral("-"),
                          QStringLiteral("bench-save"), QString());
        if (!list.SaveReadList())
            std::fprintf(stderr, "save failed\n");
    });
    const double open = bestMs(3, [] {
        frmMain window;
        window.show();
        QApplication::processEvents();
        window.repaint();
    });

    frmMain window;
    window.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < StoredMails; ++i) {
        const QDateTime now = QDateTime::currentDateTime();
        const int index =
            window.readList().PutReadEntry(now, now, QStringLiteral("DU%1.LZH").arg(i), QStringLiteral("new-%1").arg(i),
                                           QStringLiteral("2026年12月09日 競走馬＋出馬表"));
        window.RefreshFileListEntry(index);
        if (!window.readList().saveIfDue())
            std::fprintf(stderr, "save failed\n");
        QApplication::processEvents();
    }
    const double perMail = static_cast<double>(t.nsecsElapsed()) / 1e6 / StoredMails;
    if (!window.readList().flush())
        std::fprintf(stderr, "save failed\n");

    std::printf("records %6d  load %8.1f ms  save %8.1f ms  window %8.1f ms  stored mail %6.3f ms  peak RSS %ld kB\n",
                records, load, save, open, perMail, peakRssKb());
    std::printf("Kivrel.dat %lld bytes (%lld separators): load %.0f MB/s, a plain loop over the bytes %.2f ms %.0f MB/s\n",
                static_cast<long long>(bytes.size()), static_cast<long long>(separators), mbPerS(load), loop,
                mbPerS(loop));
    return 0;
}
