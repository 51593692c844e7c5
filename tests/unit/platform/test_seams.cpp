#include "fakeeventpump.h"
#include "platform/clock.h"
#include "platform/messagebox.h"

#include <QtTest>

class TestSeams : public QObject
{
    Q_OBJECT
private slots:
    void elapsedAcrossWrap_data()
    {
        QTest::addColumn<quint32>("since");
        QTest::addColumn<quint32>("now");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("plain") << 1000u << 61000u << 60000u;
        QTest::newRow("wrap") << 0xFFFFFF00u << 0x00000100u << 0x200u;
        QTest::newRow("wrap at max") << 0xFFFFFFFFu << 0u << 1u;
    }
    void elapsedAcrossWrap()
    {
        QFETCH(quint32, since);
        QFETCH(quint32, now);
        QFETCH(quint32, expected);
        QCOMPARE(Clock::elapsed(since, now), expected);
    }

    void fakePumpAdvancesClockAndRunsHooks()
    {
        FakeClock clock(QDateTime(QDate(2026, 1, 9), QTime(23, 59, 59, 800)), 0xFFFFFF9Cu);
        ScopedClock sc(&clock);
        FakeEventPump pump(clock, 200);
        ScopedEventPump sp(&pump);
        int hookRuns = 0;
        pump.addHook([&] { ++hookRuns; });
        EventPump::instance().pumpOnce();
        EventPump::instance().pumpOnce();
        QCOMPARE(hookRuns, 2);
        QCOMPARE(Clock::instance().tickCount(), 0x12Cu); // wrapped past zero
        QCOMPARE(Clock::instance().now(), QDateTime(QDate(2026, 1, 10), QTime(0, 0, 0, 200)));
    }

    void messageBoxDefaultAnswers_data()
    {
        QTest::addColumn<MessageBox::Style>("style");
        QTest::addColumn<MessageBox::Answer>("answer");
        QTest::newRow("ok") << (MessageBox::OkOnly | MessageBox::Exclamation) << MessageBox::Ok;
        QTest::newRow("yesno") << (MessageBox::YesNo | MessageBox::Question) << MessageBox::Yes;
        QTest::newRow("yesno default 2") << (MessageBox::YesNo | MessageBox::DefaultButton2) << MessageBox::No;
        QTest::newRow("okcancel default 2")
            << (MessageBox::OkCancel | MessageBox::DefaultButton2) << MessageBox::Cancel;
        QTest::newRow("yesnocancel default 3")
            << (MessageBox::YesNoCancel | MessageBox::DefaultButton3) << MessageBox::Cancel;
    }
    void messageBoxDefaultAnswers()
    {
        QFETCH(MessageBox::Style, style);
        QFETCH(MessageBox::Answer, answer);
        QCOMPARE(MessageBox::defaultAnswer(style), answer);
    }

    void queuedAnswersComeFirstAndInOrder()
    {
        int handlerCalls = 0;
        MessageBox::setHandler([&](const MessageBox::Shown &) {
            ++handlerCalls;
            return MessageBox::Cancel;
        });
        MessageBox::history().clear();
        MessageBox::setNextAnswer(MessageBox::No);
        MessageBox::setNextAnswer(MessageBox::Yes);
        QCOMPARE(MessageBox::show(QStringLiteral("a"), MessageBox::YesNo), MessageBox::No);
        QCOMPARE(MessageBox::show(QStringLiteral("b"), MessageBox::YesNo), MessageBox::Yes);
        QCOMPARE(handlerCalls, 0);
        QCOMPARE(MessageBox::show(QStringLiteral("c"), MessageBox::OkCancel), MessageBox::Cancel);
        QCOMPARE(handlerCalls, 1);
        QCOMPARE(MessageBox::history().size(), 3);
        QCOMPARE(MessageBox::history().at(2).title, QStringLiteral("Kivrel"));
        MessageBox::setHandler(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestSeams)
#include "test_seams.moc"
