#pragma once

#include <QString>

#include <functional>

// The one way the program asks the user something. Window code calls
// MessageBox::show(); what actually appears depends on the installed handler:
// the widget handler (a modal box), or the console handler used where there is
// no display (the text goes to standard output and the default button answers).
// Tests queue answers with setNextAnswer(), so no test ever waits on a box.
class MessageBox
{
public:
    // Buttons, icon and default button, combined with |. The numbers are the
    // ones the program's boxes have always used.
    enum class Style : int {
        OkOnly = 0,
        OkCancel = 1,
        AbortRetryIgnore = 2,
        YesNoCancel = 3,
        YesNo = 4,
        RetryCancel = 5,
        Critical = 16,
        Question = 32,
        Exclamation = 48,
        Information = 64,
        DefaultButton2 = 256,
        DefaultButton3 = 512,
    };
    // The answers, by the button that gave them.
    enum class Answer : int { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };
    // Callers write MessageBox::Exclamation, MessageBox::Yes: the two sets share no name.
    using enum Style;
    using enum Answer;

    // The parts of a combined style.
    static constexpr Style buttonsOf(Style style) { return Style(int(style) & 0x7); }
    static constexpr Style iconOf(Style style) { return Style(int(style) & 0x70); }
    static constexpr Style defaultButtonOf(Style style) { return Style(int(style) & 0x300); }

    struct Shown {
        QString text;
        Style style = OkOnly;
        QString title;
    };
    using Handler = std::function<Answer(const Shown &)>;

    // Shows a box (or answers from the queue) and returns the answer.
    static Answer show(const QString &text, Style style = OkOnly, const QString &title = QString());

    // The test interface. The answer the next box gives without being shown;
    // queued in order.
    static void setNextAnswer(Answer answer);
    static void clearAnswers();
    static int pendingAnswers();
    // The boxes asked for since the test interface was first used (tests read
    // and clear it). The program itself never calls these three, so it keeps
    // no boxes.
    static QList<Shown> &history();

    static void setHandler(Handler handler);
    // The answer the default button of a style gives.
    static Answer defaultAnswer(Style style);
    // Writes the box to standard output and answers as the default button does.
    static Answer consoleHandler(const Shown &box);
    static QString defaultTitle();
};

constexpr MessageBox::Style operator|(MessageBox::Style a, MessageBox::Style b)
{
    return MessageBox::Style(int(a) | int(b));
}
