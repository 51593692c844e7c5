#include "download/restorefrombackup.h"

#include "core/activitylog.h"
#include "core/apppaths.h"
#include "core/filecopy.h"
#include "core/pathutil.h"
#include "core/settings.h"
#include "download/readlist.h"
#include "download/scanoptions.h"
#include "pop3/attachmentdecoder.h"
#include "pop3/backuplog.h"
#include "pop3/lzharchive.h"
#include "pop3/messageparser.h"

#include <QFile>

namespace {
// Every record of the log ends with a line holding only ".".
const QByteArray RecordEnd = QByteArrayLiteral("\r\n.\r\n");
} // namespace

QString RestoreFromBackup::logPath(const QDateTime &handled)
{
    return AppPaths::file(AppPaths::Kind::Data, QStringLiteral("KVLOG/") + BackupLog::fileName(handled));
}

bool RestoreFromBackup::restoreFile(const QDateTime &handled, const QString &fileName)
{
    if (!handled.isValid())
        return false;
    QFile file(logPath(handled));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray log = file.readAll();
    file.close();
    return restoreFromLog(log, fileName);
}

bool RestoreFromBackup::namesFile(const ReadEntry &entry)
{
    return !entry.FileName.isEmpty() && entry.FileName.compare(QStringLiteral("-"), Qt::CaseInsensitive) != 0;
}

bool RestoreFromBackup::restoreEntry(const ReadEntry &entry)
{
    if (entry.HandledTime.typeId() != QMetaType::QDateTime)
        return false;
    return restoreFile(entry.HandledTime.toDateTime(), entry.FileName);
}

bool RestoreFromBackup::restoreFromLog(const QByteArray &log, const QString &fileName)
{
    const SaveFolders folders = SaveFolders::fromSettings();
    // The name comes from the list; it must stay inside the save folders.
    if (folders.primary().isEmpty() || !isSafeFileName(fileName))
        return false;
    const QString target = joinPath(folders.primary(), fileName);

    MessageParser parser;
    qsizetype start = 0;
    while (start < log.size()) {
        qsizetype end = log.indexOf(RecordEnd, start);
        if (end < 0)
            end = log.size();
        // The record with its terminator again, as it was received.
        const QByteArray record = log.mid(start, end - start) + RecordEnd;
        start = end + RecordEnd.size();
        if (!parser.parse(record, MessageParser::Mode::Exact))
            continue;
        if (parser.fileName().compare(fileName, Qt::CaseInsensitive) != 0)
            continue;
        // Such a record "transfers" without writing anything: nothing is restored from it.
        if (!AttachmentDecoder::writesFile(parser.transferEncoding()))
            continue;
        QString error;
        // Only a whole archive replaces the file in the save folder.
        if (!parser.transferToFile(target, &error, LzhArchive::checkFor(fileName, Settings.VerifyArchives))) {
            WriteActivityLog(error);
            continue; // a later record of the same file may still decode
        }
        for (const QString &folder : folders.others())
            copyFileReplacing(target, joinPath(folder, fileName));
        return true;
    }
    return false;
}
