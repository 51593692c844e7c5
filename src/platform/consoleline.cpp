#include "platform/consoleline.h"

#include <QStringList>

#include <sys/stat.h>

namespace ConsoleLine {

bool isJournal(std::FILE *stream)
{
    const QByteArray value = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = value.indexOf(':');
    struct stat st;
    if (colon < 0 || ::fstat(fileno(stream), &st) != 0)
        return false;
    bool okDev = false;
    bool okIno = false;
    const qulonglong dev = value.left(colon).toULongLong(&okDev);
    const qulonglong ino = value.mid(colon + 1).toULongLong(&okIno);
    return okDev && okIno && dev == static_cast<qulonglong>(st.st_dev) && ino == static_cast<qulonglong>(st.st_ino);
}

QByteArray format(const QString &text, Priority priority, bool journal)
{
    const QByteArray prefix = journal ? "<" + QByteArray::number(int(priority)) + ">" : QByteArray();
    QByteArray out;
    for (const QString &line : text.split(QLatin1Char('\n')))
        out += prefix + line.toUtf8() + '\n';
    return out;
}

void print(std::FILE *stream, const QString &text, Priority priority)
{
    const QByteArray bytes = format(text, priority, isJournal(stream));
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace ConsoleLine
