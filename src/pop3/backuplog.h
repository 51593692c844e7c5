#pragma once

#include <QDateTime>
#include <QString>

class MessageParser;

// The daily reception backup log: <folder>/yyyyMMdd.bkl, one record per
// retrieved data mail, appended as received (JIS text converted to Shift_JIS,
// a bare "+OK " status line left out), each ending with the "." line.
class BackupLog
{
public:
    // "yyyyMMdd.bkl" of the local date of `when`.
    static QString fileName(const QDateTime &when);
    // Appends the last parse's LogText to today's file (date from Clock). False,
    // with nothing written, for an empty folder or LogText, a folder that does
    // not exist (it is not created) or a failed write; a failed write leaves
    // the file as it was before the call.
    static bool WriteLog(MessageParser &parsed, const QString &folder);
};
