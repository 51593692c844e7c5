#include "download/readlist.h"

#include "core/apppaths.h"
#include "core/atomicfile.h"
#include "core/cp932.h"
#include "core/datetext.h"
#include "core/pathutil.h"
#include "core/settings.h"
#include "core/syncbarrier.h"
#include "download/savefolderpresence.h"
#include "platform/clock.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace {

// A stored field reads back as a date-time when it is one, else as the text itself.
QVariant dateOrText(QStringView field)
{
    if (const auto dt = parseDateTime(field))
        return *dt;
    return field.toString();
}

// The fields of one line as the field splitter makes them with TAB and CR as
// separators (a line holds no LF): leading separators are skipped, a run of
// separators counts as one, and a separator at the end gives one empty last
// field. Only the first five are kept; the count is of all of them.
struct LineFields {
    QStringView field[5];
    int count = 0;
};

LineFields splitLine(QStringView line)
{
    LineFields out;
    const auto isSeparator = [](QChar c) { return c == u'\t' || c == u'\r'; };
    qsizetype i = 0;
    while (i < line.size() && isSeparator(line[i]))
        ++i;
    while (i < line.size()) {
        const qsizetype start = i;
        while (i < line.size() && !isSeparator(line[i]))
            ++i;
        if (out.count < 5)
            out.field[out.count] = line.sliced(start, i - start);
        ++out.count;
        while (i < line.size() && isSeparator(line[i]))
            ++i;
    }
    if (!line.isEmpty() && isSeparator(line.back())) {
        if (out.count < 5)
            out.field[out.count] = QStringView();
        ++out.count;
    }
    return out;
}

} // namespace

namespace {

char16_t foldedUnit(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    return c.toCaseFolded().unicode();
}

} // namespace

bool UidKey::operator==(const UidKey &other) const
{
    if (text.size() != other.text.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar a = text[i];
        const QChar b = other.text[i];
        if (a.unicode() >= 0x80 || b.unicode() >= 0x80) // beyond ASCII (never in a valid id): the full rule
            return text.compare(other.text, Qt::CaseInsensitive) == 0;
        if (foldedUnit(a) != foldedUnit(b))
            return false;
    }
    return true;
}

size_t qHash(const UidKey &key, size_t seed) noexcept
{
    // Consistent with the comparison: every character as its case folding
    // (FNV-1a, then a final mix so the low bits depend on every character).
    quint64 h = 14695981039346656037ULL ^ seed;
    for (const QChar c : key.text) {
        h ^= foldedUnit(c);
        h *= 1099511628211ULL;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return static_cast<size_t>(h);
}

QString ReadList::textOf(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return formatGeneral(value.toDateTime());
    return value.toString();
}

QString ReadList::filePath()
{
    return AppPaths::file(AppPaths::Kind::Data, QStringLiteral("Kivrel.dat"));
}

bool ReadList::presentInSaveFolders(const QString &fileName)
{
    for (const QString &folder : Settings.SaveFolder) {
        if (FileExists(folder, fileName))
            return true;
    }
    return false;
}

int ReadList::find(const QString &uid) const
{
    if (!m_indexValid) {
        m_index.clear();
        m_index.reserve(m_entries.size());
        for (int i = 0; i < m_entries.size(); ++i) {
            const UidKey key{m_entries[i].Uid};
            if (!m_index.contains(key)) // the first of two equal ids is the one used
                m_index.insert(key, i);
        }
        m_indexValid = true;
    }
    return m_index.value(UidKey{uid}, -1);
}

void ReadList::markRemoved(const QStringList &uids)
{
    QSet<UidKey> keys;
    for (const QString &uid : uids)
        keys.insert(UidKey{uid});
    for (ReadEntry &e : m_entries)
        if (keys.contains(UidKey{e.Uid}))
            e.Removed = true;
}

void ReadList::refreshPresence()
{
    const SaveFolderPresence presence;
    for (ReadEntry &e : m_entries)
        e.FilePresent = presence.contains(e.FileName);
}

namespace {
// A field of the list holds no separator: a TAB or line end from a mail would
// split the record into more fields when it is read back.
QString oneField(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return out;
}
} // namespace

int ReadList::PutReadEntry(const QVariant &handledTime, const QVariant &mailDate, const QString &fileName,
                           const QString &uid, const QString &description)
{
    int i = find(uid);
    if (i < 0) {
        m_entries.append(ReadEntry{});
        i = static_cast<int>(m_entries.size()) - 1;
        if (m_indexValid)
            m_index.insert(UidKey{uid}, i);
    }
    ReadEntry &e = m_entries[i];
    e.HandledTime = handledTime;
    e.MailDate = mailDate;
    e.FileName = oneField(fileName);
    e.Uid = uid;
    e.Description = oneField(description);
    e.FilePresent = presentInSaveFolders(e.FileName);
    markUnsaved(i);
    return i;
}

void ReadList::markUnsaved(int index)
{
    if (!m_unsaved)
        m_unsavedSince = Clock::instance().tickCount();
    m_unsaved = true;
    m_unsavedIndexes.append(index);
}

bool ReadList::saveIfDue()
{
    if (!m_unsaved || Clock::elapsed(m_unsavedSince, Clock::instance().tickCount()) < SaveDelayMs)
        return true;
    return SaveReadList();
}

bool ReadList::flush()
{
    return !m_unsaved || SaveReadList();
}

ReadList::FileStamp ReadList::stampOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return stampOf(st);
}

