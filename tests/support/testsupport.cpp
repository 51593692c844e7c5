#include "testsupport.h"

#include "core/apppaths.h"

#include <csignal>

#include <sys/resource.h>

TempProgramFolder::TempProgramFolder()
{
    m_hadOld = qEnvironmentVariableIsSet("KIVREL_HOME");
    m_old = qgetenv("KIVREL_HOME");
    qputenv("KIVREL_HOME", m_dir.path().toLocal8Bit());
    AppPaths::reset();
}

TempProgramFolder::~TempProgramFolder()
{
    if (m_hadOld)
        qputenv("KIVREL_HOME", m_old);
    else
        qunsetenv("KIVREL_HOME");
    AppPaths::reset();
}

FileSizeLimit::FileSizeLimit(unsigned long long bytes)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_oldCur = limit.rlim_cur;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = m_oldCur;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::signal(SIGXFSZ, m_oldHandler);
}
