#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ReadList;

// What the file list's commands do to the data files and to the read list.
// The window picks the records and asks; these do the work.
namespace ListCommands {

// "Send": copies each named file into `folder` from every save folder that
// holds it, in folder order, so the last of them wins. A name that is not a
// plain file name (it would reach outside the folders) is skipped. Returns the
// number of copies made.
int sendFiles(const QStringList &fileNames, const QString &folder);

// "Remove": drops the records with these unique ids (compared without regard
// to case, so every record of an id goes) from Kivrel.dat. It starts from the
// file on disk, so records another Kivrel saved meanwhile stay, and leaves
// `list` holding the file as saved. The data files stay. False when the list
// could not be saved.
bool removeRecords(ReadList &list, const QStringList &uids);

} // namespace ListCommands
