#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// Replaces (or creates) the file at path with data so that the path names
// either the old contents or the complete new contents, never a half-written
// file: the data go to a temporary file in the same folder, are flushed and
// synced, the temporary file is renamed over the path and the folder is synced.
// A symbolic link at path is followed: its target is replaced.
// perms: the new file's permissions; empty means what a new file normally
// gets (0666 less the umask). On failure the old file is left untouched, the
// temporary file is removed and *error (when given) says why.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error = nullptr,
                         QFileDevice::Permissions perms = QFileDevice::Permissions());

// The same with the data made a piece at a time, so that a large file never
// lies in memory whole: `nextPiece` gives the next piece, nullopt after the last.
bool writeFileAtomically(const QString &path, const std::function<std::optional<QByteArray>()> &nextPiece,
                         QString *error = nullptr, QFileDevice::Permissions perms = QFileDevice::Permissions());

// Writes all of data to the file descriptor, resuming after short writes and
// interrupted calls. False on a write error (errno says which).
bool writeAll(int fd, const QByteArray &data);

// Appends data to the file at path (creating it) and syncs it, so the data are
// on disk when the call returns. False when the file cannot be opened or written.
bool appendFileSynced(const QString &path, const QByteArray &data, QString *error = nullptr);

// Removes the temporary files that writes cut short (a killed process) left in
// `folder`: a file named after one of `names` plus "." and six letters or
// digits (what writeFileAtomically and QSaveFile make beside their target), or
// `prefix` plus six letters or digits. Only regular files of this user that
// were last written `minAgeSeconds` ago or longer, so a write that another
// process has under way keeps its file. Returns how many were removed.
int removeLeftTemporaryFiles(const QString &folder, const QSet<QString> &names, const QString &prefix = QString(),
                             int minAgeSeconds = 60);
// The same with the names given by a test (asked only for a name such a file
// would be left beside).
int removeLeftTemporaryFiles(const QString &folder, const std::function<bool(const QString &)> &isName,
                             const QString &prefix = QString(), int minAgeSeconds = 60);
