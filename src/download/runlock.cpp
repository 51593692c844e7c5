#include "download/runlock.h"

#include "core/apppaths.h"

#include <QCoreApplication>
#include <QLockFile>

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
    m_state = lock->error() == QLockFile::LockFailedError ? State::Busy : State::Failed;
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
    return AppPaths::inProgramFolder(QStringLiteral("Kivrel.lock"));
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
