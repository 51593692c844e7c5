#pragma once

#include <QString>
#include <QTime>
#include <QVariant>

// The external dialer (rconnect / RCONNECT.EXE and rdisconn / RDISCONN.EXE in
// the program folder) keeps two connection names and a daily "TELEHO" period
// in a per-user store. We only read it.
//
// The store is a UTF-8 INI file, section [AUTOCONNECT]:
//   $KIVREL_DIALER_STORE when set (the whole file path), else
//   dialer.ini in the settings folder ($XDG_CONFIG_HOME/kivrel), or, where
//   all files share one folder (AppPaths), $XDG_CONFIG_HOME/Kivrel/dialer.ini.
// Values:
//   TELEHO_START_TIME, TELEHO_END_TIME  seconds after midnight (default 0)
//   ENTRYNAME_TELEHO, ENTRYNAME_NORMAL  connection names (default empty)
// A value is text; "dword:" followed by up to 8 hex digits is a 32-bit number
// (as a registry export writes it), and a number written as decimal text
// counts the same as that number. Surrounding double quotes are removed, so a
// text can keep blanks at its ends. Value names are matched without regard to case.

// The store's file path, by the rule above.
QString dialerStorePath();

// One value of the store: a QString, a qint32 (a "dword:" value) or, when the
// value, the section or the file is missing, `defaultValue`. Read afresh every call.
QVariant GetRegValue(const QString &valueName, const QVariant &defaultValue);

// The dialer's TELEHO rule: the period runs from `start` across midnight to
// `end` (seconds after midnight; text is read as a decimal number, anything
// unreadable as 0). `now` counts in whole seconds.
bool InTelehoPeriod(const QVariant &start, const QVariant &end, const QTime &now);

// The connection name the external dialer uses at this time of day (Clock):
// ENTRYNAME_TELEHO inside the TELEHO period, else ENTRYNAME_NORMAL; empty when
// none is configured.
QString ReadDialerSettings();

enum class ExternalDialer { Connect, Disconnect };

// The external dialer's program in the program folder: "rconnect" (or
// "rdisconn"), else "RCONNECT.EXE" (or "RDISCONN.EXE"), names matched without
// regard to case. When none is there, the path of the .EXE name, so that
// starting it reports the missing file.
QString ExternalDialerProgram(ExternalDialer which);
