#include "pop3/backuplog.h"

#include "platform/clock.h"
#include "pop3/messageparser.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString BackupLog::fileName(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".bkl");
}

bool BackupLog::WriteLog(MessageParser &parsed, const QString &folder)
{
    if (folder.isEmpty() || parsed.logText().isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + fileName(Clock::instance().now()));
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat before;
    if (::fstat(fd, &before) != 0) {
        ::close(fd);
        return false;
    }

    const QByteArrayView record = parsed.convertLogText();
    // One write of the whole record. A record cut short by a full disk would
    // run into the next one, so the file is cut back to where it ended.
    qsizetype done = 0;
    bool ok = true;
    while (done < record.size()) {
        const ssize_t w = ::write(fd, record.data() + done, size_t(record.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            ok = false;
            break;
        }
        done += w;
    }
    if (!ok && done > 0 && ::ftruncate(fd, before.st_size) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    return ok;
}
