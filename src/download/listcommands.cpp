#include "download/listcommands.h"

#include "core/filecopy.h"
#include "core/pathutil.h"
#include "core/settings.h"
#include "download/readlist.h"

int ListCommands::sendFiles(const QStringList &fileNames, const QString &folder)
{
    QString dest = folder;
    if (!dest.endsWith(QLatin1Char('/')))
        dest += QLatin1Char('/');
    int copies = 0;
    for (const QString &name : fileNames) {
        if (!isSafeFileName(name))
            continue;
        for (const QString &saveFolder : Settings.SaveFolder)
            if (FileExists(saveFolder, name) && copyFileReplacing(joinPath(saveFolder, name), dest + name))
                ++copies;
    }
    return copies;
}

bool ListCommands::removeRecords(ReadList &list, const QStringList &uids)
{
    list.LoadReadList();
    list.markRemoved(uids);
    const bool saved = list.SaveReadList();
    list.LoadReadList();
    return saved;
}
