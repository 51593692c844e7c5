#include "ui/widgetmessagebox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

const QString WidgetMessageBox::OkText = QStringLiteral("OK");
const QString WidgetMessageBox::CancelText = QStringLiteral("ｷｬﾝｾﾙ");
const QString WidgetMessageBox::AbortText = QStringLiteral("中止(&A)");
const QString WidgetMessageBox::RetryText = QStringLiteral("再試行(&R)");
const QString WidgetMessageBox::IgnoreText = QStringLiteral("無視(&I)");
const QString WidgetMessageBox::YesText = QStringLiteral("はい(&Y)");
const QString WidgetMessageBox::NoText = QStringLiteral("いいえ(&N)");

namespace {
struct ButtonSpec {
    MessageBox::Answer answer;
    QMessageBox::ButtonRole role;
};

// The buttons of each button style, left to right.
QList<ButtonSpec> buttonsOf(MessageBox::Style style)
{
    using B = MessageBox::Answer;
    switch (MessageBox::buttonsOf(style)) {
    case MessageBox::OkCancel:
        return {{B::Ok, QMessageBox::AcceptRole}, {B::Cancel, QMessageBox::RejectRole}};
    case MessageBox::AbortRetryIgnore:
        return {{B::Abort, QMessageBox::RejectRole},
                {B::Retry, QMessageBox::AcceptRole},
                {B::Ignore, QMessageBox::AcceptRole}};
    case MessageBox::YesNoCancel:
        return {{B::Yes, QMessageBox::YesRole}, {B::No, QMessageBox::NoRole}, {B::Cancel, QMessageBox::RejectRole}};
    case MessageBox::YesNo:
        return {{B::Yes, QMessageBox::YesRole}, {B::No, QMessageBox::NoRole}};
    case MessageBox::RetryCancel:
        return {{B::Retry, QMessageBox::AcceptRole}, {B::Cancel, QMessageBox::RejectRole}};
    default:
        return {{B::Ok, QMessageBox::AcceptRole}};
    }
}

QString textOf(MessageBox::Answer answer)
{
    switch (answer) {
    case MessageBox::Cancel:
        return WidgetMessageBox::CancelText;
    case MessageBox::Abort:
        return WidgetMessageBox::AbortText;
    case MessageBox::Retry:
        return WidgetMessageBox::RetryText;
    case MessageBox::Ignore:
        return WidgetMessageBox::IgnoreText;
    case MessageBox::Yes:
        return WidgetMessageBox::YesText;
    case MessageBox::No:
        return WidgetMessageBox::NoText;
    default:
        return WidgetMessageBox::OkText;
    }
}

QMessageBox::Icon iconOf(MessageBox::Style style)
{
    switch (MessageBox::iconOf(style)) {
    case MessageBox::Critical:
        return QMessageBox::Critical;
    case MessageBox::Question:
        return QMessageBox::Question;
    case MessageBox::Exclamation:
        return QMessageBox::Warning;
    case MessageBox::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

MessageBox::Answer WidgetMessageBox::show(const MessageBox::Shown &box)
{
    QPointer<QMessageBox> dialog = new QMessageBox(QApplication::activeWindow());
    dialog->setWindowTitle(box.title);
    dialog->setText(box.text);
    dialog->setTextFormat(Qt::PlainText);
    dialog->setIcon(iconOf(box.style));

    const QList<ButtonSpec> specs = buttonsOf(box.style);
    QList<QPushButton *> buttons;
    for (const ButtonSpec &spec : specs)
        buttons.append(dialog->addButton(textOf(spec.answer), spec.role));
    int defaultIndex = 0;
    if (MessageBox::defaultButtonOf(box.style) == MessageBox::DefaultButton3)
        defaultIndex = 2;
    else if (MessageBox::defaultButtonOf(box.style) == MessageBox::DefaultButton2)
        defaultIndex = 1;
    if (defaultIndex >= buttons.size())
        defaultIndex = 0;
    dialog->setDefaultButton(buttons[defaultIndex]);
    // Escape answers Cancel where there is one, and OK on a box with OK alone.
    for (int i = 0; i < specs.size(); ++i)
        if (specs[i].answer == MessageBox::Cancel || specs.size() == 1)
            dialog->setEscapeButton(buttons[i]);

    dialog->exec();
    MessageBox::Answer answer = MessageBox::defaultAnswer(box.style);
    if (dialog) {
        const int clicked = static_cast<int>(buttons.indexOf(qobject_cast<QPushButton *>(dialog->clickedButton())));
        if (clicked >= 0)
            answer = specs[clicked].answer;
        delete dialog;
    }
    return answer;
}

void WidgetMessageBox::install()
{
    MessageBox::setHandler(&WidgetMessageBox::show);
}
