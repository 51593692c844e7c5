#pragma once

#include <QString>

// Where the program keeps its own files (Kivrel.ini, Kivrel.dat, KVLOG.TXT,
// KVLOG/, the external dialer programs):
//   1. $KIVREL_HOME when set;
//   2. the executable's folder when it holds a Kivrel.ini (portable install);
//   3. $XDG_DATA_HOME/Kivrel, else ~/.local/share/Kivrel, created on first use.
namespace AppPaths {
QString programFolder();
// programFolder() + "/" + name
QString inProgramFolder(const QString &name);
// Forget the cached folder (tests change KIVREL_HOME between cases).
void reset();
} // namespace AppPaths
