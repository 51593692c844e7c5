// The aPOP component's message side: parsing the last reply (or a logged
// message), decoding its attachment, and the backup log.
#include "pop3/apop.h"
#include "pop3/attachmentdecoder.h"
#include "pop3/backuplog.h"

bool aPOP::MakeData()
{
    return m_parsed.parse(GetMessage(), MessageParser::Mode::Reply);
}

bool aPOP::MakeDataEx(const QByteArray &text)
{
    return m_parsed.parse(text, MessageParser::Mode::Exact);
}

QDateTime aPOP::GetDate() const
{
    return m_parsed.date();
}

QString aPOP::GetFrom() const
{
    return m_parsed.from();
}

QString aPOP::GetTo() const
{
    return m_parsed.to();
}

QString aPOP::GetSubject() const
{
    return m_parsed.subject();
}

QString aPOP::GetBody() const
{
    return m_parsed.body();
}

QString aPOP::GetFileName() const
{
    return m_parsed.fileName();
}

bool aPOP::TransferToFile(const QString &path, const AttachmentDecoder::FileCheck &check)
{
    return AttachmentDecoder::TransferToFile(m_parsed.attachmentText(), m_parsed.boundary(),
                                             m_parsed.transferEncoding(), path, &m_transferError, check);
}

QString aPOP::TransferToFileErrorMessage() const
{
    return m_transferError;
}

bool aPOP::BoundComplete() const
{
    return m_parsed.boundComplete(GetMessage());
}

bool aPOP::WriteLog(const QString &folder)
{
    return BackupLog::WriteLog(m_parsed, folder);
}

MessageParser &aPOP::parser()
{
    return m_parsed;
}
