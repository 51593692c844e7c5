#include "core/pathutil.h"

#include "core/token.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool CreateFolderPath(const QString &path)
{
    if (!path.startsWith(u'/'))
        return false;
    Token token;
    token.Init(path.mid(1), QStringLiteral("/"));
    QString current;
    while (!token.IsEnd()) {
        // The last, empty field after a trailing "/" names the folder itself.
        current += u'/' + token.NextToken();
        const QFileInfo info(current);
        if (!info.exists() && !QDir().mkdir(current))
            return false;
        if (!QFileInfo(current).isDir())
            return false;
    }
    return true;
}

bool FileExists(const QString &folder, const QString &fileName)
{
    if (folder.trimmed().isEmpty() || fileName.isEmpty())
        return false;
    const QString path = folder.endsWith(u'/') ? folder + fileName : folder + u'/' + fileName;
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}
