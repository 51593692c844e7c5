#pragma once

#include <QString>
#include <QStringList>

// What the desktop notification says after an unattended run stored new data files.
struct NewFilesNotice {
    QString summary; // "新着ﾃﾞｰﾀ 3件"
    QString body;    // the file names, one a line, at most kMaxNames of them

    static constexpr int kMaxNames = 10;
    static NewFilesNotice of(const QStringList &fileNames);
};
