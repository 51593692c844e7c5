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
    // Buttons, icon and default button, combined with |.
    enum Style {
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
    // Answers.
    enum Answer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

    struct Shown {
        QString text;
        int style = 0;
        QString title;
    };
    using Handler = std::function<int(const Shown &)>;

    // Shows a box (or answers from the queue) and returns the answer.
    static int show(const QString &text, int style = OkOnly, const QString &title = QString());

    // The test interface. The answer the next box gives without being shown;
    // queued in order.
    static void setNextAnswer(int answer);
    static void clearAnswers();
    static int pendingAnswers();
    // The boxes asked for since the test interface was first used (tests read
    // and clear it). The program itself never calls these three, so it keeps
    // no boxes.
    static QList<Shown> &history();

    static void setHandler(Handler handler);
    // The answer the default button of a style gives.
    static int defaultAnswer(int style);
    // Writes the box to standard output and answers as the default button does.
    static int consoleHandler(const Shown &box);
    static QString defaultTitle();
};
