#include "dialup/dialersettings.h"
#include "fakeeventpump.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "testsupport.h"

#include <QtTest>

namespace {
void writeScript(const QString &path, const QByteArray &body)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Counts the pumps of the real pump, to tell a sleeping wait from a spinning one.
class CountingPump : public EventPump
{
public:
    void pumpOnce() override
    {
        ++count;
        m_real.pumpOnce();
    }
    int count = 0;

private:
    QtEventPump m_real;
};
} // namespace

class TestProcess : public QObject
{
    Q_OBJECT
private slots:
    void startFailures_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("error");
        QTest::newRow("runs") << "/bin/true" << 0;
        QTest::newRow("exit code is not an error") << "/bin/false" << 0;
        QTest::newRow("found on PATH") << "true" << 0;
        QTest::newRow("missing file") << "@dir@/RCONNECT.EXE" << 53;
        QTest::newRow("missing on PATH") << "kivrel-no-such-program" << 53;
        QTest::newRow("missing folder") << "@dir@/nofolder/RCONNECT.EXE" << 76;
        QTest::newRow("a folder") << "@dir@" << 75;
        QTest::newRow("not executable") << "@dir@/plain.txt" << 70;
        QTest::newRow("empty") << "" << 5;
    }
    void startFailures()
    {
        QFETCH(QString, program);
        QFETCH(int, error);
        QTemporaryDir dir;
        QFile plain(dir.filePath("plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        program.replace("@dir@", dir.path());
        QCOMPARE(RunAndWait(program, {}), error);
    }

    void missingDialerGivesTheStandardText()
    {
        TempProgramFolder home;
        const int error = RunAndWait(ExternalDialerProgram(ExternalDialer::Connect), {});
        QCOMPARE(error, 53);
        QCOMPARE(StandardErrorText(error), QStringLiteral("ファイルが見つかりません。"));
    }

    void standardTexts_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("5") << 5 << QStringLiteral("プロシージャの呼び出し、または引数が不正です。");
        QTest::newRow("53") << 53 << QStringLiteral("ファイルが見つかりません。");
        QTest::newRow("70") << 70 << QStringLiteral("書き込みできません。");
        QTest::newRow("76") << 76 << QStringLiteral("パスが見つかりません。");
        QTest::newRow("unknown") << 12345 << QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");
    }
    void standardTexts()
    {
        QFETCH(int, number);
        QFETCH(QString, text);
        QCOMPARE(StandardErrorText(number), text);
    }

    void argumentsArriveUnsplit()
    {
        QTemporaryDir dir;
        const QString script = dir.filePath("args");
        writeScript(script, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n");
        const QStringList args{"Home DSL", "/NC", "a\"b'c", "$(id);*"};
        const ProcessResult r = runProcess(script, args);
        QCOMPARE(r.error, 0);
        QCOMPARE(QString::fromUtf8(r.standardOutput).split('\n', Qt::SkipEmptyParts), args);
    }

    void waitKeepsEventsRunningWithoutSpinning()
    {
        QTemporaryDir dir;
        const QString script = dir.filePath("slow");
        writeScript(script, "sleep 1\n");
        CountingPump pump;
        ScopedEventPump sp(&pump);
        bool timerRan = false;
        QTimer::singleShot(50, [&] { timerRan = true; });
        QCOMPARE(RunAndWait(script, {}), 0);
        QVERIFY(timerRan);
        // A wait that sleeps until something happens pumps a handful of times a second.
        QVERIFY2(pump.count < 200, qPrintable(QString::number(pump.count)));
    }

    void hungProgramIsKilledAtItsTimeLimit()
    {
        QTemporaryDir dir;
        const QString script = dir.filePath("hang");
        writeScript(script, "echo started\nsleep 600 & wait\n");
        FakeClock clock;
        ScopedClock sc(&clock);
        FakeEventPump pump(clock);
        ScopedEventPump sp(&pump);
        const ProcessResult r = runProcess(script, {}, 1000);
        QCOMPARE(r.error, int(ProcessTimedOut));
        QVERIFY(!r.exitedNormally);
    }
};

QTEST_GUILESS_MAIN(TestProcess)
#include "test_process.moc"
