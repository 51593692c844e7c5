#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct stat;

// One handled mail. HandledTime and MailDate hold a QDateTime, or a QString
// when the stored text was not a date (it is then written back unchanged).
struct ReadEntry {
    QVariant HandledTime;
    QVariant MailDate;
    QString FileName; // "-" for an entry without a file
    QString Uid;      // the key, compared without regard to case
    QString Description;
    bool FilePresent = false; // computed, never stored
    bool Removed = false;     // dropped at the next save, never stored
};

// A Uid as a key compared without regard to case; it shares the entry's text
// instead of holding a folded copy.
struct UidKey {
    QString text;
    bool operator==(const UidKey &other) const;
};
size_t qHash(const UidKey &key, size_t seed = 0) noexcept;

// The read-mail list: every mail the program has handled, kept in Kivrel.dat.
class ReadList
{
public:
    const QList<ReadEntry> &entries() const { return m_entries; }
    QList<ReadEntry> &entries()
    {
        m_indexValid = false; // the caller may change a Uid
        return m_entries;
    }
    int ReadCount() const { return static_cast<int>(m_entries.size()); }
    const ReadEntry &at(int i) const { return m_entries.at(i); }
    ReadEntry &operator[](int i)
    {
        m_indexValid = false;
        return m_entries[i];
    }

    // Index of the first entry with this Uid (case-insensitive), or -1.
    int find(const QString &uid) const;
    // Adds or replaces the entry with this Uid and computes FilePresent;
    // returns its index. The entry is unsaved until the next save.
    int PutReadEntry(const QVariant &handledTime, const QVariant &mailDate, const QString &fileName, const QString &uid,
                     const QString &description);
    // Marks every entry with one of these Uids (without regard to case)
    // Removed: the next save leaves them out.
    void markRemoved(const QStringList &uids);
    // Tests anew which entries' files are in a save folder (FilePresent).
    void refreshPresence();
    // Loads Kivrel.dat from the program folder; a missing file leaves the list
    // as it is. Entries not yet saved are put into the loaded list again (and
    // stay unsaved): a reload never drops a record.
    void LoadReadList();
    // Loads the file again only when it is no longer the one this list last
    // read or wrote (another process saved it, or it was replaced by hand).
    // True when it loaded.
    bool reloadIfChanged();
    // Rewrites Kivrel.dat atomically without the entries marked Removed; false
    // when it could not. The data files the entries name reach the disk first
    // (a sync barrier), so a record on disk never names a file that is not.
    bool SaveReadList();

    // The saving rule of a download run, which stores mails one by one: the
    // whole file is rewritten at most every SaveDelayMs, not after every mail.
    // A kill loses at most the records of the last SaveDelayMs, whose mails
    // are fetched again by the next run (none of them has been deleted).
    static constexpr quint32 SaveDelayMs = 2000;
    bool hasUnsaved() const { return m_unsaved; }
    // Saves when an entry has waited SaveDelayMs or longer; false only when a
    // save was due and failed (the entries then stay unsaved).
    [[nodiscard]] bool saveIfDue();
    // Saves when anything is unsaved; true when nothing is left unsaved.
    [[nodiscard]] bool flush();

    // The file's path (program folder + "/Kivrel.dat").
    static QString filePath();
    // The text form of a stored date-time or text field ("1999/12/24 8:05:09").
    static QString textOf(const QVariant &value);
    // True when the file is in one of the four save folders.
    static bool presentInSaveFolders(const QString &fileName);

private:
    // What identifies the file as this list last read or wrote it.
    struct FileStamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 mtimeNs = 0;
        bool operator==(const FileStamp &) const = default;
    };
    static FileStamp stampOf(const QString &path);
    static FileStamp stampOf(int fd);
    static FileStamp stampOf(const struct stat &st);
    void markUnsaved(int index);

    QList<ReadEntry> m_entries;
    FileStamp m_stamp;
    bool m_unsaved = false;
    QList<int> m_unsavedIndexes; // entries put since the last save
    quint32 m_unsavedSince = 0;
    // Uid (case-folded) -> index of its first entry; rebuilt when stale. A
    // mailbox check looks up every mail of the mailbox.
    mutable QHash<UidKey, int> m_index;
    mutable bool m_indexValid = false;
};
