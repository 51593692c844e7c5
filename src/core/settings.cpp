#include "core/settings.h"

#include "core/apppaths.h"
#include "core/datetext.h"
#include "core/inifile.h"
#include "core/secret.h"

#include <QLocale>

#include <cmath>

SettingsRecord Settings;

namespace {

const QString kConfig = QStringLiteral("Config");
const QString kWeekly = QStringLiteral("WeeklyCheck");

QString readText(const QString &section, const QString &key, const QString &def)
{
    return ReadIniValue(section, key, def).toString();
}

// The value as a number; nothing (an empty value) reads as 0. nullopt when
// the text is no number.
std::optional<double> toNumber(const QVariant &v)
{
    if (v.isNull())
        return 0.0;
    bool ok = false;
    const double number = QLocale::c().toDouble(v.toString().trimmed(), &ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// True/False in any letter case, or a number (non-zero is true); nothing is
// false; anything else keeps the default.
bool readBool(const QString &section, const QString &key, bool def)
{
    const QVariant v = ReadIniValue(section, key, def);
    const QString text = v.toString().trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const auto number = toNumber(v);
    return number ? *number != 0 : def;
}

// A whole number within [min, max] (halves round to even); nothing is 0;
// anything else keeps the default.
int readInt(const QString &section, const QString &key, int def, int min, int max)
{
    const auto number = toNumber(ReadIniValue(section, key, def));
    if (!number)
        return def;
    const double r = std::nearbyint(*number);
    return (r >= min && r <= max) ? static_cast<int>(r) : def;
}

int readInt16(const QString &section, const QString &key, int def)
{
    return readInt(section, key, def, -32768, 32767);
}

std::optional<QTime> readTime(const QString &section, const QString &key, const QTime &def)
{
    const QString text = ReadIniValue(section, key, def).toString();
    if (const auto t = parseTime(text))
        return t;
    if (const auto dt = parseDateTime(text))
        return dt->time();
    return std::nullopt;
}

QString canonicalSecurity(const QString &text)
{
    for (const QString &known : {kSecurityNone, kSecurityStartTls, kSecurityTls}) {
        if (text.trimmed().compare(known, Qt::CaseInsensitive) == 0)
            return known;
    }
    return kSecurityNone;
}

QString numbered(const char *key, int n)
{
    return QLatin1String(key) + QString::number(n);
}

} // namespace

QString KeyringAccount(const QString &userName, const QString &serverName)
{
    return userName + u'@' + serverName;
}

void LoadSettings()
{
    using namespace SettingsDefaults;
    SettingsRecord s;
    s.ServerName = readText(kConfig, QStringLiteral("ServerName"), QString());
    s.UserName = readText(kConfig, QStringLiteral("UserName"), QString());
    s.PassWord = DecodeString(readText(kConfig, QStringLiteral("PassWord"), QString()), QLatin1String(kPasswordKey));
    const QString store = readText(kConfig, QStringLiteral("PasswordStore"), kPasswordStoreIni).trimmed();
    s.PasswordInKeyring = store.compare(kPasswordStoreKeyring, Qt::CaseInsensitive) == 0;
    s.PasswordFromCommand = store.compare(kPasswordStoreCommand, Qt::CaseInsensitive) == 0;
    s.PasswordCommand = readText(kConfig, QStringLiteral("PasswordCommand"), QString());
    s.AuthMethod = readText(kConfig, QStringLiteral("AuthMethod"), kAuthMethodAuto).trimmed();
    s.MailSubject = readText(kConfig, QStringLiteral("MailSubject"), kMailSubject);
    s.InformationSubject = readText(kConfig, QStringLiteral("InformationSubject"), kInformationSubject);
    s.FileNamePatterns = readText(kConfig, QStringLiteral("FileNamePatterns"), kFileNamePatterns);
    // The first save folder defaults to a visible folder in the home folder
    // (the one folder in a portable setup).
    for (int n = 1; n <= 4; ++n) {
        const QString def = n == 1 ? AppPaths::defaultSaveFolder() : QString();
        s.SaveFolder[n - 1] = readText(kConfig, numbered("SaveFolder", n), def);
    }
    s.UseDialup = readBool(kConfig, QStringLiteral("UseDialup"), false);
    s.DialupEntryName = readText(kConfig, QStringLiteral("DialupEntryName"), QString());
    s.BackupLog = readBool(kConfig, QStringLiteral("BackupLog"), false);
    s.DeleteDownloadMail = readBool(kConfig, QStringLiteral("DeleteDownloadMail"), false);
    s.DeleteOldMail = readBool(kConfig, QStringLiteral("DeleteOldMail"), true);
    s.KeepDays = readInt16(kConfig, QStringLiteral("KeepDays"), kKeepDays);
    s.Security = canonicalSecurity(readText(kConfig, QStringLiteral("Security"), kSecurityNone));
    const int defPort = s.Security == kSecurityTls ? kTlsPort : kPlainPort;
    s.Port = readInt(kConfig, QStringLiteral("Port"), defPort, 1, 65535); // an empty value is no port either
    s.Pipelining = readBool(kConfig, QStringLiteral("Pipelining"), true);
    s.VerifyArchives = readBool(kConfig, QStringLiteral("VerifyArchives"), true);

    s.WeeklyCheckEnabled = readBool(kWeekly, QStringLiteral("Enabled"), false);
    for (int n = 1; n <= 3; ++n) {
        s.Time[n - 1] = readTime(kWeekly, numbered("Time", n), kTime[n - 1]);
        s.FileName[n - 1] = readText(kWeekly, numbered("FileName", n), kFileName[n - 1]);
        s.Interval[n - 1] = readInt16(kWeekly, numbered("Interval", n), kInterval);
    }
    Settings = s;
}

bool SaveSettings()
{
    const SettingsRecord &s = Settings;
    QList<IniWrite> w;
    w.append({kConfig, QStringLiteral("ServerName"), s.ServerName});
    w.append({kConfig, QStringLiteral("UserName"), s.UserName});
    // Kept in the keyring, the password is nowhere in the file.
    const bool inFile = !s.PasswordInKeyring && !s.PasswordFromCommand;
    const QString stored = inFile ? EncodeString(s.PassWord, QLatin1String(kPasswordKey)) : QString();
    w.append({kConfig, QStringLiteral("PassWord"), stored});
    w.append({kConfig, QStringLiteral("PasswordStore"),
              s.PasswordFromCommand ? kPasswordStoreCommand
                                    : (s.PasswordInKeyring ? kPasswordStoreKeyring : kPasswordStoreIni)});
    w.append({kConfig, QStringLiteral("FileNamePatterns"), s.FileNamePatterns});
    for (int n = 1; n <= 4; ++n)
        w.append({kConfig, numbered("SaveFolder", n), s.SaveFolder[n - 1]});
    w.append({kConfig, QStringLiteral("UseDialup"), s.UseDialup});
    w.append({kConfig, QStringLiteral("DialupEntryName"), s.DialupEntryName});
    w.append({kConfig, QStringLiteral("BackupLog"), s.BackupLog});
    w.append({kConfig, QStringLiteral("DeleteDownloadMail"), s.DeleteDownloadMail});
    w.append({kConfig, QStringLiteral("DeleteOldMail"), s.DeleteOldMail});
    w.append({kConfig, QStringLiteral("KeepDays"), s.KeepDays});
    w.append({kConfig, QStringLiteral("Port"), s.Port});
    w.append({kConfig, QStringLiteral("Security"), canonicalSecurity(s.Security)});
    w.append({kConfig, QStringLiteral("VerifyArchives"), s.VerifyArchives});
    w.append({kConfig, QStringLiteral("AuthMethod"), s.AuthMethod.isEmpty() ? kAuthMethodAuto : s.AuthMethod});
    w.append({kConfig, QStringLiteral("PasswordCommand"), s.PasswordCommand});
    w.append({kWeekly, QStringLiteral("Enabled"), s.WeeklyCheckEnabled});
    for (int n = 1; n <= 3; ++n) {
        // An unset time has no text form; an empty value loads back as unset.
        const QVariant time = s.Time[n - 1] ? QVariant(*s.Time[n - 1]) : QVariant(QString());
        w.append({kWeekly, numbered("Time", n), time});
        w.append({kWeekly, numbered("FileName", n), s.FileName[n - 1]});
        w.append({kWeekly, numbered("Interval", n), s.Interval[n - 1]});
    }
    return WriteIniValues(w);
}
