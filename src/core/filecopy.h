#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// A file written under a unique temporary name in the target's folder and then
// renamed over the target. Whatever stands at the target (a file, a symbolic
// link, a hard link) is replaced as a name, never written through; until the
// rename the target is as it was. The temporary file is removed unless the
// rename happened. Failures leave the reason in errno.
class ReplacingFile
{
public:
    // The temporary file's name: this plus six random characters (hidden, and
    // what the cleanup of a save folder looks for).
    static inline const QString TemporaryPrefix = QStringLiteral(".kivrel-");

    explicit ReplacingFile(const QString &target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Creates the temporary file (O_EXCL) with the permissions of the regular
    // file at the target, or 0666 less the umask when there is none.
    bool open();
    int fd() const { return m_fd; }
    QString temporaryPath() const;
    const QByteArray &folder() const { return m_folder; }
    // Brings the written bytes to the disk (or to the run's next barrier) and
    // closes the file.
    bool finish();
    // Renames the finished file over the target.
    bool commit();

private:
    QByteArray m_target, m_folder, m_temp;
    int m_fd = -1;
    bool m_created = false, m_committed = false;
};

// Copies a file over `destination` through a ReplacingFile: the destination is
// replaced only once the whole copy is on disk, and on failure it is left as
// it was. False when the copy failed, with the reason in `error`.
bool copyFileReplacing(const QString &source, const QString &destination, QString *error = nullptr);
