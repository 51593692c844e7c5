#include "platform/messagebox.h"

#include "platform/consoleline.h"

#include <QList>

#include <cstdio>

namespace {
QList<MessageBox::Answer> g_answers;
QList<MessageBox::Shown> g_history;
// Only a test keeps the boxes: it turns this on by using the test interface.
bool g_keepHistory = false;
MessageBox::Handler g_handler = &MessageBox::consoleHandler;
} // namespace

MessageBox::Answer MessageBox::show(const QString &text, Style style, const QString &title)
{
    Shown box{text, style, title.isEmpty() ? defaultTitle() : title};
    if (g_keepHistory)
        g_history.append(box);
    if (!g_answers.isEmpty())
        return g_answers.takeFirst();
    return g_handler(box);
}

void MessageBox::setNextAnswer(Answer answer)
{
    g_keepHistory = true;
    g_answers.append(answer);
}

void MessageBox::clearAnswers()
{
    g_keepHistory = true;
    g_answers.clear();
}

int MessageBox::pendingAnswers()
{
    return static_cast<int>(g_answers.size());
}

QList<MessageBox::Shown> &MessageBox::history()
{
    g_keepHistory = true;
    return g_history;
}

void MessageBox::setHandler(Handler handler)
{
    g_handler = handler ? std::move(handler) : Handler(&MessageBox::consoleHandler);
}

MessageBox::Answer MessageBox::defaultAnswer(Style style)
{
    const int buttons = int(buttonsOf(style));
    int index = 0;
    if (defaultButtonOf(style) == DefaultButton3)
        index = 2;
    else if (defaultButtonOf(style) == DefaultButton2)
        index = 1;
    static const Answer table[6][3] = {
        {Ok, Ok, Ok},      {Ok, Cancel, Cancel}, {Abort, Retry, Ignore},
        {Yes, No, Cancel}, {Yes, No, No},        {Retry, Cancel, Cancel},
    };
    return table[buttons <= 5 ? buttons : 0][index];
}

MessageBox::Answer MessageBox::consoleHandler(const Shown &box)
{
    const int icon = int(iconOf(box.style));
    const bool alarming = icon == int(Critical) || icon == int(Exclamation);
    ConsoleLine::print(stdout, box.title + QStringLiteral(": ") + box.text,
                       alarming ? ConsoleLine::Priority::Warning : ConsoleLine::Priority::Info);
    return defaultAnswer(box.style);
}

QString MessageBox::defaultTitle()
{
    return QStringLiteral("Kivrel");
}
