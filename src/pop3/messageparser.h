#pragma once

#include "pop3/attachmentdecoder.h"

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
        Reply, // MakeData: header names in any case, the header ends at the first empty line
        Exact  // MakeDataEx: exact header spellings, state 0 ends at the first boundary line
    };

    // Parses `text`; true when subject and body are both non-empty afterwards.
    // Never throws: where an unreadable Date header or an odd JIS segment would
    // have ended the parse, it stops there, keeps what it had set, and
    // stoppedEarly() is true. Reply mode converts subject, body and from from
    // JIS at the end (only when both subject and body are set); Exact mode
    // converts the body when it reaches the attachment part.
    bool parse(const QByteArray &text, Mode mode);

    QDateTime date() const { return m_date; } // 1980-01-01 00:00:00 when the mail has none
    QString from() const;                     // header values decoded from CP932
    QString to() const;
    QString subject() const;
    QString body() const;
    QString fileName() const;
    // Raw bytes of the results (Shift_JIS after the JIS conversion).
    const QByteArray &fromBytes() const { return m_from; }
    const QByteArray &toBytes() const { return m_to; }
    const QByteArray &subjectBytes() const { return m_subject; }
    const QByteArray &bodyBytes() const { return m_body; }
    const QByteArray &fileNameBytes() const { return m_fileName; }
    const QByteArray &boundary() const { return m_boundary; }
    // Survives from one parse to the next unless the new mail's attachment part sets it.
    const QByteArray &transferEncoding() const { return m_transferEncoding; }
    // From the attachment part's first body line to the end of the text, without
    // a final CR LF "." CR LF. A view into the parsed text.
    QByteArrayView attachmentText() const;
    bool stoppedEarly() const { return m_stoppedEarly; }
    // Decodes the attachment into the file at `path` (AttachmentDecoder::TransferToFile).
    bool transferToFile(const QString &path, QString *error, const AttachmentDecoder::FileCheck &check = {}) const
    {
        return AttachmentDecoder::TransferToFile(attachmentText(), m_boundary, m_transferEncoding, path, error, check);
    }

    // The text the backup log writes (LogText), in two pieces: the JIS-converted
    // start of the parsed text and the rest of it as it was (a view), so a 50 MB
    // mail is logged without a converted copy of it. Until convertLogText() has
    // run, the head is empty and the tail is the whole parsed text.
    struct LogPieces {
        QByteArrayView head, tail;
        qsizetype size() const { return head.size() + tail.size(); }
        QByteArray joined() const { return head.toByteArray() + tail.toByteArray(); }
    };
    LogPieces logText() const;
    // The backup log's own steps on LogText: JIS converted (once; converting
    // again would change nothing), then a bare "+OK " CR LF status line dropped.
    // Returns the text to append. The attachment view is not affected.
    LogPieces convertLogText();

    // True when `buffer` holds "--" + boundary() + "--" anywhere. Meant for a
    // reply buffer that grows between calls: a call goes on searching where the
    // previous one stopped, as long as the buffer still starts out the same.
    bool boundComplete(QByteArrayView buffer) const;

    // The Date header reading (weekday dropped, "+zone" cut, local time as written).
    // Invalid QDateTime when the text does not read as a date.
    static QDateTime parseMailDate(QByteArrayView value);

private:
    QDateTime m_date;
    QByteArray m_from, m_to, m_subject, m_boundary, m_body, m_fileName, m_transferEncoding;
    QByteArray m_text;       // the parsed text; attachmentText() points into it
    QByteArray m_logHead;    // converted start of LogText ...
    qsizetype m_logTail = 0; // ... standing for m_text up to here
    qsizetype m_logSkip = 0; // status lines dropped from the front
    bool m_logConverted = false;
    qsizetype m_attachStart = 0, m_attachLength = 0;
    bool m_stoppedEarly = false;
    mutable AttachmentDecoder::SearchState m_boundSearch;
};
