#include "core/syncbarrier.h"

#include <QList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_depth = 0;
// One open folder per file system written since the last barrier: syncfs
// needs a descriptor on it, and the folder cannot vanish under an open one.
struct Pending {
    dev_t device;
    int fd;
};
QList<Pending> g_pending;

void syncFolderNow(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

SyncBarrier::Scope::Scope() : m_outer(g_depth == 0)
{
    ++g_depth;
}

SyncBarrier::Scope::~Scope()
{
    --g_depth;
    if (m_outer) {
        // The end of a run is a barrier; a failure here has nobody left to
        // tell, and the next run starts from what is on disk.
        (void)SyncBarrier::sync();
    }
}

bool SyncBarrier::deferring()
{
    return g_depth > 0;
}

bool SyncBarrier::fileWritten(int fd)
{
    return deferring() || ::fsync(fd) == 0;
}

void SyncBarrier::folderChanged(const QByteArray &folder)
{
    if (!deferring()) {
        syncFolderNow(folder);
        return;
    }
    struct stat st;
    if (::stat(folder.constData(), &st) != 0)
        return;
    for (const Pending &p : std::as_const(g_pending))
        if (p.device == st.st_dev)
            return;
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        syncFolderNow(folder);
        return;
    }
    g_pending.append({st.st_dev, fd});
}

bool SyncBarrier::sync()
{
    bool ok = true;
    for (const Pending &p : std::as_const(g_pending)) {
        if (::syncfs(p.fd) != 0)
            ok = false;
        ::close(p.fd);
    }
    g_pending.clear();
    return ok;
}
