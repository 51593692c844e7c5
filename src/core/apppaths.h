#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its own files.
//
// One folder holds them all when
//   1. $KIVREL_HOME is set (that folder), or
//   2. the executable's folder holds a Kivrel.ini (a portable install), or
//   3. the files of an earlier version could not be moved out of
//      ~/.local/share/Kivrel (that folder stays in use).
// Otherwise they follow the XDG base directories:
//   Config   Kivrel.ini, dialer.ini        $XDG_CONFIG_HOME/kivrel (~/.config/kivrel)
//   Data     Kivrel.dat, KVLOG/, dialers   $XDG_DATA_HOME/kivrel (~/.local/share/kivrel)
//   State    KVLOG.TXT                     $XDG_STATE_HOME/kivrel (~/.local/state/kivrel)
//   Runtime  Kivrel.lock                   $XDG_RUNTIME_DIR/kivrel, else the state folder
// and the downloaded data files go to ~/TURFNET unless the settings name a folder.
// Every folder is created on first use.
namespace AppPaths {

enum class Kind { Config, Data, State, Runtime };

QString folder(Kind kind);
// folder(kind) + "/" + name
QString file(Kind kind, const QString &name);
// The data folder: the one folder, when there is one.
QString programFolder();
// programFolder() + "/" + name
QString inProgramFolder(const QString &name);
// True when every file lives in one folder (see above).
bool oneFolder();
// The first save folder when the settings name none.
QString defaultSaveFolder();

// The folder earlier versions kept everything in: $XDG_DATA_HOME/Kivrel.
QString oldFolder();

// Moves the files of an earlier version (Kivrel.ini, Kivrel.dat, KVLOG.TXT,
// KVLOG/, the external dialer programs, and ~/.config/Kivrel/dialer.ini) to
// their folders, once; other files (downloaded data) stay. Each file is moved
// atomically and never over an existing one. When a move fails, what was
// moved goes back and the old folder stays in use. Returns one line per step.
struct MoveReport {
    QStringList lines;
    bool failed = false;
};
MoveReport moveOldFiles();

// Forget the cached folders (tests change the environment between cases).
void reset();

} // namespace AppPaths
