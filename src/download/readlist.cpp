#include "download/readlist.h"

#include "core/apppaths.h"
#include "core/atomicfile.h"
#include "core/cp932.h"
#include "core/datetext.h"
#include "core/pathutil.h"
#include "core/syncbarrier.h"
#include "download/savefolderpresence.h"
#include "download/scanoptions.h"
#include "platform/clock.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
// field. Only the first five are kept; the count is of all of them. The same
// rule on the bytes and on the decoded text: CP932 decoding never makes or
// swallows a TAB or CR.
template <typename View>
struct LineFields {
    View field[5];
    int count = 0;
};

// With `wanted` below five, the split stops once that many fields are
// found (the count is then not of all of them).
template <typename View>
LineFields<View> splitLine(View line, int wanted = 5)
{
    LineFields<View> out;
    const auto isSeparator = [](auto c) { return c == u'\t' || c == u'\r'; };
    qsizetype i = 0;
    while (i < line.size() && isSeparator(line[i]))
        ++i;
    while (i < line.size()) {
        const qsizetype start = i;
        while (i < line.size() && !isSeparator(line[i]))
            ++i;
        if (out.count < 5)
            out.field[out.count] = line.sliced(start, i - start);
        if (++out.count == wanted)
            return out;
        while (i < line.size() && isSeparator(line[i]))
            ++i;
    }
    if (!line.isEmpty() && isSeparator(line.back())) {
        if (out.count < 5)
            out.field[out.count] = View();
        ++out.count;
    }
    return out;
}

char16_t foldedUnit(char16_t u)
{
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    return QChar(u).toCaseFolded().unicode();
}

// A hash of a Uid consistent with comparing without regard to case: of the
// case-folded text, read eight bytes at a time where every unit folds to
// ASCII (bytes and text then hash alike), unit by unit otherwise.
quint64 mixed(quint64 h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

// Eight ASCII bytes with A..Z made a..z.
quint64 foldAscii8(quint64 w)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    const quint64 aboveA = (w & 0x7F * ones) + (0x80 - 'A') * ones;
    const quint64 aboveZ = (w & 0x7F * ones) + (0x80 - 'Z' - 1) * ones;
    const quint64 upper = aboveA & ~aboveZ & ~w & 0x80 * ones;
    return w | upper >> 2;
}

size_t asciiHash(const char *p, size_t n)
{
    quint64 h = 14695981039346656037ULL ^ n;
    for (; n >= 8; p += 8, n -= 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        h = (h ^ foldAscii8(w)) * 0x9E3779B97F4A7C15ULL;
        h ^= h >> 29;
    }
    if (n > 0) {
        quint64 w = 0;
        std::memcpy(&w, p, n);
        h = (h ^ foldAscii8(w)) * 0x9E3779B97F4A7C15ULL;
    }
    return static_cast<size_t>(mixed(h));
}

size_t foldedHash(QByteArrayView ascii)
{
    return asciiHash(ascii.data(), size_t(ascii.size()));
}

size_t foldedHash(QStringView text)
{
    QVarLengthArray<char, 64> folded;
    quint64 h = 14695981039346656037ULL;
    for (const QChar c : text) {
        const char16_t u = foldedUnit(c.unicode());
        folded.append(char(u));
        h = (h ^ u) * 1099511628211ULL;
        if (u >= 0x80)
            folded.clear();
    }
    if (folded.size() == text.size())
        return asciiHash(folded.data(), size_t(folded.size()));
    return static_cast<size_t>(mixed(h));
}

// Two Uids without regard to case: ASCII folded unit by unit, anything beyond
// ASCII (never in a valid id) by the full rule.
bool sameUid(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x >= 0x80 || y >= 0x80)
            return a.compare(b, Qt::CaseInsensitive) == 0;
        if (foldedUnit(x) != foldedUnit(y))
            return false;
    }
    return true;
}

