#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Starting other programs. The program is run directly with an argument list,
// never through a shell, and every wait pumps events (EventPump) so the window
// stays live while another program works.

// What became of one run of a program.
struct ProcessResult {
    // 0 when the program ran (whatever its exit code), else the error number
    // of the start failure (see StandardErrorText) or ProcessTimedOut.
    int error = 0;
    int exitCode = -1;
    // true when the program ended normally (not by a signal or a kill).
    bool exitedNormally = false;
    QByteArray standardOutput;
    QByteArray standardError;
};

// Error numbers of a failed start, in the runtime's traditional numbering.
enum ProcessError {
    ProcessInvalidCall = 5, // empty program name or the start failed otherwise
    ProcessFileNotFound = 53,
    ProcessPermissionDenied = 70,
    ProcessBadPathName = 75, // the name is a folder
    ProcessPathNotFound = 76,
    ProcessTimedOut = 1000, // ours: the program was killed after its time limit
};

// Runs the program and waits for it to end, pumping events. With timeoutMs
// >= 0 the program (and everything it started) is killed when it has not
// ended after that many milliseconds of the tick counter (Clock).
ProcessResult runProcess(const QString &program, const QStringList &args, int timeoutMs = -1);

// Starts the program and waits, pumping events, until it has ended; no time
// limit. Returns 0, or the error number when it could not be started (53 when
// the program file does not exist). The exit code is not reported.
int RunAndWait(const QString &program, const QStringList &args);

// The standard text for an error number, for the message box.
QString StandardErrorText(int number);

// Where the program file would be found: `program` itself when it holds a
// "/", else its first match on PATH; empty when there is none.
QString resolveProgram(const QString &program);
