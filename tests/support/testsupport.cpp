#include "testsupport.h"

#include "core/apppaths.h"
#include "core/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
bool capabilities(__user_cap_data_struct (&data)[2], bool set)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}
constexpr quint32 kBypass = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
} // namespace

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

PermissionsBind::PermissionsBind()
{
    __user_cap_data_struct data[2]{};
    if (!capabilities(data, false))
        return;
    m_saved[0] = data[0].effective;
    m_saved[1] = data[1].effective;
    if (data[0].effective & kBypass) {
        data[0].effective &= ~kBypass;
        m_lowered = capabilities(data, true);
        if (!m_lowered)
            return;
    }
    m_active = true;
}

PermissionsBind::~PermissionsBind()
{
    __user_cap_data_struct data[2]{};
    if (!m_lowered || !capabilities(data, false))
        return;
    data[0].effective = m_saved[0];
    data[1].effective = m_saved[1];
    capabilities(data, true);
}

QByteArray TestFiles::readOrMissing(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : Missing;
}

QByteArray TestFiles::read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TestFiles::write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

TestFiles::WithSaveFolders::WithSaveFolders()
{
    Settings = SettingsRecord{};
    for (int j = 0; j < 4; ++j) {
        Settings.SaveFolder[j] = folder(j);
        QDir().mkpath(Settings.SaveFolder[j]);
    }
}

QByteArray TestFiles::loggedMail(const QString &fileName, const QByteArray &attachment)
{
    return "Date: Mon, 06 Dec 1999 10:00:00 +0900\r\n"
           "From: turf@example.jp\r\n"
           "To: user@example.jp\r\n"
           "Subject: [TURFNET Internet Services]  Power Data\r\n"
           "Content-type: multipart/mixed; boundary=\"XB\"\r\n"
           "\r\n"
           "--XB\r\n"
           "Content-Type: text/plain\r\n"
           "\r\n"
           "1999年12月24日 data\r\n"
           "--XB\r\n"
           "Content-Type: application/octet-stream; name=\"" +
           fileName.toLatin1() +
           "\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" +
           attachment + "\r\n--XB--";
}
