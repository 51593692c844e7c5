// Restoring from a reception backup log of arbitrary contents. The input is
// the wanted file name up to the first LF (without one: the name of the
// well-formed record below), then log bytes, which are followed by one
// well-formed record so that the decoding path is reached on every run.
// Checked: no crash; nothing but the wanted name is written, and only into
// the save folders (no stray or temporary file is left); "restored" means the
// file is in the first save folder and its copy in the later one is the same;
// "not restored" leaves nothing behind; a second restore gives the same.
#include "core/settings.h"
#include "download/restorefrombackup.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir *g_dir = nullptr;
QString g_first;  // the first save folder that is set
QString g_second; // a later one

const QByteArray WellFormed = QByteArrayLiteral("Date: Mon, 06 Dec 1999 09:53:00 +0900\r\n"
                                                "Subject: [TURFNET Internet Services]  Power Data\r\n"
                                                "Content-type: multipart/mixed; boundary=\"b1\"\r\n"
                                                "\r\n"
                                                "--b1\r\n"
                                                "Content-Type: text/plain\r\n"
                                                "\r\n"
                                                "1999 DU\r\n"
                                                "--b1\r\n"
                                                "Content-Type: application/octet-stream; name=\"DU991206.LZH\"\r\n"
                                                "Content-Transfer-Encoding: base64\r\n"
                                                "\r\n"
                                                "JfEtbGgwLRMAAAATAAAAAFCGJyABDERVOTkxMjA2LlRYVESwTQAAMTk5OSBEVSByYWNlIGRhdGENCgA=\r\n"
                                                "\r\n"
                                                "--b1--\r\n"
                                                "\r\n"
                                                ".\r\n");

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file below the scratch folder, hidden ones included.
QStringList filesWritten()
{
    QStringList out;
    QDirIterator it(g_dir->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    return out;
}

void clearSaveFolders()
{
    for (const QString &folder : {g_first, g_second}) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                ? new QTemporaryDir(QStringLiteral("/dev/shm/kivrel-fuzz-XXXXXX"))
                : new QTemporaryDir();
    // Nested, so that a name that climbs out of a save folder still lands
    // below the scratch folder, where it is seen.
    g_first = g_dir->path() + QStringLiteral("/save/one");
    g_second = g_dir->path() + QStringLiteral("/save/three");
    Settings.SaveFolder[0] = QStringLiteral("  ");
    Settings.SaveFolder[1] = g_first;
    Settings.SaveFolder[2] = QString();
    Settings.SaveFolder[3] = g_second;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lf = input.indexOf('\n');
    const QString name = lf < 0 ? QStringLiteral("DU991206.LZH") : QString::fromUtf8(input.left(lf));
    const QByteArray log = input.mid(lf + 1) + WellFormed;

    clearSaveFolders();
    const bool restored = RestoreFromBackup::restoreFromLog(log, name);
    const QString target = g_first + QLatin1Char('/') + name;
    const QString copy = g_second + QLatin1Char('/') + name;
    const QStringList written = filesWritten();
    if (!restored && !written.isEmpty())
        std::abort();
    if (restored) {
        if (written.size() != 2 || !written.contains(target) || !written.contains(copy))
            std::abort();
        const QByteArray bytes = contents(target);
        if (contents(copy) != bytes)
            std::abort();
        // The same log restores the same file again, over the first one.
        if (!RestoreFromBackup::restoreFromLog(log, name) || contents(target) != bytes || filesWritten() != written)
            std::abort();
    }
    return 0;
}
