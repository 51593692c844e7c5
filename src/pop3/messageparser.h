#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

// Takes a received mail apart (header, first part's body, attachment part).
// The parsed text is held by value but shares the reply buffer's storage
// (implicit sharing), and the attachment is a view into it: nothing the size of
// the attachment is copied.
class MessageParser
{
public:
    enum class Mode {
        Reply,    // MakeData: header names in any case, the header ends at the first empty line
        Exact     // MakeDataEx: exact header spellings, state 0 ends at the first boundary line
    };

    // Parses `text`; true when subject and body are both non-empty afterwards.
    // Never throws: where the rules would stop at an unreadable Date header or
    // an odd JIS segment, the parse stops there and keeps what it had set.
    bool parse(const QByteArray &text, Mode mode);

    QDateTime date() const { return m_date; } // 1980-01-01 00:00:00 when the mail has none
    QString from() const;                    // header values decoded from CP932
    QString to() const;
    QString subject() const;
    QString body() const;
    QString fileName() const;
    // Raw bytes of the results (Shift_JIS after the JIS conversion).
    const QByteArray &subjectBytes() const { return m_subject; }
    const QByteArray &bodyBytes() const { return m_body; }
    const QByteArray &fileNameBytes() const { return m_fileName; }
    const QByteArray &boundary() const { return m_boundary; }
    // Survives from one parse to the next unless the new mail's attachment part sets it.
    const QByteArray &transferEncoding() const { return m_transferEncoding; }
    QByteArrayView attachmentText() const;
    // The whole parsed text; the backup log converts it in place.
    QByteArray &logText() { return m_logText; }

    // The Date header reading (weekday dropped, "+zone" cut, local time as written).
    // Invalid QDateTime when the text does not read as a date.
    static QDateTime parseMailDate(QByteArrayView value);

private:
    QDateTime m_date;
    QByteArray m_from, m_to, m_subject, m_boundary, m_body, m_fileName, m_transferEncoding;
    QByteArray m_logText;
    qsizetype m_attachStart = 0, m_attachLength = 0;
};
