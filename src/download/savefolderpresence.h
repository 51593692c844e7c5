#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

// Which file names are in one of the four save folders, from one listing of
// each folder: checking a whole read list costs one directory read per folder
// instead of up to four lookups per entry. A listed regular file counts as
// present; a name the listing cannot settle (a symbolic link, a file system
// that does not tell the type, a name with a path in it) is checked with
// FileExists as before.
class SaveFolderPresence
{
public:
    SaveFolderPresence();
    bool contains(const QString &fileName) const;
    // The same for a name of ASCII bytes, without making a text of it.
    bool containsAscii(QByteArrayView fileName) const;

private:
    QSet<QString> m_files;
    QSet<QByteArray> m_asciiFiles; // the listed regular files' names that are ASCII
    QSet<QString> m_unsure;
    QStringList m_folders; // the save folders that are set
};
