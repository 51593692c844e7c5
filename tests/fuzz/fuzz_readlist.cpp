// The read-list loader on arbitrary file contents: no crash, and once a list
// has been saved, loading and saving it again gives back the same entries
// (bytes that are no CP932 may change once, when they are first written).
#include "core/apppaths.h"
#include "download/readlist.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir *g_dir = nullptr;

bool sameEntries(const ReadList &a, const ReadList &b)
{
    if (a.ReadCount() != b.ReadCount())
        return false;
    for (int i = 0; i < a.ReadCount(); ++i) {
        const ReadEntry &x = a.at(i);
        const ReadEntry &y = b.at(i);
        if (ReadList::textOf(x.HandledTime) != ReadList::textOf(y.HandledTime) ||
            ReadList::textOf(x.MailDate) != ReadList::textOf(y.MailDate) || x.FileName != y.FileName ||
            x.Uid != y.Uid || x.Description != y.Description)
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                ? new QTemporaryDir(QStringLiteral("/dev/shm/kivrel-fuzz-XXXXXX"))
                : new QTemporaryDir();
    qputenv("KIVREL_HOME", g_dir->path().toLocal8Bit());
    AppPaths::reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile f(ReadList::filePath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    ReadList first;
    first.LoadReadList();
    for (int i = 0; i < first.ReadCount(); ++i)
        (void)first.find(first.at(i).Uid);
    if (!first.SaveReadList())
        std::abort();
    ReadList second;
    second.LoadReadList();
    if (!second.SaveReadList())
        std::abort();
    ReadList third;
    third.LoadReadList();
    if (!sameEntries(second, third))
        std::abort();
    return 0;
}
