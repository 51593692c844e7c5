#include "pop3/backuplog.h"

#include "platform/clock.h"
#include "pop3/messageparser.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

QString BackupLog::fileName(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".bkl");
}

bool BackupLog::WriteLog(MessageParser &parsed, const QString &folder)
{
    if (folder.isEmpty() || parsed.logText().size() == 0)
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

    // One write of the whole record: the converted header and body, then the
    // rest straight from the reply. A record cut short by a full disk would run
    // into the next one, so the file is cut back to where it ended.
    const MessageParser::LogPieces record = parsed.convertLogText();
    iovec pieces[2] = {{const_cast<char *>(record.head.data()), size_t(record.head.size())},
                       {const_cast<char *>(record.tail.data()), size_t(record.tail.size())}};
    int first = 0;
    qsizetype done = 0;
    bool ok = true;
    while (first < 2) {
        if (pieces[first].iov_len == 0) {
            ++first;
            continue;
        }
        const ssize_t w = ::writev(fd, pieces + first, 2 - first);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            ok = false;
            break;
        }
        done += w;
        for (size_t left = size_t(w); left > 0 && first < 2;) {
            const size_t step = qMin(left, pieces[first].iov_len);
            pieces[first].iov_base = static_cast<char *>(pieces[first].iov_base) + step;
            pieces[first].iov_len -= step;
            left -= step;
            if (pieces[first].iov_len == 0)
                ++first;
        }
    }
    if (!ok && done > 0 && ::ftruncate(fd, before.st_size) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    return ok;
}
