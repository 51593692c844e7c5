#include "core/inifile.h"

#include "core/apppaths.h"
#include "core/atomicfile.h"
#include "core/cp932.h"
#include "core/datetext.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <optional>

namespace {

// The longest value a read returns, in bytes (the classic 255-byte buffer less its NUL).
constexpr qsizetype kMaxValueBytes = 254;
// A settings file larger than this is not ours; it is neither read nor rewritten.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

QString g_lastError;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(QByteArrayView bytes)
{
    qsizetype b = 0;
    qsizetype e = bytes.size();
    while (b < e && isBlank(bytes[b]))
        ++b;
    while (e > b && isBlank(bytes[e - 1]))
        --e;
    return bytes.sliced(b, e - b).toByteArray();
}

// At most kMaxValueBytes bytes, without splitting a double-byte character.
QByteArray cutValue(const QByteArray &bytes)
{
    if (bytes.size() <= kMaxValueBytes)
        return bytes;
    qsizetype i = 0;
    while (i < kMaxValueBytes) {
        const qsizetype step = Cp932::isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        if (i + step > kMaxValueBytes)
            break;
        i += step;
    }
    return bytes.left(i);
}

QByteArray cutAtNul(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

// The file as lines of raw bytes (line ends removed). Lines are kept as bytes
// so a rewrite leaves every line it does not change exactly as it was.
class IniLines
{
public:
    // False when an existing file cannot be read (or is far too large).
    bool load(const QString &path)
    {
        m_lines.clear();
        m_ends.clear();
        const QFileInfo info(path);
        if (!info.exists())
            return true;
        if (!info.isFile() || info.size() > kMaxFileBytes)
            return false;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError || data.size() > kMaxFileBytes)
            return false;
        qsizetype from = 0;
        while (from < data.size()) {
            const qsizetype nl = data.indexOf('\n', from);
            const qsizetype next = nl < 0 ? data.size() : nl + 1;
            QByteArray text = data.sliced(from, next - from);
            QByteArray end;
            while (!text.isEmpty() && (text.endsWith('\n') || text.endsWith('\r'))) {
                end.prepend(text.back());
                text.chop(1);
            }
            m_lines.append(text);
            m_ends.append(end);
            from = next;
        }
        return true;
    }

    QByteArray serialize() const
    {
        QByteArray out;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            out += m_lines[i];
            // Every line keeps its own line end; added lines, and a last line
            // that had none, end in CR LF. So does a line that ended in a bare
            // CR: lines are told apart by LF, and a line added after it must not
            // join it.
            out += m_ends[i].endsWith('\n') ? m_ends[i] : QByteArray("\r\n");
        }
        return out;
    }

    // The value of section/key, or nullopt when there is no such key.
    std::optional<QByteArray> value(const QString &section, const QString &key) const
    {
        const qsizetype line = findKey(section, key);
        if (line < 0)
            return std::nullopt;
        const QByteArray &raw = m_lines[line];
        QByteArray v = trimBlanks(QByteArrayView(raw).sliced(raw.indexOf('=') + 1));
        if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
            v = v.sliced(1, v.size() - 2);
        return v;
    }

    void set(const QString &section, const QString &key, const QByteArray &value)
    {
        const QByteArray line = Cp932::encode(key) + '=' + value;
        const qsizetype header = findSection(section);
        if (header < 0) {
            if (!m_lines.isEmpty() && !trimBlanks(m_lines.last()).isEmpty())
                insert(m_lines.size(), QByteArray());
            insert(m_lines.size(), '[' + Cp932::encode(section) + ']');
            insert(m_lines.size(), line);
            return;
        }
        const qsizetype existing = findKey(section, key);
        if (existing >= 0) {
            m_lines[existing] = line;
            return;
        }
        // After the section's last non-blank line, so the blank line that
        // separates it from the next section stays in place.
        qsizetype at = header + 1;
        for (qsizetype i = header + 1; i < sectionEnd(header); ++i) {
            if (!trimBlanks(m_lines[i]).isEmpty())
                at = i + 1;
        }
        insert(at, line);
    }

private:
    static std::optional<QString> sectionName(const QByteArray &raw)
    {
        // "[" and "]" can be trail bytes of a double-byte character: look at decoded text.
        const QString text = Cp932::decode(raw).trimmed();
        if (!text.startsWith(u'['))
            return std::nullopt;
        const qsizetype close = text.indexOf(u']');
        return text.mid(1, close < 0 ? -1 : close - 1).trimmed();
    }

