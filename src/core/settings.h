#pragma once

#include <QString>
#include <QTime>

#include <optional>

// Defaults and fixed texts.
namespace SettingsDefaults {
inline const QString kMailSubject = QStringLiteral("[TURFNET Internet Services]  Power Data");
inline const QString kInformationSubject = QStringLiteral("[TURFNET Internet Services]  Information");
inline const QString kFileNamePatterns = QStringLiteral("DU,DW,DX,DZ,SH,SJ,SQ,KK,CC");
inline constexpr int kKeepDays = 7;
inline constexpr int kPlainPort = 110;
inline constexpr int kTlsPort = 995;
inline const QTime kTime[3] = {QTime(12, 30), QTime(16, 30), QTime(14, 30)};
inline const QString kFileName[3] = {QStringLiteral("DU*.LZH"), QStringLiteral("DU*.LZH"), QStringLiteral("SH*.LZH")};
inline constexpr int kInterval = 30;
} // namespace SettingsDefaults

// Values of "Security".
inline const QString kSecurityNone = QStringLiteral("None");
inline const QString kSecurityStartTls = QStringLiteral("STARTTLS");
inline const QString kSecurityTls = QStringLiteral("TLS");

// Values of "PasswordStore": where the mail password lives. An absent or
// unknown value means Kivrel.ini, as it always has.
inline const QString kPasswordStoreIni = QStringLiteral("Ini");
inline const QString kPasswordStoreKeyring = QStringLiteral("Keyring");
// The password (or OAuth 2.0 access token) is the first output line of PasswordCommand.
inline const QString kPasswordStoreCommand = QStringLiteral("Command");
// The default of "AuthMethod": the strongest method both sides offer.
inline const QString kAuthMethodAuto = QStringLiteral("Auto");

// The user's settings: sections "Config" and "WeeklyCheck" of Kivrel.ini.
// Field names are the key names (see LoadSettings for the few that differ).
struct SettingsRecord {
    QString ServerName;
    QString UserName;
    QString PassWord; // plain here, scrambled in the file; empty in the file when kept in the keyring
    // Key "PasswordStore" (kPasswordStoreKeyring): the password is in the desktop's keyring.
    bool PasswordInKeyring = false;
    // Key "PasswordStore" (kPasswordStoreCommand): run PasswordCommand at each login.
    bool PasswordFromCommand = false;
    // A command line (no shell; quoted as a desktop entry's Exec) whose first
    // output line is the password or the OAuth 2.0 access token.
    QString PasswordCommand;
    // "Auto", "User" (USER/PASS only) or one login method by name.
    QString AuthMethod = kAuthMethodAuto;
    QString MailSubject = SettingsDefaults::kMailSubject;
    QString InformationSubject = SettingsDefaults::kInformationSubject;
    QString FileNamePatterns = SettingsDefaults::kFileNamePatterns; // comma-separated kind codes, e.g. "DU,DW,KK"
    QString SaveFolder[4];
    bool UseDialup = false;
    QString DialupEntryName;
    bool BackupLog = false;
    bool DeleteDownloadMail = false;
    bool DeleteOldMail = true;
    int KeepDays = SettingsDefaults::kKeepDays;
    int Port = SettingsDefaults::kPlainPort;
    QString Security = kSecurityNone; // kSecurityNone, kSecurityStartTls or kSecurityTls
    // Several commands in flight where the server offers it (only set by hand).
    bool Pipelining = true;
    // A received LZH file counts as stored only once it checks out as a whole archive.
    bool VerifyArchives = true;
    // Section "WeeklyCheck"; key "Enabled".
    bool WeeklyCheckEnabled = false;
    std::optional<QTime> Time[3] = {SettingsDefaults::kTime[0], SettingsDefaults::kTime[1],
                                    SettingsDefaults::kTime[2]}; // unset: never fires
    QString FileName[3] = {SettingsDefaults::kFileName[0], SettingsDefaults::kFileName[1],
                           SettingsDefaults::kFileName[2]};
    int Interval[3] = {30, 30, 30};
};

extern SettingsRecord Settings;

// The name the mail password has in the keyring: one entry per mail account.
QString KeyringAccount(const QString &userName, const QString &serverName);

// Fills Settings from Kivrel.ini; anything missing or unreadable takes its default.
void LoadSettings();
// Writes Settings to Kivrel.ini in one atomic replacement; false when it could
// not be written (the file is then as it was). MailSubject and
// InformationSubject are never written: they can only be changed by hand.
bool SaveSettings();