bool sameUid(QByteArrayView ascii, QStringView text)
{
    if (ascii.size() != text.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t y = text[i].unicode();
        if (y >= 0x80)
            return QString::fromLatin1(ascii).compare(text, Qt::CaseInsensitive) == 0;
        if (foldedUnit(char16_t(ascii[i])) != foldedUnit(y))
            return false;
    }
    return true;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

QString asciiOrDecoded(QByteArrayView bytes)
{
    return isAscii(bytes) ? QString::fromLatin1(bytes) : Cp932::decode(bytes);
}

// What one CP932 character (a single byte, or lead and trail byte as
// lead << 8 | trail) decodes to, learnt from the decoder on first sight.
enum CodeBits : quint8 { CodeKnown = 1, CodeValid = 2, CodeRoundTrip = 4, CodeNarrow = 8 };

quint8 codeBits(unsigned code)
{
    static std::array<quint8, 65536> memo{};
    quint8 &bits = memo[code];
    if (bits == 0) {
        QByteArray bytes;
        if (code > 0xFF)
            bytes.append(char(code >> 8));
        bytes.append(char(code & 0xFF));
        const QString text = Cp932::decode(bytes);
        bits = CodeKnown;
        if (text.size() == 1 && text[0] != QChar(0xFFFD)) {
            bits |= CodeValid;
            if (Cp932::encode(text) == bytes)
                bits |= CodeRoundTrip;
            if (Cp932::displayWeight(text) == 1)
                bits |= CodeNarrow;
        }
    }
    return bits;
}

// Calls each(bits) for every character of the bytes; stops and returns false
// when one does not decode to a character of its own (the decoder would mark it).
template <typename Each>
bool eachCharacter(QByteArrayView bytes, Each each)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            each(quint8(CodeKnown | CodeValid | CodeRoundTrip | CodeNarrow));
            continue;
        }
        unsigned code = c;
        if (Cp932::isLeadByte(c) && i + 1 < bytes.size())
            code = c << 8 | static_cast<unsigned char>(bytes[++i]);
        const quint8 bits = codeBits(code);
        if (!(bits & CodeValid))
            return false;
        each(bits);
    }
    return true;
}