    static std::optional<QString> keyName(const QByteArray &raw)
    {
        const QByteArray trimmed = trimBlanks(raw);
        if (trimmed.startsWith(';') || trimmed.startsWith('['))
            return std::nullopt;
        const qsizetype eq = raw.indexOf('=');
        if (eq < 0)
            return std::nullopt;
        return Cp932::decode(trimBlanks(QByteArrayView(raw).first(eq))); // "=" is never a trail byte
    }

    qsizetype findSection(const QString &section) const
    {
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const auto name = sectionName(m_lines[i]);
            if (name && name->compare(section, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    qsizetype sectionEnd(qsizetype header) const
    {
        qsizetype i = header + 1;
        while (i < m_lines.size() && !sectionName(m_lines[i]))
            ++i;
        return i;
    }

    qsizetype findKey(const QString &section, const QString &key) const
    {
        const qsizetype header = findSection(section);
        if (header < 0)
            return -1;
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            const auto name = keyName(m_lines[i]);
            if (name && name->compare(key, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    void insert(qsizetype at, const QByteArray &line)
    {
        m_lines.insert(at, line);
        m_ends.insert(at, QByteArray("\r\n"));
    }

    QList<QByteArray> m_lines;
    QList<QByteArray> m_ends; // each line's own line end, as read
};

bool hasLineBreakOrNul(const QString &s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(u'\0'));
}

// A name must survive the trip to CP932 and back, or the key written would
// not be the key read.
bool storable(const QString &name)
{
    return !name.isEmpty() && !hasLineBreakOrNul(name) && Cp932::decode(Cp932::encode(name)) == name;
}

bool validName(const QString &section, const QString &key)
{
    const QString s = section.trimmed();
    const QString k = key.trimmed();
    return storable(s) && !s.contains(u']') && storable(k) && !k.contains(u'=') && !k.startsWith(u';') &&
           !k.startsWith(u'[');
}

// The bytes stored for a value. A line break would end the line and could
// forge other keys, so line breaks and NULs become blanks; a value that a read
// would change (surrounding blanks or quotes) is put in quotes.
QByteArray storedValue(const QVariant &value)
{
    QString text = iniValueText(value);
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            c = u' ';
    }
    const bool blankEdge = !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
    const bool quoted = text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"');
    if (blankEdge || quoted)
        text = u'"' + text + u'"';
    return Cp932::encode(text);
}

} // namespace

QString iniFilePath()
{
    return AppPaths::file(AppPaths::Kind::Config, QStringLiteral("Kivrel.ini"));
}

QString lastIniError()
{
    return g_lastError;
}

QString iniValueText(const QVariant &value)
{
    if (!value.isValid())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QTime:
        return formatTime(value.toTime());
    case QMetaType::QDateTime:
        return formatDateTime(value.toDateTime());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy/MM/dd"));
    case QMetaType::Float:
        return QString::number(value.toFloat(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}

QVariant ReadIniValue(const QString &section, const QString &key, const QVariant &def)
{
    IniLines lines;
    std::optional<QByteArray> stored;
    if (lines.load(iniFilePath()))
        stored = lines.value(section.trimmed(), key.trimmed());
    // A null default stands for 0.
    const QByteArray bytes = stored ? *stored : Cp932::encode(!def.isValid() ? QStringLiteral("0") : iniValueText(def));
    const QByteArray value = cutValue(cutAtNul(bytes));
    if (value.isEmpty())
        return QVariant();
    return Cp932::decode(value);
}

bool WriteIniValues(const QList<IniWrite> &writes)
{
    g_lastError.clear();
    const QString path = iniFilePath();
    IniLines lines;
    if (!lines.load(path)) {
        // Rewriting a file we cannot read would throw its other values away.
        g_lastError = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    for (const IniWrite &w : writes) {
        if (!validName(w.section, w.key)) {
            g_lastError = QStringLiteral("invalid section or key name: [%1] %2").arg(w.section, w.key);
            return false;
        }
        lines.set(w.section.trimmed(), w.key.trimmed(), storedValue(w.value));
    }
    return writeFileAtomically(path, lines.serialize(), &g_lastError, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool WriteIniValue(const QString &section, const QString &key, const QVariant &value)
{
    return WriteIniValues({IniWrite{section, key, value}});
}
