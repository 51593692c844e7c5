#include "core/activitylog.h"

#include "core/apppaths.h"
#include "core/atomicfile.h"
#include "core/cp932.h"
#include "core/datetext.h"
#include "platform/clock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The log stays open between lines: a large scan writes tens of thousands of
// lines, and opening, syncing and closing the file for each of them cost more
// than the whole retrieval. Every line still reaches the file with one write()
// before the call returns, so a reader sees it at once and a run that is killed
// loses nothing it has logged. The file is opened again when its path changes or
// when the file at the path is no longer the one held open (removed or replaced).
class OpenLog
{
public:
    ~OpenLog() { close(); }

    int fdFor(const QByteArray &path)
    {
        struct stat st;
        if (m_fd >= 0 && path == m_path && ::stat(path.constData(), &st) == 0 && st.st_dev == m_dev &&
            st.st_ino == m_ino)
            return m_fd;
        close();
        m_fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return -1;
        if (::fstat(m_fd, &st) != 0) {
            close();
            return -1;
        }
        m_path = path;
        m_dev = st.st_dev;
        m_ino = st.st_ino;
        return m_fd;
    }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    QByteArray m_path;
    int m_fd = -1;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
};

OpenLog g_log;

} // namespace

QString activityLogPath()
{
    return AppPaths::file(AppPaths::Kind::State, QStringLiteral("KVLOG.TXT"));
}

void WriteStartLog()
{
    const QString line =
        QStringLiteral("\r\n[") + formatShort(Clock::instance().now()) + kStartLogSuffix + QStringLiteral("\r\n\r\n");
    QFile file(activityLogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(Cp932::encode(line));
    file.close();
}

bool WriteActivityLog(const QString &text)
{
    const int fd = g_log.fdFor(QFile::encodeName(activityLogPath()));
    if (fd < 0)
        return false;
    if (writeAll(fd, Cp932::encode(text + QStringLiteral("\r\n"))))
        return true;
    g_log.close(); // the next line tries a fresh open
    return false;
}
