#pragma once

#include <QString>

// KVLOG.TXT in the program folder: the trace of the current run, CP932,
// CR LF line ends. Every line is written to the file before the call returns,
// so other programs can read it between lines; the file is kept open between
// lines (and opened again when it has been removed or replaced).

// Empties the log and writes the start block: an empty line,
// "[yy/MM/dd hh:mm起動]" and an empty line. Errors are ignored.
void WriteStartLog();

// Appends text and a line end; each line is in the file when the call returns
// (written, not held in a buffer of the program; not synced line by line).
// A text holding line ends gives several lines. False when the line was lost.
bool WriteActivityLog(const QString &text);

// The log's path: program folder + "/KVLOG.TXT".
QString activityLogPath();

// Texts of the log.
inline const QString kStartLogSuffix = QStringLiteral("起動]");