// A date-time as the number yyyyMMddhhmmss (its fixed-width text orders as it does).
qint64 dateTimeNumber(int year, int month, int day, int hour, int minute, int second)
{
    return ((((qint64(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

// A date field in the form the program writes ("1999/12/24 8:05:09",
// "1999/12/24"), read from its bytes as the text reader reads it.
struct ByteDate {
    qint64 number = -1; // yyyyMMddhhmmss; -1: the bytes do not settle it
    bool written = false; // exactly the text formatGeneral makes of it
};

ByteDate readDate(QByteArrayView f)
{
    ByteDate out;
    qsizetype i = 0;
    const auto number = [&](int minDigits, int maxDigits, int &value) {
        int digits = 0;
        value = 0;
        while (i < f.size() && digits < maxDigits && f[i] >= '0' && f[i] <= '9') {
            value = value * 10 + (f[i] - '0');
            ++i;
            ++digits;
        }
        return digits >= minDigits && !(i < f.size() && f[i] >= '0' && f[i] <= '9') ? digits : 0;
    };
    const auto expect = [&](char c) { return i < f.size() && f[i] == c && ++i; };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!number(4, 4, year) || !expect('/'))
        return out;
    const int monthDigits = number(1, 2, month);
    if (!monthDigits || !expect('/'))
        return out;
    const int dayDigits = number(1, 2, day);
    if (!dayDigits)
        return out;
    int hourDigits = 0;
    bool seconds = false;
    if (i < f.size()) {
        if (!expect(' ') || !(hourDigits = number(1, 2, hour)) || !expect(':') || !number(2, 2, minute))
            return out;
        if (i < f.size()) {
            if (!expect(':') || !number(2, 2, second) || i < f.size())
                return out;
            seconds = true;
        }
    }
    // One-digit minutes or seconds, and any other form, go through the text reader.
    if (year < 1000 || !QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return out;
    out.number = dateTimeNumber(year, month, day, hour, minute, second);
    const bool midnight = hour == 0 && minute == 0 && second == 0;
    out.written = monthDigits == 2 && dayDigits == 2 &&
                  (hourDigits == 0 ? midnight : !midnight && seconds && hourDigits == (hour > 9 ? 2 : 1));
    return out;
}

} // namespace

ReadList::ReadList() = default;
ReadList::~ReadList() = default;
ReadList::ReadList(ReadList &&) noexcept = default;
ReadList &ReadList::operator=(ReadList &&) noexcept = default;

ReadList::ReadList(const ReadList &other)
    : m_bytes(other.m_bytes), m_storage(other.m_storage), m_records(other.m_records), m_stamp(other.m_stamp), m_unsaved(other.m_unsaved),
      m_unsavedIndexes(other.m_unsavedIndexes), m_unsavedSince(other.m_unsavedSince), m_slots(other.m_slots),
      m_indexed(other.m_indexed)
{
}

ReadList::Record::Record(const Record &other)
    : begin(other.begin), end(other.end), uidBegin(other.uidBegin), uidEnd(other.uidEnd), tab1(other.tab1),
      tab2(other.tab2), flags(other.flags),
      entry(other.entry ? std::make_unique<ReadEntry>(*other.entry) : nullptr)
{
}

QString ReadList::textOf(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return formatGeneral(value.toDateTime());
    return value.toString();
}

qint64 ReadList::numberOf(const QVariant &value)
{
    if (value.typeId() != QMetaType::QDateTime)
        return -1;
    const QDateTime dt = value.toDateTime();
    if (!dt.isValid())
        return -1;
    const QDate d = dt.date();
    if (d.year() < 1000 || d.year() > 9999)
        return -1;
    const QTime t = dt.time();
    return dateTimeNumber(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QString ReadList::filePath()
{
    return AppPaths::file(AppPaths::Kind::Data, QStringLiteral("Kivrel.dat"));
}

bool ReadList::presentInSaveFolders(const QString &fileName)
{
    for (const QString &folder : SaveFolders::fromSettings().all()) {
        if (FileExists(folder, fileName))
            return true;
    }
    return false;
}

QByteArrayView ReadList::lineOf(const Record &r) const
{
    return QByteArrayView(m_bytes).sliced(r.begin, r.end - r.begin);
}

QByteArrayView ReadList::fieldOf(const Record &r, int field) const
{
    if (field == 3)
        return QByteArrayView(m_bytes).sliced(r.uidBegin, r.uidEnd - r.uidBegin);
    const QByteArrayView line = lineOf(r);
    if (r.tab1 == Record::NoTab)
        return splitLine(line, field + 1).field[field];
    switch (field) {
    case 0:
        return line.first(r.tab1);
    case 1:
        return line.sliced(r.tab1 + 1, r.tab2 - r.tab1 - 1);
    case 2:
        return line.sliced(r.tab2 + 1, r.uidBegin - r.begin - r.tab2 - 2);
    default: { // after the Uid, as the splitter finds it
        const auto isSeparator = [](char c) { return c == '\t' || c == '\r'; };
        qsizetype i = r.uidEnd - r.begin;
        while (i < line.size() && isSeparator(line[i]))
            ++i;
        if (i == line.size())
            return {};
        const qsizetype start = i;
        while (i < line.size() && !isSeparator(line[i]))
            ++i;
        return line.sliced(start, i - start);
    }
    }
}

const ReadEntry &ReadList::at(int i) const
{
    ReadEntry &e = decoded(i);
    e.FilePresent = filePresent(i);
    return e;
}

ReadEntry &ReadList::decoded(int i) const
{
    const Record &r = m_records[size_t(i)];
    if (!r.entry) {
        const QString text = Cp932::decode(lineOf(r));
        const LineFields fields = splitLine(QStringView(text));
        auto e = std::make_unique<ReadEntry>();
        e->HandledTime = dateOrText(fields.field[0]);
        e->MailDate = dateOrText(fields.field[1]);
        e->FileName = fields.field[2].toString();
        e->Uid = fields.field[3].toString();
        e->Description = fields.field[4].toString();
        r.entry = std::move(e);
    }
    return *r.entry;
}

bool ReadList::filePresent(int i) const
{
    const Record &r = m_records[size_t(i)];
    if (!(r.flags & PresenceKnown)) {
        if (!m_presence)
            m_presence = std::make_unique<SaveFolderPresence>();
        const QByteArrayView name = r.entry ? QByteArrayView() : fieldOf(r, 2);
        const bool present = r.entry        ? m_presence->contains(r.entry->FileName)
                             : isAscii(name) ? m_presence->containsAscii(name)
                                             : m_presence->contains(Cp932::decode(name));
        r.flags |= PresenceKnown | (present ? Present : 0);
    }
    return r.flags & Present;
}

// Whether a local day holds no change of the UTC offset: then every time of
// it reads back as written (no gap moves it, no overlap makes it ambiguous),
// and times of two such days order as their digits do.
bool ReadList::steadyDay(qint64 number) const
{
    const qint64 day = number / 1000000;
    if (day == m_lastSteadyDay)
        return true;
    const QDate date(int(day / 10000), int(day / 100 % 100), int(day % 100));
    const auto noonOffset = [this](qint64 jd) {
        const auto found = m_noonOffsets.constFind(jd);
        if (found != m_noonOffsets.constEnd())
            return *found;
        const int offset = QDateTime(QDate::fromJulianDay(jd), QTime(12, 0)).offsetFromUtc();
        m_noonOffsets.insert(jd, offset);
        return offset;
    };
    const qint64 jd = date.toJulianDay();
    if (noonOffset(jd - 1) != noonOffset(jd + 1))
        return false;
    m_lastSteadyDay = day;
    return true;
}

qint64 ReadList::dateNumber(int i, int field) const
{
    const Record &r = m_records[size_t(i)];
    if (!r.entry) {
        const ByteDate d = readDate(fieldOf(r, field));
        if (d.number >= 0 && steadyDay(d.number))
            return d.number;
    }
    const ReadEntry &e = decoded(i);
    return numberOf(field == 0 ? e.HandledTime : e.MailDate);
}

bool ReadList::handledAfter(int i, const QDateTime &t) const
{
    const Record &r = m_records[size_t(i)];
    if (!r.entry) {
        if (t != m_after || t.timeSpec() != m_after.timeSpec()) {
            m_after = t;
            m_afterNumber = numberOf(t);
            if (m_afterNumber >= 0 && !steadyDay(m_afterNumber))
                m_afterNumber = -1;
        }
        const ByteDate d = readDate(fieldOf(r, 0));
        if (m_afterNumber >= 0 && d.number >= 0 && steadyDay(d.number))
            return d.number > m_afterNumber;
    }
    const QVariant &handled = decoded(i).HandledTime;
    return handled.typeId() == QMetaType::QDateTime && handled.toDateTime() > t;
}

int ReadList::fieldWeight(int i, int field) const
{
    const Record &r = m_records[size_t(i)];
    if (r.entry)
        return -1;
    int weight = 0;
    if (!eachCharacter(fieldOf(r, field), [&weight](quint8 bits) { weight += bits & CodeNarrow ? 1 : 2; }))
        return -1;
    return weight;
}

bool ReadList::namesFile(const QString &fileName) const
{
    for (const Record &r : m_records) {
        if (r.entry ? r.entry->FileName == fileName : asciiOrDecoded(fieldOf(r, 2)) == fileName)
            return true;
    }
    return false;
}

// A record whose bytes decode and encode back to exactly themselves, as the
// save would write it: five fields with single TABs, CR LF, both dates in the
// written form, and only characters that encode back to the same code (not
// the NEC and IBM duplicates, nothing the decoder would mark).
bool ReadList::verbatim(const Record &r) const
{
    if (r.flags & VerbatimKnown)
        return r.flags & Verbatim;
    bool ok = r.end + 1 < quint32(m_bytes.size()) && m_bytes[r.end] == '\r' && m_bytes[r.end + 1] == '\n';
    const QByteArrayView line = lineOf(r);
    qsizetype tabs = 0;
    for (qsizetype at = 0; ok && at < line.size(); ++at) {
        if (line[at] == '\r')
            ok = false;
        else if (line[at] == '\t')
            ok = ++tabs <= 4 && at > 0 && line[at - 1] != '\t';
    }
    ok = ok && tabs == 4; // the last field may be empty, no other
    if (ok) {
        for (const int field : {0, 1}) {
            const ByteDate date = readDate(fieldOf(r, field));
            ok = ok && date.written && steadyDay(date.number);
        }
    }
    bool roundTrip = true;
    ok = ok && eachCharacter(line, [&roundTrip](quint8 bits) { roundTrip = roundTrip && (bits & CodeRoundTrip); }) &&
         roundTrip;
    r.flags |= VerbatimKnown | (ok ? Verbatim : 0);
    return ok;
}

size_t ReadList::uidHash(int i) const
{
    const Record &r = m_records[size_t(i)];
    return r.entry ? foldedHash(QStringView(r.entry->Uid)) : foldedHash(fieldOf(r, 3));
}

bool ReadList::uidEquals(int i, const QString &uid) const
{
    const Record &r = m_records[size_t(i)];
    return r.entry ? sameUid(r.entry->Uid, uid) : sameUid(fieldOf(r, 3), uid);
}

// The Uid index: open addressing, each slot the record's index and the upper
// half of its hash (compared first, so a probe rarely looks at a record).
namespace {
constexpr quint64 EmptySlot = ~quint64(0);
quint64 slotOf(int i, size_t hash)
{
    return quint64(hash) >> 32 << 32 | quint32(i);
}
bool sameHash(quint64 slot, size_t hash)
{
    return (slot ^ quint64(hash)) >> 32 == 0;
}
} // namespace

void ReadList::indexRecord(int i)
{
    indexRecord(i, uidHash(i));
}

// Records the first record of each Uid.
void ReadList::indexRecord(int i, size_t hash)
{
    if ((m_indexed + 1) * 2 > m_slots.size()) {
        rebuildIndex(); // this record too
        return;
    }
    const size_t mask = m_slots.size() - 1;
    const Record &r = m_records[size_t(i)];
    const QByteArrayView bytes = r.entry ? QByteArrayView() : fieldOf(r, 3);
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const quint64 at = m_slots[slot];
        if (at == EmptySlot) {
            m_slots[slot] = slotOf(i, hash);
            ++m_indexed;
            return;
        }
        if (!sameHash(at, hash))
            continue;
        const int j = int(quint32(at));
        const Record &other = m_records[size_t(j)];
        bool same;
        if (r.entry || other.entry) {
            same = uidEquals(j, r.entry ? r.entry->Uid : QString::fromLatin1(bytes));
        } else { // two ASCII ids
            const QByteArrayView otherBytes = fieldOf(other, 3);
            same = bytes.size() == otherBytes.size() &&
                   qstrnicmp(bytes.data(), otherBytes.data(), size_t(bytes.size())) == 0;
        }
        if (same)
            return; // the first of two equal ids is the one used
    }
}

void ReadList::resetIndex(size_t records)
{
    size_t size = 16;
    while (size < records * 2 + 2)
        size *= 2;
    m_slots.assign(size, EmptySlot);
    m_indexed = 0;
}

void ReadList::rebuildIndex()
{
    resetIndex(m_records.size());
    for (int i = 0; i < ReadCount(); ++i)
        indexRecord(i, uidHash(i));
}

int ReadList::find(const QString &uid) const
{
    if (m_slots.empty())
        return -1;
    const size_t mask = m_slots.size() - 1;
    const size_t hash = foldedHash(QStringView(uid));
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const quint64 at = m_slots[slot];
        if (at == EmptySlot)
            return -1;
        if (sameHash(at, hash) && uidEquals(int(quint32(at)), uid))
            return int(quint32(at));
    }
}

void ReadList::markRemoved(const QStringList &uids)
{
    QMultiHash<size_t, QString> keys;
    for (const QString &uid : uids)
        keys.insert(foldedHash(QStringView(uid)), uid);
    for (int i = 0; i < ReadCount(); ++i) {
        const size_t hash = uidHash(i);
        for (auto it = keys.constFind(hash); it != keys.constEnd() && it.key() == hash; ++it) {
            if (uidEquals(i, it.value())) {
                m_records[size_t(i)].flags |= Removed;
                break;
            }
        }
    }
}

void ReadList::refreshPresence()
{
    m_presence = std::make_unique<SaveFolderPresence>();
    for (Record &r : m_records)
        r.flags &= quint8(~(PresenceKnown | Present));
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
    ReadEntry e;
    e.HandledTime = handledTime;
    e.MailDate = mailDate;
    e.FileName = oneField(fileName);
    e.Uid = uid;
    e.Description = oneField(description);
    e.FilePresent = presentInSaveFolders(e.FileName);
    int i = find(uid);
    if (i < 0) {
        m_records.emplace_back();
        i = ReadCount() - 1;
        m_records.back().entry = std::make_unique<ReadEntry>(std::move(e));
        indexRecord(i);
    } else if (m_records[size_t(i)].entry) {
        *m_records[size_t(i)].entry = std::move(e); // the same object: references to it stay valid
    } else {
        m_records[size_t(i)].entry = std::make_unique<ReadEntry>(std::move(e));
    }
    Record &r = m_records[size_t(i)];
    r.flags = quint8(Own | PresenceKnown | (r.entry->FilePresent ? Present : 0) | (r.flags & Removed));
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

namespace {
// A long list is read into pages of its own that the kernel may back with
// huge pages: a new process would otherwise take a page fault for every
// 4 KiB of it, which costs more than the read itself.
constexpr qint64 HugePage = 2 * 1024 * 1024;

struct Pages {
    void *area = nullptr;
    size_t length = 0;
    ~Pages() { ::munmap(area, length); }
    char *data() const
    {
        return reinterpret_cast<char *>((reinterpret_cast<quintptr>(area) + HugePage - 1) & ~quintptr(HugePage - 1));
    }
};

// Into `storage` when it is this list's alone and large enough (a reload),
// else into new pages.
QByteArray readWhole(int fd, qint64 size, std::shared_ptr<void> &storage)
{
    const size_t length = size_t(size + HugePage);
    auto pages = std::static_pointer_cast<Pages>(storage);
    if (!pages || pages.use_count() > 2 || pages->length < length) {
        void *area = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED)
            return {};
        pages = std::make_shared<Pages>();
        pages->area = area;
        pages->length = length;
        ::madvise(pages->data(), size_t(size), MADV_HUGEPAGE);
    }
    storage = pages;
    char *data = pages->data();
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return QByteArray::fromRawData(data, done);
}
} // namespace

// The file is written a piece at a time.
static constexpr qsizetype WritePiece = 256 * 1024;

void ReadList::LoadReadList()
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return; // a missing or unreadable list leaves what is in memory
    const FileStamp stamp = stampOf(file.handle());
    if (stamp.size >= qint64(std::numeric_limits<quint32>::max()))
        return; // beyond what the index addresses (and what a list ever holds)
    std::shared_ptr<void> storage = std::move(m_storage);
    m_bytes = QByteArray(); // read again below, the records are made anew
    QByteArray bytes = stamp.size >= HugePage ? readWhole(file.handle(), stamp.size, storage) : QByteArray();
    if (bytes.isNull()) {
        storage.reset();
        bytes = file.readAll();
    }
    file.close();

    std::vector<std::unique_ptr<ReadEntry>> unsaved;
    for (const int i : std::as_const(m_unsavedIndexes))
        unsaved.push_back(std::move(m_records[size_t(i)].entry));
    m_unsavedIndexes.clear();
    m_bytes = std::move(bytes);
    m_storage = std::move(storage);
    m_records.clear();
    m_presence.reset();
    m_noonOffsets.clear();
    m_after = QDateTime();
    m_lastSteadyDay = -1;
    m_stamp = stamp;

    // Lines and their Uid fields, indexed; the rest waits until a record is
    // used. One pass: byte by byte up to the Uid's end, the rest of the line
    // by memchr. The first lines foretell how many there are (the list and
    // the index grow if they were wrong).
    const char *const base = m_bytes.constData();
    const char *const end = base + m_bytes.size();
    const qsizetype sample = std::min<qsizetype>(m_bytes.size(), 64 * 1024);
    const double perByte = double(std::count(base, base + sample, '\n') + 1) / double(std::max<qsizetype>(sample, 1));
    const size_t lines = size_t(perByte * double(m_bytes.size()) * 1.05) + 16;
    m_records.reserve(lines + size_t(unsaved.size()));
    resetIndex(lines + size_t(unsaved.size()));
    for (const char *p = base; p < end;) {
        // The usual line: three single TABs before the Uid, no CR up to its end.
        const char *uid = nullptr;
        const char *uidEnd = nullptr;
        const char *tab[2] = {};
        int tabs = 0;
        bool usual = true;
        const char *q = p;
        for (; q < end; ++q) {
            const char c = *q;
            if (static_cast<unsigned char>(c) > '\r')
                continue;
            if (c == '\n' || (c == '\r' && q + 1 < end && q[1] == '\n'))
                break; // the line's end
            if (c == '\r' || (c == '\t' && (q == p || q[-1] == '\t'))) {
                usual = false;
                break;
            }
            if (c != '\t')
                continue;
            if (++tabs == 4) {
                uidEnd = q;
                break;
            }
            if (tabs == 3)
                uid = q + 1;
            else
                tab[tabs - 1] = q;
        }
        const char *lf = q < end ? static_cast<const char *>(std::memchr(q, '\n', size_t(end - q))) : nullptr;
        const char *lineEnd = lf ? lf : end;
        const char *e = lineEnd > p && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
        const char *line = p;
        p = lineEnd + 1;
        if (e == line)
            continue;
        if (!uidEnd)
            uidEnd = e;
        usual = usual && tabs >= 3 && uid != uidEnd;
        if (!usual) {
            uid = nullptr;
            const auto fields = splitLine(QByteArrayView(line, e - line));
            if (fields.count < 4)
                continue;
            uid = fields.field[3].isNull() ? e : fields.field[3].data();
            uidEnd = uid + fields.field[3].size();
        }
        const int i = ReadCount();
        Record &r = m_records.emplace_back();
        r.begin = quint32(line - base);
        r.end = quint32(e - base);
        r.uidBegin = quint32(uid - base);
        r.uidEnd = quint32(uidEnd - base);
        if (usual && tab[1] - line < Record::NoTab) {
            r.tab1 = quint16(tab[0] - line);
            r.tab2 = quint16(tab[1] - line);
        }
        const QByteArrayView key(uid, uidEnd - uid);
        if (isAscii(key)) {
            indexRecord(i, foldedHash(key));
        } else { // a Uid beyond ASCII is keyed by its decoded text
            (void)decoded(i);
            indexRecord(i, uidHash(i));
        }
    }

    for (auto &e : unsaved) {
        if (!e)
            continue; // an entry put twice is in the list once
        const int i = find(e->Uid);
        const int index = i >= 0 ? i : ReadCount();
        if (i < 0)
            m_records.emplace_back();
        Record &r = m_records[size_t(index)];
        r.entry = std::move(e);
        r.flags = quint8(Own | PresenceKnown | (r.entry->FilePresent ? Present : 0));
        if (i < 0)
            indexRecord(index);
        m_unsavedIndexes.append(index);
    }
}

bool ReadList::SaveReadList()
{
    // The files first, then the records that name them.
    if (!SyncBarrier::sync())
        return false;
    // Replaced as a whole: a crash leaves the old list or the new one, never
    // half of it. The text is made a piece at a time: a record the list has not
    // changed, whose bytes would come back the same, is copied as it was read.
    size_t next = 0;
    const auto nextPiece = [&]() -> std::optional<QByteArray> {
        if (next >= m_records.size())
            return std::nullopt;
        QByteArray piece;
        QString text; // decoded records waiting to be encoded
        const auto encodeText = [&] {
            piece += Cp932::encode(text);
            text.clear();
        };
        for (; next < m_records.size() && piece.size() + text.size() < WritePiece; ++next) {
            const Record &r = m_records[next];
            if (r.flags & Removed)
                continue;
            if (!(r.flags & Own) && verbatim(r)) {
                if (!text.isEmpty())
                    encodeText();
                piece += lineOf(r);
                piece += "\r\n";
                continue;
            }
            const ReadEntry &e = decoded(int(next));
            text += textOf(e.HandledTime) + u'\t' + textOf(e.MailDate) + u'\t' + e.FileName + u'\t' + e.Uid + u'\t' +
                    e.Description + QStringLiteral("\r\n");
        }
        encodeText();
        return piece;
    };
    if (!writeFileAtomically(filePath(), nextPiece))
        return false;
    m_stamp = stampOf(filePath());
    m_unsaved = false;
    m_unsavedIndexes.clear();
    return true;
}
