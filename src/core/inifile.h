#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Kivrel.ini in the program folder: the settings and the few other values
// the windows keep. Private-profile form ("[Section]" lines, "key=value"
// lines), CP932, CR LF line ends. Sections and keys are compared without
// regard to letter case; the first matching section and key win. Lines
// starting with ";" are comments. Every call reads the file afresh; nothing is
// cached, so a value written is seen by the next read at once.

// Reads one value. The result is the value's text, or a null QVariant for
// "nothing": a key present with an empty value, or a missing key when the
// default's text is empty. A missing key (or file, or section) gives the
// default's text (iniValueText); a null default (QVariant()) counts as "0". Values and defaults are cut
// to 254 bytes of CP932 (a double-byte character that would be split is left
// out whole). One pair of double quotes around a value is removed. A file
// that cannot be read, or is larger than 16 MiB, reads as empty.
QVariant ReadIniValue(const QString &section, const QString &key, const QVariant &def);

// Writes one value, creating the file, section or key as needed, and keeps
// every other line (hand-written keys, comments, their line ends) as it was.
// The file is replaced atomically and is always left readable by its owner
// only (it holds the scrambled password). False when it could not be written; the old file is
// then untouched. A section or key name that cannot be stored (empty, or
// holding "]", "=", a line break) is refused.
bool WriteIniValue(const QString &section, const QString &key, const QVariant &value);

// Several writes applied in order and saved in one replacement of the file:
// either all of them reach the disk or none.
struct IniWrite {
    QString section;
    QString key;
    QVariant value;
};
bool WriteIniValues(const QList<IniWrite> &writes);

// The text a value is stored as: bool "True"/"False", QTime "hh:mm:ss",
// QDateTime "yyyy/MM/dd hh:mm:ss", QDate "yyyy/MM/dd", float/double the
// shortest text that reads back the same, a null value the empty text.
QString iniValueText(const QVariant &value);

// The file's path: program folder + "/Kivrel.ini".
QString iniFilePath();

// Why the last write failed (empty after a success).
QString lastIniError();
