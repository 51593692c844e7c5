#include "core/atomicfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

void setError(QString *error, const QString &what, int err)
{
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
}

mode_t toMode(QFileDevice::Permissions perms)
{
    static const std::pair<QFileDevice::Permission, mode_t> bits[] = {
        {QFileDevice::ReadOwner, S_IRUSR}, {QFileDevice::WriteOwner, S_IWUSR}, {QFileDevice::ExeOwner, S_IXUSR},
        {QFileDevice::ReadGroup, S_IRGRP}, {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
        {QFileDevice::ReadOther, S_IROTH}, {QFileDevice::WriteOther, S_IWOTH}, {QFileDevice::ExeOther, S_IXOTH},
    };
    mode_t mode = 0;
    for (const auto &[perm, bit] : bits) {
        if (perms & perm)
            mode |= bit;
    }
    return mode;
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The file a write should replace: the target of a symbolic link, else the path itself.
QString resolveTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        if (!target.isEmpty())
            return target;
    }
    return path;
}

// The six random characters of mkostemp and QTemporaryFile.
bool isRandomPart(QStringView text)
{
    if (text.size() != 6)
        return false;
    for (const QChar c : text) {
        if (c.unicode() >= 128 || !c.isLetterOrNumber())
            return false;
    }
    return true;
}

bool isTemporaryName(const QString &name, const std::function<bool(const QString &)> &isName, const QString &prefix)
{
    if (!prefix.isEmpty() && name.startsWith(prefix) && isRandomPart(QStringView(name).mid(prefix.size())))
        return true;
    const qsizetype dot = name.size() - 7;
    return dot > 0 && name.at(dot) == u'.' && isRandomPart(QStringView(name).mid(dot + 1)) && isName(name.left(dot));
}

void syncFolder(const QString &folder)
{
    const int dfd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

bool writeAll(int fd, const QByteArray &data)
{
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error, QFileDevice::Permissions perms)
{
    bool given = false;
    return writeFileAtomically(
        path,
        [&]() -> std::optional<QByteArray> {
            if (given)
                return std::nullopt;
            given = true;
            return data;
        },
        error, perms);
}

bool writeFileAtomically(const QString &path, const std::function<std::optional<QByteArray>()> &nextPiece,
                         QString *error, QFileDevice::Permissions perms)
{
    const QString target = resolveTarget(path);
    const QString folder = QFileInfo(target).absolutePath();
    QByteArray tmpl = QFile::encodeName(target) + ".XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        setError(error, QStringLiteral("cannot create a temporary file in %1").arg(folder), errno);
        return false;
    }
    const mode_t mode = perms ? toMode(perms) : (0666 & ~currentUmask());
    bool ok = ::fchmod(fd, mode) == 0;
    int err = errno;
    if (ok) {
        while (ok) {
            const std::optional<QByteArray> piece = nextPiece();
            if (!piece)
                break;
            ok = writeAll(fd, *piece);
        }
        ok = ok && ::fsync(fd) == 0;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(tmpl.constData(), QFile::encodeName(target).constData()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmpl.constData());
        setError(error, QStringLiteral("cannot write %1").arg(target), err);
        return false;
    }
    syncFolder(folder);
    return true;
}

bool appendFileSynced(const QString &path, const QByteArray &data, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        setError(error, QStringLiteral("cannot open %1").arg(path), errno);
        return false;
    }
    bool ok = writeAll(fd, data) && ::fdatasync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok)
        setError(error, QStringLiteral("cannot write %1").arg(path), err);
    return ok;
}

int removeLeftTemporaryFiles(const QString &folder, const QSet<QString> &names, const QString &prefix,
                             int minAgeSeconds)
{
    return removeLeftTemporaryFiles(
        folder, [&names](const QString &name) { return names.contains(name); }, prefix, minAgeSeconds);
}

int removeLeftTemporaryFiles(const QString &folder, const std::function<bool(const QString &)> &isName,
                             const QString &prefix, int minAgeSeconds)
{
    if (folder.trimmed().isEmpty())
        return 0;
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-minAgeSeconds);
    const uint me = ::getuid();
    int removed = 0;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (!isTemporaryName(entry.fileName(), isName, prefix) || entry.ownerId() != me ||
            entry.lastModified().toUTC() > before)
            continue;
        if (QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}
