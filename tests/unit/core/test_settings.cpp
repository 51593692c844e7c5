#include "core/cp932.h"
#include "core/inifile.h"
#include "core/secret.h"
#include "core/settings.h"
#include "testsupport.h"

#include <QtTest>

namespace {

void writeIni(const QString &text)
{
    QFile f(iniFilePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(Cp932::encode(text));
}

QString readIni()
{
    QFile f(iniFilePath());
    return f.open(QIODevice::ReadOnly) ? Cp932::decode(f.readAll()) : QString();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void defaultsWithoutFile()
    {
        TempProgramFolder folder;
        Settings = SettingsRecord();
        Settings.ServerName = QStringLiteral("left over");
        LoadSettings();
        QCOMPARE(Settings.ServerName, QString());
        QCOMPARE(Settings.PassWord, QString());
        QCOMPARE(Settings.MailSubject, QStringLiteral("[TURFNET Internet Services]  Power Data"));
        QCOMPARE(Settings.InformationSubject, QStringLiteral("[TURFNET Internet Services]  Information"));
        QCOMPARE(Settings.FileNamePatterns, QStringLiteral("DU,DW,DX,DZ,SH,SJ,SQ,KK,CC"));
        QCOMPARE(Settings.SaveFolder[0], folder.path());
        QCOMPARE(Settings.SaveFolder[3], QString());
        QCOMPARE(Settings.UseDialup, false);
        QCOMPARE(Settings.DeleteOldMail, true);
        QCOMPARE(Settings.VerifyArchives, true);
        QCOMPARE(Settings.KeepDays, 7);
        QCOMPARE(Settings.Port, 110);
        QCOMPARE(Settings.Security, QStringLiteral("None"));
        QCOMPARE(Settings.WeeklyCheckEnabled, false);
        QCOMPARE(Settings.Time[0], std::optional<QTime>(QTime(12, 30)));
        QCOMPARE(Settings.Time[1], std::optional<QTime>(QTime(16, 30)));
        QCOMPARE(Settings.Time[2], std::optional<QTime>(QTime(14, 30)));
        QCOMPARE(Settings.FileName[0], QStringLiteral("DU*.LZH"));
        QCOMPARE(Settings.FileName[2], QStringLiteral("SH*.LZH"));
        QCOMPARE(Settings.Interval[1], 30);
        QVERIFY(!QFile::exists(iniFilePath()));
    }

    void lenientReading_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        auto config = [](const QString &line) {
            return QStringLiteral("[Config]\r\n") + line + QStringLiteral("\r\n");
        };
        auto weekly = [](const QString &line) {
            return QStringLiteral("[WeeklyCheck]\r\n") + line + QStringLiteral("\r\n");
        };
        QTest::newRow("empty DeleteOldMail is false") << config("DeleteOldMail=") << "DeleteOldMail" << QVariant(false);
        QTest::newRow("empty KeepDays is 0") << config("KeepDays=") << "KeepDays" << QVariant(0);
        QTest::newRow("bool lower case") << config("UseDialup=true") << "UseDialup" << QVariant(true);
        QTest::newRow("bool upper case") << config("BackupLog=TRUE") << "BackupLog" << QVariant(true);
        QTest::newRow("bool false word") << config("DeleteOldMail=fAlSe") << "DeleteOldMail" << QVariant(false);
        QTest::newRow("bool number non-zero") << config("UseDialup=-1") << "UseDialup" << QVariant(true);
        QTest::newRow("bool number zero") << config("DeleteOldMail=0") << "DeleteOldMail" << QVariant(false);
        QTest::newRow("bool other word keeps default")
            << config("DeleteOldMail=maybe") << "DeleteOldMail" << QVariant(true);
        QTest::newRow("archive check off") << config("VerifyArchives=False") << "VerifyArchives" << QVariant(false);
        QTest::newRow("KeepDays number") << config("KeepDays=14") << "KeepDays" << QVariant(14);
        QTest::newRow("KeepDays letters keep default") << config("KeepDays=abc") << "KeepDays" << QVariant(7);
        QTest::newRow("KeepDays beyond 16 bits keeps default") << config("KeepDays=40000") << "KeepDays" << QVariant(7);
        QTest::newRow("KeepDays half rounds to even") << config("KeepDays=2.5") << "KeepDays" << QVariant(2);
        QTest::newRow("Interval letters keep default") << weekly("Interval1=x") << "Interval1" << QVariant(30);
        QTest::newRow("Interval empty is 0") << weekly("Interval2=") << "Interval2" << QVariant(0);
        QTest::newRow("time unpadded") << weekly("Time1=9:05") << "Time1" << QVariant(QTime(9, 5));
        QTest::newRow("time out of range is unset") << weekly("Time2=25:99") << "Time2" << QVariant(QTime());
        QTest::newRow("time empty is unset") << weekly("Time3=") << "Time3" << QVariant(QTime());
        QTest::newRow("time from a date-time")
            << weekly("Time1=1999/12/24 08:05:09") << "Time1" << QVariant(QTime(8, 5, 9));
        QTest::newRow("enabled") << weekly("enabled=True") << "WeeklyCheckEnabled" << QVariant(true);
        QTest::newRow("security tls gives port 995") << config("Security=tls") << "Port" << QVariant(995);
        QTest::newRow("security canonical") << config("Security=starttls") << "Security" << QVariant("STARTTLS");
        QTest::newRow("security unknown is None") << config("Security=SSLv2") << "Security" << QVariant("None");
        QTest::newRow("port given") << config("Port=1110\r\nSecurity=TLS") << "Port" << QVariant(1110);
        QTest::newRow("port out of range keeps default") << config("Port=70000") << "Port" << QVariant(110);
        QTest::newRow("port empty keeps default") << config("Port=") << "Port" << QVariant(110);
        QTest::newRow("hand-edited subject") << config("MailSubject=Data!") << "MailSubject" << QVariant("Data!");
        QTest::newRow("SaveFolder1 present but empty") << config("SaveFolder1=") << "SaveFolder1" << QVariant("");
    }
    void lenientReading()
    {
        QFETCH(QString, ini);
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        TempProgramFolder folder;
        writeIni(ini);
        LoadSettings();
        const SettingsRecord &s = Settings;
        const QHash<QString, QVariant> fields = {
            {"DeleteOldMail", s.DeleteOldMail},
            {"KeepDays", s.KeepDays},
            {"UseDialup", s.UseDialup},
            {"BackupLog", s.BackupLog},
            {"VerifyArchives", s.VerifyArchives},
            {"Interval1", s.Interval[0]},
            {"Interval2", s.Interval[1]},
            {"Time1", s.Time[0].value_or(QTime())},
            {"Time2", s.Time[1].value_or(QTime())},
            {"Time3", s.Time[2].value_or(QTime())},
            {"WeeklyCheckEnabled", s.WeeklyCheckEnabled},
            {"Port", s.Port},
            {"Security", s.Security},
            {"MailSubject", s.MailSubject},
            {"SaveFolder1", s.SaveFolder[0]},
        };
        QVERIFY(fields.contains(field));
        QCOMPARE(fields.value(field), expected);
    }

    void saveAndLoadRoundTrip()
    {
        TempProgramFolder folder;
        writeIni(QStringLiteral("[Config]\r\nMailSubject=Hand edited\r\nMyOwnKey=kept\r\n"));
        Settings = SettingsRecord();
        SettingsRecord &s = Settings;
        s.ServerName = "pop.example.jp";
        s.UserName = QStringLiteral("利用者");
        s.PassWord = "Abc 123?x";
        s.MailSubject = "not written";
        s.InformationSubject = "not written";
        s.FileNamePatterns = "KK,CC";
        s.SaveFolder[0] = "/data/one";
        s.SaveFolder[2] = "/data/three";
        s.UseDialup = true;
        s.DialupEntryName = "Provider";
        s.BackupLog = true;
        s.DeleteDownloadMail = true;
        s.DeleteOldMail = false;
        s.VerifyArchives = false;
        s.KeepDays = 0;
        s.Port = 995;
        s.Security = "TLS";
        s.WeeklyCheckEnabled = true;
        s.Time[0] = QTime(9, 5);
        s.Time[1] = std::nullopt;
        s.FileName[1] = "KK*.LZH";
        s.Interval[2] = 45;
        const SettingsRecord saved = s;
        QVERIFY(SaveSettings());

        Settings = SettingsRecord();
        LoadSettings();
        const SettingsRecord &l = Settings;
        QCOMPARE(l.ServerName, saved.ServerName);
        QCOMPARE(l.UserName, saved.UserName);
        QCOMPARE(l.PassWord, saved.PassWord);
        QCOMPARE(l.MailSubject, QStringLiteral("Hand edited"));
        QCOMPARE(l.InformationSubject, SettingsDefaults::kInformationSubject);
        QCOMPARE(l.FileNamePatterns, saved.FileNamePatterns);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(l.SaveFolder[i], saved.SaveFolder[i]);
        QCOMPARE(l.UseDialup, true);
        QCOMPARE(l.DialupEntryName, saved.DialupEntryName);
        QCOMPARE(l.BackupLog, true);
        QCOMPARE(l.DeleteDownloadMail, true);
        QCOMPARE(l.DeleteOldMail, false);
        QCOMPARE(l.VerifyArchives, false);
        QCOMPARE(l.KeepDays, 0);
        QCOMPARE(l.Port, 995);
        QCOMPARE(l.Security, QStringLiteral("TLS"));
        QCOMPARE(l.WeeklyCheckEnabled, true);
        QCOMPARE(l.Time[0], std::optional<QTime>(QTime(9, 5)));
        QCOMPARE(l.Time[1], std::optional<QTime>());
        QCOMPARE(l.Time[2], std::optional<QTime>(QTime(14, 30)));
        QCOMPARE(l.FileName[1], saved.FileName[1]);
        QCOMPARE(l.Interval[2], 45);

        const QString text = readIni();
        QVERIFY(text.contains(QStringLiteral("MyOwnKey=kept\r\n")));
        QVERIFY(!text.contains(QStringLiteral("InformationSubject")));
        QVERIFY(!text.contains(QStringLiteral("not written")));
        QVERIFY(text.contains(QStringLiteral("Time2=\r\n")));
        QVERIFY(text.contains(QStringLiteral("Time1=09:05:00\r\n")));
        QVERIFY(text.contains(QStringLiteral("DeleteOldMail=False\r\n")));
        // The password is stored scrambled: same length, blank in place.
        const QString stored = ReadIniValue("Config", "PassWord", QString()).toString();
        QCOMPARE(stored, EncodeString(saved.PassWord, kPasswordKey));
        QVERIFY(stored != saved.PassWord);
        QCOMPARE(stored.indexOf(u' '), 3);
    }

    void keyOrderOfANewFile()
    {
        TempProgramFolder folder;
        Settings = SettingsRecord();
        QVERIFY(SaveSettings());
        QStringList keys;
        for (const QString &line : readIni().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            keys << line.section(u'=', 0, 0);
        const QStringList expected = {"[Config]",      "ServerName",         "UserName",      "PassWord",
                                      "PasswordStore", "FileNamePatterns",   "SaveFolder1",   "SaveFolder2",
                                      "SaveFolder3",   "SaveFolder4",        "UseDialup",     "DialupEntryName",
                                      "BackupLog",     "DeleteDownloadMail", "DeleteOldMail", "KeepDays",
                                      "Port",          "Security",           "VerifyArchives", "AuthMethod",    "PasswordCommand", "[WeeklyCheck]", "Enabled",
                                      "Time1",         "FileName1",          "Interval1",     "Time2",
                                      "FileName2",     "Interval2",          "Time3",         "FileName3",
                                      "Interval3"};
        QCOMPARE(keys, expected);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
