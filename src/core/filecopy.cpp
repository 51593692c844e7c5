#include "core/filecopy.h"

#include "core/atomicfile.h"
#include "core/syncbarrier.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

ReplacingFile::ReplacingFile(const QString &target) : m_target(QFile::encodeName(target))
{
    const qsizetype slash = m_target.lastIndexOf('/');
    m_folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : m_target.left(slash);
    m_temp = m_folder + '/' + QFile::encodeName(TemporaryPrefix) + "XXXXXX";
}

ReplacingFile::~ReplacingFile()
{
    const int saved = errno;
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_created && !m_committed)
        ::unlink(m_temp.constData());
    errno = saved;
}

bool ReplacingFile::open()
{
    struct stat existing;
    const bool regular = ::lstat(m_target.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    m_fd = ::mkostemp(m_temp.data(), O_CLOEXEC); // O_CREAT | O_EXCL on a fresh name
    if (m_fd < 0)
        return false;
    m_created = true;
    ::fchmod(m_fd, regular ? (existing.st_mode & 07777) : (0666 & ~currentUmask()));
    return true;
}

QString ReplacingFile::temporaryPath() const
{
    return QFile::decodeName(m_temp);
}

bool ReplacingFile::finish()
{
    const bool synced = SyncBarrier::fileWritten(m_fd);
    int error = errno;
    if (::close(m_fd) != 0 && synced)
        error = errno;
    else if (synced)
        error = 0;
    m_fd = -1;
    errno = error;
    return error == 0;
}

bool ReplacingFile::commit()
{
    if (::rename(m_temp.constData(), m_target.constData()) != 0)
        return false;
    m_committed = true;
    SyncBarrier::folderChanged(m_folder);
    return true;
}

bool copyFileReplacing(const QString &source, const QString &destination, QString *error)
{
    auto fail = [&] {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    };
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail();
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closeIn{in};

    ReplacingFile out(destination);
    if (!out.open())
        return fail();
    const qsizetype BufferSize = qsizetype(1) << 20;
    const std::unique_ptr<char[]> buffer(new char[BufferSize]);
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), size_t(BufferSize));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || !writeAll(out.fd(), QByteArray::fromRawData(buffer.get(), n)))
            return fail();
        if (n == 0)
            break;
    }
    if (!out.finish() || !out.commit())
        return fail();
    return true;
}
