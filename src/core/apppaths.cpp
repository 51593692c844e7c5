#include "core/apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString g_folder;

QString findFolder()
{
    const QString home = qEnvironmentVariable("KIVREL_HOME");
    if (!home.isEmpty())
        return QDir(home).absolutePath();
    if (QCoreApplication::instance()) {
        const QString exeDir = QCoreApplication::applicationDirPath();
        if (QFileInfo::exists(exeDir + QStringLiteral("/Kivrel.ini")))
            return exeDir;
    }
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Kivrel");
}
} // namespace

QString AppPaths::programFolder()
{
    if (g_folder.isEmpty()) {
        g_folder = findFolder();
        QDir().mkpath(g_folder);
    }
    return g_folder;
}

QString AppPaths::inProgramFolder(const QString &name)
{
    return programFolder() + QLatin1Char('/') + name;
}

void AppPaths::reset()
{
    g_folder.clear();
}
