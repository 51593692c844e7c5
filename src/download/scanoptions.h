#pragma once

#include <QString>
#include <QStringList>

// The four save folders of the settings. A folder made of blanks alone counts
// as not set: this is the one place that decides it.
class SaveFolders
{
public:
    SaveFolders() = default;
    explicit SaveFolders(const QStringList &folders);
    // The folders as the settings hold them (all four from the settings).
    static SaveFolders fromSettings();

    static bool isSet(const QString &folder) { return !folder.trimmed().isEmpty(); }
    // The first folder that is set: where files are decoded. Empty when none is.
    QString primary() const;
    // The folders after the primary one that are set: where copies go.
    QStringList others() const;
    // Every folder that is set.
    QStringList all() const;

private:
    QStringList m_folders;
};

// What a run is told by the settings, read once when it starts.
struct ScanOptions {
    QString serverName;
    int port = 0;
    QString security;
    QString userName;
    QString authMethod;
    SaveFolders saveFolders;
    QString mailSubject;        // data mails
    QString informationSubject; // notices
    QString fileNamePatterns;   // the kinds of file to store
    bool deleteDownloadMail = false;
    bool deleteOldMail = false;
    int keepDays = 0;
    bool pipelining = false;
    bool backupLog = false;
    bool verifyArchives = false; // received archives must pass the archive check

    static ScanOptions fromSettings();
};
