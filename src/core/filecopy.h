#pragma once

#include <QString>

// Copies a file over `destination`, replacing a file of that name only once the
// whole copy is on disk (temporary file in the destination folder, then rename).
// On failure the destination is left as it was. False when the copy failed.
bool copyFileReplacing(const QString &source, const QString &destination, QString *error = nullptr);
