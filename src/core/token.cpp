#include "core/token.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// The text as a double the way a user would type one; nullopt-like false when
// it is not a number as a whole.
bool wholeNumber(const QString &text, double &value)
{
    bool ok = false;
    value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value);
}

// Digits and one "." at the start of the text (after blanks and a sign);
// everything after them is ignored. "12abc" reads 12, "abc" reads 0.
double leadingNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    QString digits;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        digits += text[i++];
    bool dot = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits += c;
        } else if (c == u'.' && !dot) {
            dot = true;
            digits += c;
        } else {
            break;
        }
    }
    bool ok = false;
    const double d = QLocale::c().toDouble(digits, &ok);
    return ok && std::isfinite(d) ? d : 0.0;
}

// Rounds to a 32-bit integer, halves to even; false when out of range.
bool toInt32(double d, qint32 &n)
{
    const double r = std::nearbyint(d);
    if (!(r >= std::numeric_limits<qint32>::min() && r <= std::numeric_limits<qint32>::max()))
        return false;
    n = static_cast<qint32>(r);
    return true;
}

} // namespace

void Token::setSourceText(const QString &text)
{
    m_source = text;
    m_pos = 1;
    m_fieldIndex.clear();
    m_indexWidth = 0;
}

void Token::Init(const QString &SrcText, const QString &DlmChars, const QString &DlmString)
{
    setSourceText(SrcText);
    m_dlmChars = DlmChars;
    m_dlmString = DlmString;
    m_pos = 1;
}

void Token::scanCharField(qsizetype &start, qsizetype &length)
{
    const qsizetype size = m_source.size();
    qsizetype p = m_pos;
    while (p <= size && isDelimiter(m_source[p - 1]))
        ++p;
    const qsizetype first = p;
    while (p <= size && !isDelimiter(m_source[p - 1]))
        ++p;
    m_pos = p;
    length = p - first;
    start = length > 0 ? first : 0;
}

void Token::scanStringField(qsizetype &start, qsizetype &length)
{
    const qsizetype size = m_source.size();
    start = m_pos;
    const qsizetype found = m_pos <= size ? m_source.indexOf(m_dlmString, m_pos - 1) : -1;
    if (found >= 0) {
        length = found - (m_pos - 1);
        m_pos = found + 1 + m_dlmString.size();
    } else {
        length = m_pos <= size ? size - m_pos + 1 : 0;
        m_pos = size + 1;
    }
}

QString Token::NextToken()
{
    qsizetype start = 0;
    qsizetype length = 0;
    if (!m_dlmChars.isEmpty())
        scanCharField(start, length);
    else if (!m_dlmString.isEmpty())
        scanStringField(start, length);
    if (start <= 0 || length <= 0)
        return QString();
    return m_source.mid(start - 1, length);
}

void Token::BuildFieldIndex()
{
    const qsizetype saved = m_pos;
    m_pos = 1;
    m_fieldIndex.clear();
    m_indexWidth = static_cast<int>(QString::number(m_source.size()).size());
    // Neither delimiter: nothing would ever advance the position, so no fields.
    if (!m_dlmChars.isEmpty() || !m_dlmString.isEmpty()) {
        while (!IsEnd()) {
            qsizetype start = 0;
            qsizetype length = 0;
            if (!m_dlmChars.isEmpty())
                scanCharField(start, length);
            else
                scanStringField(start, length);
            m_fieldIndex += QStringLiteral("%1%2")
                                .arg(start, m_indexWidth, 10, QLatin1Char('0'))
                                .arg(length, m_indexWidth, 10, QLatin1Char('0'));
        }
    }
    m_pos = saved;
}

int Token::FieldsCount()
{
    if (m_indexWidth == 0)
        BuildFieldIndex();
    if (m_indexWidth == 0)
        return 0;
    return static_cast<int>(m_fieldIndex.size() / (2 * m_indexWidth));
}

QString Token::Fields(int i)
{
    if (m_indexWidth == 0)
        BuildFieldIndex();
    if (i <= 0 || m_indexWidth == 0)
        return QString();
    const qint64 offset = (static_cast<qint64>(i) - 1) * 2 * m_indexWidth;
    if (offset + 2 * m_indexWidth > m_fieldIndex.size())
        return QString();
    const qsizetype start = QStringView(m_fieldIndex).mid(offset, m_indexWidth).toLongLong();
    const qsizetype length = QStringView(m_fieldIndex).mid(offset + m_indexWidth, m_indexWidth).toLongLong();
    if (start <= 0)
        return QString();
    return m_source.mid(start - 1, length);
}

QVariant Token::FieldsValue(int i)
{
    const QString text = Fields(i);
    double d = 0.0;
    if (!wholeNumber(text, d))
        d = 0.0;
    qint32 n = 0;
    if (!toInt32(d, n))
        n = 0; // too large for 32 bits: N stays 0 and D wins below
    if (static_cast<double>(n) != d)
        return QVariant(d);
    if (n != 0)
        return QVariant(n);
    // "12abc" is no number as a whole; read the number it starts with.
    d = leadingNumber(text);
    if (!toInt32(d, n) || static_cast<double>(n) != d)
        return QVariant(d);
    return QVariant(n);
}
