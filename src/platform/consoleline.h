#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// Lines the program writes on standard output and standard error. Under a
// systemd service ($JOURNAL_STREAM names the stream's device and inode) every
// line starts with its priority as sd-daemon(3) has it, "<3>" for a failure,
// so `journalctl -p err` lists exactly the runs that failed.
namespace ConsoleLine {

enum class Priority : int { Err = 3, Warning = 4, Info = 6, Debug = 7 };

// True when `stream` is the journal's stream.
bool isJournal(std::FILE *stream);

// `text` as UTF-8 lines, each with the priority prefix when `journal`.
QByteArray format(const QString &text, Priority priority, bool journal);

// Writes and flushes `text` with the prefix `stream` needs.
void print(std::FILE *stream, const QString &text, Priority priority);

} // namespace ConsoleLine
