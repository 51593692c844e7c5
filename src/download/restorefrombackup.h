#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct ReadEntry;

// Restoring a data file from the reception backup log of the day it was
// handled: the log's records are parsed in file order, and the first one whose
// attachment carries the file and decodes is written into the first save
// folder and copied into the later ones. Nothing is fetched from the server.
// It parses with a parser of its own, so a download run in progress keeps its
// parse results.
class RestoreFromBackup
{
public:
    // Program folder + "/KVLOG/yyyyMMdd.bkl" for the day of `handled`.
    static QString logPath(const QDateTime &handled);
    // True when the file was decoded into the first save folder that is set.
    static bool restoreFile(const QDateTime &handled, const QString &fileName);
    // True when the entry names a data file (not "-"), which a restore may bring back.
    static bool namesFile(const ReadEntry &entry);
    // The entry's file from the log of the day it was handled; false when
    // its handled time is not a date.
    static bool restoreEntry(const ReadEntry &entry);
    // The same on a log already read (tests, and the work of restoreFile).
    static bool restoreFromLog(const QByteArray &log, const QString &fileName);
};
