#include "core/commandlinehelp.h"

#include <QtTest>

using CommandLineHelp::StartMode;

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("unknown");
        const int normal = int(StartMode::Normal);
        const int settings = int(StartMode::SettingsOnly);
        const int automatic = int(StartMode::Automatic);
        QTest::newRow("nothing") << QStringList{} << normal << QString();
        QTest::newRow("/a") << QStringList{"/a"} << automatic << QString();
        QTest::newRow("-A, any case") << QStringList{"-A"} << automatic << QString();
        QTest::newRow("settings wins") << QStringList{"/a", "/S"} << settings << QString();
        QTest::newRow("switch inside a path") << QStringList{"/home/my-stuff/x"} << settings << QString();
        QTest::newRow("words are text") << QStringList{"some", "args", "%s%n"} << normal << QString();
        QTest::newRow("a path is text") << QStringList{"/tmp/x.lzh"} << normal << QString();
        QTest::newRow("help words pass") << QStringList{"--version", "-h", "--"} << normal << QString();
        QTest::newRow("long option") << QStringList{"--bogus"} << normal << "--bogus";
        QTest::newRow("long option with -a inside") << QStringList{"/a", "--bogus-arg"} << automatic << "--bogus-arg";
        QTest::newRow("short option") << QStringList{"-x"} << normal << "-x";
        QTest::newRow("slash option") << QStringList{"/x"} << normal << "/x";
        QTest::newRow("Qt's own option") << QStringList{"-platform", "offscreen"} << normal << "-platform";
        QTest::newRow("first unknown named") << QStringList{"-y", "--z"} << normal << "-y";
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        QFETCH(QString, unknown);
        const CommandLineHelp::Parsed parsed = CommandLineHelp::parse(arguments);
        QCOMPARE(int(parsed.mode), mode);
        QCOMPARE(parsed.unknownOption, unknown);
    }
    void unknownOptionTextNamesItAndShowsUsage()
    {
        const QString text = CommandLineHelp::unknownOptionText(QStringLiteral("--bogus"));
        QVERIFY(text.contains(QStringLiteral("--bogus")));
        QVERIFY(text.contains(CommandLineHelp::helpText()));
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
