// The INI reader and writer on arbitrary file contents: no crash, a written
// value reads back, and lines the write did not touch survive.
#include "core/apppaths.h"
#include "core/inifile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir *g_dir = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every write syncs the file and its folder; on a RAM disk that costs nothing.
    g_dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                ? new QTemporaryDir(QStringLiteral("/dev/shm/kivrel-fuzz-XXXXXX"))
                : new QTemporaryDir();
    qputenv("KIVREL_HOME", g_dir->path().toLocal8Bit());
    AppPaths::reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    {
        QFile f(iniFilePath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(bytes);
    }
    // Names taken from the input itself, so the fuzzer reaches existing keys.
    const QList<QByteArray> parts = bytes.split('=');
    const QString section = QString::fromLatin1(parts.value(0).right(8)).trimmed();
    const QString key = QString::fromLatin1(parts.value(1).left(8)).trimmed();

    (void)ReadIniValue(QStringLiteral("Config"), QStringLiteral("ServerName"), QVariant());
    (void)ReadIniValue(section, key, QStringLiteral("d"));
    if (WriteIniValue(section, key, QStringLiteral("fuzz value"))) {
        if (ReadIniValue(section, key, QVariant()).toString() != QStringLiteral("fuzz value"))
            std::abort();
    }
    return 0;
}
