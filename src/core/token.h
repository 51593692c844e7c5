#pragma once

#include <QString>
#include <QVariant>

// Splits a text into fields, either at any of a set of delimiter characters or
// at every occurrence of one delimiter string. Fields can be read in sequence
// (NextToken until IsEnd) or by 1-based number (Fields), the latter through an
// index of field positions built on first use.
//
// With delimiter characters, runs of delimiters count as one separator and
// leading delimiters are skipped; a text ending in delimiters yields one final
// empty field. With a delimiter string, adjacent delimiters give empty fields
// and a text ending in the delimiter has no empty field after it. The
// delimiter characters win when both are given.
class Token
{
public:
    QString SourceText() const { return m_source; }
    // Stores the text, rewinds to the first field and drops the field index.
    void setSourceText(const QString &text);

    void Init(const QString &SrcText, const QString &DlmChars = QString(), const QString &DlmString = QString());
    QString NextToken();
    int FieldsCount();
    // Field i (1-based); the empty text for 0, negatives and numbers past the end.
    QString Fields(int i);
    // Field i as a number: an int when the text is a whole number (or starts
    // with one, as "12abc"), a double otherwise ("1.5"), the int 0 when it is
    // no number at all.
    QVariant FieldsValue(int i);
    bool IsEnd() const { return m_pos > m_source.size(); }

    // The raw field index (fixed-width start/length pairs), for diagnostics.
    QString fieldIndexText() const { return m_fieldIndex; }
    int fieldIndexWidth() const { return m_indexWidth; }

private:
    void BuildFieldIndex();
    bool isDelimiter(QChar c) const { return m_dlmChars.contains(c); }
    // Scans one field from m_pos in delimiter-character mode. start is 0 when
    // only delimiters were left; m_pos moves to the delimiter after the field.
    void scanCharField(qsizetype &start, qsizetype &length);
    // Same in delimiter-string mode; start is always m_pos.
    void scanStringField(qsizetype &start, qsizetype &length);

    QString m_dlmChars;
    QString m_dlmString;
    QString m_source;
    qsizetype m_pos = 1; // 1-based position of the next character
    QString m_fieldIndex;
    int m_indexWidth = 0; // 0: no index built yet
};
