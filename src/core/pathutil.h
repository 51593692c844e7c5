#pragma once

#include <QString>

// Makes sure every folder of an absolute path exists, creating the missing
// ones from "/" downwards. Doubled and trailing "/" are tolerated; a relative
// path is refused. False on any error, and also when the path names an
// existing file rather than a folder; folders created before a failure stay.
bool CreateFolderPath(const QString &path);

// True when folder/fileName is a regular file that can be opened for reading.
// An empty or blank folder, or an empty name, gives false; the folder may end
// with "/" or not.
bool FileExists(const QString &folder, const QString &fileName);

// Whether a name taken from outside (a mail) may be used as a file name in a
// folder: not empty, not "." or "..", no "/" or "\", no NUL or other control
// character.
bool isSafeFileName(const QString &name);

// folder + "/" + name, without doubling a "/" that ends the folder.
QString joinPath(const QString &folder, const QString &name);
