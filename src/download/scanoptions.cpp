#include "download/scanoptions.h"

#include "core/settings.h"

SaveFolders::SaveFolders(const QStringList &folders) : m_folders(folders) {}

SaveFolders SaveFolders::fromSettings()
{
    return SaveFolders(QStringList(std::begin(Settings.SaveFolder), std::end(Settings.SaveFolder)));
}

QString SaveFolders::primary() const
{
    const QStringList set = all();
    return set.isEmpty() ? QString() : set.front();
}

QStringList SaveFolders::others() const
{
    return all().mid(1);
}

QStringList SaveFolders::all() const
{
    QStringList set;
    for (const QString &folder : m_folders)
        if (isSet(folder))
            set.append(folder);
    return set;
}

ScanOptions ScanOptions::fromSettings()
{
    ScanOptions o;
    o.serverName = Settings.ServerName;
    o.port = Settings.Port;
    o.security = Settings.Security;
    o.userName = Settings.UserName;
    o.authMethod = Settings.AuthMethod;
    o.saveFolders = SaveFolders::fromSettings();
    o.mailSubject = Settings.MailSubject;
    o.informationSubject = Settings.InformationSubject;
    o.fileNamePatterns = Settings.FileNamePatterns;
    o.deleteDownloadMail = Settings.DeleteDownloadMail;
    o.deleteOldMail = Settings.DeleteOldMail;
    o.keepDays = Settings.KeepDays;
    o.pipelining = Settings.Pipelining;
    o.backupLog = Settings.BackupLog;
    o.verifyArchives = Settings.VerifyArchives;
    return o;
}
