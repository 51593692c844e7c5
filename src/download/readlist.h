#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

struct stat;

class SaveFolderPresence;

// One handled mail. HandledTime and MailDate hold a QDateTime, or a QString
// when the stored text was not a date (it is then written back unchanged).
struct ReadEntry {
    QVariant HandledTime;
    QVariant MailDate;
    QString FileName; // "-" for an entry without a file
    QString Uid;      // the key, compared without regard to case
    QString Description;
    bool FilePresent = false; // computed, never stored
};

// The read-mail list: every mail the program has handled, kept in Kivrel.dat.
//
// A loaded list keeps the file's bytes and an index of its lines; a record is
// decoded (CP932 texts, dates) when it is first used, and the Uid index hashes
// the Uids' bytes. A save writes each record the list has not changed back as
// its original bytes when decoding and encoding it again would give exactly
// those bytes, else from its decoded form, so the file is the same either way.
class ReadList
{
public:
    ReadList();
    ~ReadList();
    ReadList(ReadList &&) noexcept;
    ReadList &operator=(ReadList &&) noexcept;
    // A copy lists the save folders anew when it first needs them.
    ReadList(const ReadList &other);
    ReadList &operator=(const ReadList &other) { return *this = ReadList(other); }

    int ReadCount() const { return static_cast<int>(m_records.size()); }
    // The record, decoded on first use; the reference stays valid until the
    // list is loaded again.
    const ReadEntry &at(int i) const;
    bool filePresent(int i) const;
    // The handled time / mail date as the number yyyyMMddhhmmss when it is a
    // date-time of years 1000 to 9999 (its fixed-width text orders as this
    // number does), else -1; read from the bytes where they allow it.
    qint64 handledNumber(int i) const { return dateNumber(i, 0); }
    qint64 mailDateNumber(int i) const { return dateNumber(i, 1); }
    // The same number of a date-time, or -1.
    static qint64 numberOf(const QVariant &value);
    // True when the handled time is a date-time later than `t`.
    bool handledAfter(int i, const QDateTime &t) const;
    // The display weight (Cp932::displayWeight) of the file name (2)
    // or description (4), or -1 when the bytes cannot tell without decoding.
    int fieldWeight(int i, int field) const;
    // True when a record names this file (exactly).
    bool namesFile(const QString &fileName) const;

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

    enum Flag : quint8 {
        Own = 1,           // changed by this list: the decoded entry is the record
        Removed = 2,       // dropped at the next save
        PresenceKnown = 4, // Present holds the file's presence
        Present = 8,
        VerbatimKnown = 16, // Verbatim holds whether the bytes go back unchanged
        Verbatim = 32,
    };
    struct Record {
        quint32 begin = 0; // the line in m_bytes, without its line end
        quint32 end = 0;
        quint32 uidBegin = 0; // its Uid field
        quint32 uidEnd = 0;
        // In the usual line (single TABs before the Uid) the first two TABs,
        // from the line's start; NoTab: split the line to find a field.
        static constexpr quint16 NoTab = 0xFFFF;
        quint16 tab1 = NoTab;
        quint16 tab2 = NoTab;
        mutable quint8 flags = 0;
        mutable std::unique_ptr<ReadEntry> entry; // decoded on first use
        Record() = default;
        Record(Record &&) noexcept = default;
        Record &operator=(Record &&) noexcept = default;
        Record(const Record &other);
        Record &operator=(const Record &other) { return *this = Record(other); }
    };
    ReadEntry &decoded(int i) const; // without its FilePresent
    QByteArrayView lineOf(const Record &r) const;
    QByteArrayView fieldOf(const Record &r, int field) const;
    bool verbatim(const Record &r) const;
    qint64 dateNumber(int i, int field) const;
    bool steadyDay(qint64 number) const;
    size_t uidHash(int i) const;
    bool uidEquals(int i, const QString &uid) const;
    void indexRecord(int i);
    void indexRecord(int i, size_t hash);
    void resetIndex(size_t records);
    void rebuildIndex();

    QByteArray m_bytes;             // Kivrel.dat as last loaded
    std::shared_ptr<void> m_storage; // where m_bytes lie, when not in m_bytes itself
    std::vector<Record> m_records;
    mutable std::unique_ptr<SaveFolderPresence> m_presence; // the save folders' files, listed on first use
    mutable QHash<qint64, int> m_noonOffsets;                // Julian day -> UTC offset at its noon
    mutable qint64 m_lastSteadyDay = -1;                      // yyyyMMdd
    mutable QDateTime m_after;                                // the last time handledAfter() compared with
    mutable qint64 m_afterNumber = -1;                        // its number, -1: compare decoded
    FileStamp m_stamp;
    bool m_unsaved = false;
    QList<int> m_unsavedIndexes; // entries put since the last save
    quint32 m_unsavedSince = 0;
    // Uid (case-folded) -> index of its first record, open addressing: a
    // mailbox check looks up every mail of the mailbox.
    std::vector<quint64> m_slots;
    size_t m_indexed = 0;
};
