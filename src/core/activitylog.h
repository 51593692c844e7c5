#pragma once

#include <QString>

// KVLOG.TXT in the program folder: the trace of the current run, CP932,
// CR LF line ends. Opened and closed for every line, so other programs can
// read it between lines.

// Empties the log and writes the start block: an empty line,
// "[yy/MM/dd hh:mm起動]" and an empty line. Errors are ignored.
void WriteStartLog();

// Appends text and a line end; each line is on disk when the call returns.
// A text holding line ends gives several lines. False when the line was lost.
bool WriteActivityLog(const QString &text);

// The log's path: program folder + "/KVLOG.TXT".
QString activityLogPath();

// Texts of the log.
inline const QString kStartLogSuffix = QStringLiteral("起動]");
