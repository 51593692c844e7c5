#pragma once

// How the program ends, as scripts and timers see it. The numbers are fixed:
// cron jobs and systemd units test them, and --help and the man page list them.
enum class ExitCode : int {
    Normal = 0,          // the run (or the window) ended normally
    CouldNotRun = 1,     // the run failed, or an unexpected error ended the program
    NoDisplay = 2,       // a mode that needs a display was started without one
    Busy = 3,            // another Kivrel was downloading in the same program folder
    AutocloseFailed = 4, // test aid: a window refused to close when told to
    Usage = 64,          // an unknown option (EX_USAGE of sysexits.h)
    NotConfigured = 78,  // the automatic mode found no mail server set (EX_CONFIG)
};

constexpr int exitStatus(ExitCode code)
{
    return static_cast<int>(code);
}
