#include "download/passwordcommand.h"

#include <QTest>

class TestPasswordCommand : public QObject
{
    Q_OBJECT
private slots:
    void split_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("args"); // empty: refused
        QTest::newRow("words") << "pass show mail/kivrel" << QStringList{"pass", "show", "mail/kivrel"};
        QTest::newRow("blanks around") << "  secret-tool\tlookup  a b " << QStringList{"secret-tool", "lookup", "a", "b"};
        QTest::newRow("quoted blank") << "\"/opt/my tools/get\" x" << QStringList{"/opt/my tools/get", "x"};
        QTest::newRow("escapes in quotes") << "echo \"a \\\"b\\\" \\\\ \\$c\"" << QStringList{"echo", "a \"b\" \\ $c"};
        QTest::newRow("empty quoted argument") << "cmd \"\" x" << QStringList{"cmd", "", "x"};
        QTest::newRow("percent") << "cmd 100%% x" << QStringList{"cmd", "100%", "x"};
        QTest::newRow("no shell") << "cmd a|b;c $(d)" << QStringList{"cmd", "a|b;c", "$(d)"};
        QTest::newRow("unclosed quote") << "cmd \"abc" << QStringList{};
        QTest::newRow("empty") << "   " << QStringList{};
    }
    void split()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, args);
        const std::optional<QStringList> got = PasswordCommand::split(line);
        QCOMPARE(got.has_value(), !args.isEmpty());
        if (got)
            QCOMPARE(*got, args);
    }

    void run_data()
    {
        QTest::addColumn<QString>("script"); // sh -c text
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("result"); // the secret, or part of the failure
        QTest::newRow("first line") << "printf 'tok en\\r\\nsecond\\n'" << true << "tok en";
        QTest::newRow("no line end") << "printf x" << true << "x";
        QTest::newRow("exit status") << "echo hidden; exit 3" << false << PasswordCommandText::Failed + "3)";
        QTest::newRow("nothing printed") << "true" << false << PasswordCommandText::NoOutput + "0)";
        QTest::newRow("empty first line") << "printf '\\nlater\\n'" << false << PasswordCommandText::NoOutput;
        QTest::newRow("killed") << "echo hidden; kill -9 $$" << false << PasswordCommandText::Crashed;
    }
    void run()
    {
        QFETCH(QString, script);
        QFETCH(bool, ok);
        QFETCH(QString, result);
        // Quoted as an Exec line: a backslash inside quotes is written twice.
        const QString quoted = QString(script).replace(u'\\', QStringLiteral("\\\\"));
        const PasswordCommand::Result r = PasswordCommand::run("sh -c \"" + quoted + "\"");
        QCOMPARE(r.ok, ok);
        if (ok)
            QCOMPARE(r.secret, result);
        else
            QVERIFY2(r.failure.startsWith(result) && !r.failure.contains("hidden"), qPrintable(r.failure));
    }

    void missingProgram()
    {
        const PasswordCommand::Result r = PasswordCommand::run("/nonexistent/kivrel-token");
        QVERIFY(!r.ok);
        QVERIFY(r.failure.startsWith(PasswordCommandText::NotStarted));
    }
};

QTEST_GUILESS_MAIN(TestPasswordCommand)
#include "test_passwordcommand.moc"
