#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

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
    // Adds or replaces the entry with this Uid and computes FilePresent.
    void PutReadEntry(const QVariant &handledTime, const QVariant &mailDate, const QString &fileName,
                      const QString &uid, const QString &description);
    // Loads Kivrel.dat from the program folder; a missing file leaves the list as it is.
    void LoadReadList();
    // Rewrites Kivrel.dat atomically without the entries marked Removed; false when it could not.
    bool SaveReadList();

    // The file's path (program folder + "/Kivrel.dat").
    static QString filePath();
    // The text form of a stored date-time or text field ("1999/12/24 8:05:09").
    static QString textOf(const QVariant &value);
    // True when the file is in one of the four save folders.
    static bool presentInSaveFolders(const QString &fileName);

private:
    QList<ReadEntry> m_entries;
    // Uid (case-folded) -> index of its first entry; rebuilt when stale. A
    // mailbox check looks up every mail of the mailbox.
    mutable QHash<QString, int> m_index;
    mutable bool m_indexValid = false;
};
