#include "download/savefolderpresence.h"

#include "core/pathutil.h"
#include "download/scanoptions.h"

#include <QFile>

#include <algorithm>

#include <dirent.h>

SaveFolderPresence::SaveFolderPresence()
{
    m_folders = SaveFolders::fromSettings().all();
    for (const QString &folder : m_folders) {
        DIR *dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir)
            continue;
        while (const dirent *d = ::readdir(dir)) {
            if (d->d_type == DT_REG) {
                m_files.insert(QFile::decodeName(d->d_name));
                const QByteArray name(d->d_name);
                if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
                    m_asciiFiles.insert(name);
            }
            else if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN)
                m_unsure.insert(QFile::decodeName(d->d_name));
        }
        ::closedir(dir);
    }
}

bool SaveFolderPresence::containsAscii(QByteArrayView fileName) const
{
    // The listing settles it unless a name it cannot settle is about.
    if (m_unsure.isEmpty() && !fileName.contains('/'))
        return m_asciiFiles.contains(QByteArray::fromRawData(fileName.data(), fileName.size()));
    return contains(QString::fromLatin1(fileName));
}

bool SaveFolderPresence::contains(const QString &fileName) const
{
    if (fileName.isEmpty())
        return false;
    if (m_files.contains(fileName))
        return true;
    if (!m_unsure.contains(fileName) && !fileName.contains(u'/'))
        return false;
    for (const QString &folder : m_folders) {
        if (FileExists(folder, fileName))
            return true;
    }
    return false;
}
