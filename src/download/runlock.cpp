#include "download/runlock.h"

#include "core/apppaths.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QThread>

#include <cerrno>
#include <memory>
#include <signal.h>

namespace {
std::unique_ptr<QLockFile> g_lock;
int g_depth = 0;
} // namespace

RunLock::RunLock()
{
    if (g_depth > 0) {
        ++g_depth;
        m_state = State::Held;
        return;
    }
    auto lock = std::make_unique<QLockFile>(path());
    // A lock whose process is gone is taken over at once.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        g_lock = std::move(lock);
        g_depth = 1;
        m_state = State::Held;
        return;
    }
    m_state = lock->error() == QLockFile::LockFailedError && hasHolder() ? State::Busy : State::Failed;
}

// Another run is only claimed where a lock names its process: what stands in
// the lock's place otherwise (a folder, a file nobody can read) is a failure
// of its own. A lock just made may not name its process yet: a second look.
bool RunLock::hasHolder()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        qint64 pid = 0;
        QString host;
        QString app;
        if (QLockFile(path()).getLockInfo(&pid, &host, &app))
            return true;
        if (attempt == 0)
            QThread::msleep(50);
    }
    return false;
}

RunLock::~RunLock()
{
    if (m_state != State::Held)
        return;
    if (--g_depth == 0)
        g_lock.reset();
}

QString RunLock::path()
{
    return AppPaths::file(AppPaths::Kind::Runtime, QStringLiteral("Kivrel.lock"));
}

bool RunLock::heldByAnotherProcess()
{
    if (g_depth > 0)
        return false;
    qint64 pid = 0;
    QString host;
    QString app;
    if (!QLockFile(path()).getLockInfo(&pid, &host, &app) || pid <= 0 || pid == QCoreApplication::applicationPid())
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
