#include "testsupport.h"

#include "core/apppaths.h"

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