ReadList::FileStamp ReadList::stampOf(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return {};
    return stampOf(st);
}

ReadList::FileStamp ReadList::stampOf(const struct stat &st)
{
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino), static_cast<qint64>(st.st_size),
            static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool ReadList::reloadIfChanged()
{
    if (!m_unsaved && m_stamp.size >= 0 && stampOf(filePath()) == m_stamp)
        return false;
    LoadReadList();
    return true;
}

// The file is read and converted a piece at a time (cut after a LF, which is
// never part of a CP932 double-byte character), so a long list never lies in
// memory whole, as bytes or as decoded text, beside its entries.
static constexpr qsizetype ConvertPiece = 256 * 1024;

void ReadList::LoadReadList()
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return; // a missing or unreadable list leaves what is in memory
    const FileStamp stamp = stampOf(file.handle());
    const SaveFolderPresence presence;

    QList<ReadEntry> loaded;
    const auto parse = [&](QByteArrayView bytes) {
        if (loaded.isEmpty()) {
            // As many records as the first piece's lines foretell for the whole file.
            qsizetype lines = 1;
            for (const char *p = bytes.data(), *end = p + bytes.size();
                 (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))) != nullptr; ++p)
                ++lines;
            loaded.reserve(lines * std::max<qint64>(stamp.size, bytes.size()) / bytes.size() + 16);
        }
        const QString text = Cp932::decode(bytes);
        for (QStringView line : QStringView(text).split(u'\n')) {
            if (line.endsWith(u'\r'))
                line.chop(1);
            if (line.isEmpty())
                continue;
            // Runs of TABs count as one separator, as the splitter makes them.
            const LineFields fields = splitLine(line);
            if (fields.count < 4)
                continue;
            ReadEntry &e = loaded.emplaceBack();
            e.HandledTime = dateOrText(fields.field[0]);
            e.MailDate = dateOrText(fields.field[1]);
            e.FileName = fields.field[2].toString();
            e.Uid = fields.field[3].toString();
            e.Description = fields.field[4].toString();
            e.FilePresent = presence.contains(e.FileName);
        }
    };
    QByteArray piece;
    for (;;) {
        const QByteArray more = file.read(ConvertPiece);
        piece += more;
        const bool atEnd = more.isEmpty();
        const qsizetype cut = atEnd ? piece.size() : piece.lastIndexOf('\n') + 1;
        if (cut > 0) {
            parse(QByteArrayView(piece).first(cut));
            piece.remove(0, cut);
        }
        if (atEnd)
            break;
    }
    file.close();
    QList<ReadEntry> unsaved;
    for (const int i : std::as_const(m_unsavedIndexes))
        unsaved.append(m_entries.at(i));
    m_entries = std::move(loaded);
    m_indexValid = false;
    m_stamp = stamp;
    m_unsavedIndexes.clear();
    for (const ReadEntry &e : std::as_const(unsaved)) {
        const int i = find(e.Uid);
        if (i >= 0) {
            m_entries[i] = e;
            m_unsavedIndexes.append(i);
        } else {
            m_entries.append(e);
            const int added = static_cast<int>(m_entries.size()) - 1;
            m_index.insert(UidKey{e.Uid}, added); // find() has just built the index
            m_unsavedIndexes.append(added);
        }
    }
}

bool ReadList::SaveReadList()
{
    // The files first, then the records that name them.
    if (!SyncBarrier::sync())
        return false;
    // Replaced as a whole: a crash leaves the old list or the new one, never
    // half of it. The text is made and converted a piece at a time.
    qsizetype next = 0;
    const auto nextPiece = [&]() -> std::optional<QByteArray> {
        if (next >= m_entries.size())
            return std::nullopt;
        QString text;
        for (; next < m_entries.size() && text.size() < ConvertPiece; ++next) {
            const ReadEntry &e = m_entries.at(next);
            if (!e.Removed)
                text += textOf(e.HandledTime) + u'\t' + textOf(e.MailDate) + u'\t' + e.FileName + u'\t' + e.Uid +
                        u'\t' + e.Description + QStringLiteral("\r\n");
        }
        return Cp932::encode(text);
    };
    if (!writeFileAtomically(filePath(), nextPiece))
        return false;
    m_stamp = stampOf(filePath());
    m_unsaved = false;
    m_unsavedIndexes.clear();
    return true;
}
