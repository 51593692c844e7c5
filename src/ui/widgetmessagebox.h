#pragma once

#include "platform/messagebox.h"

#include <QString>

// The message boxes of a program with a display: a modal QMessageBox with
// the buttons, icon and default button the style asks for, and the
// program's title. Installed by main() when a real display is used.
class WidgetMessageBox
{
public:
    // Button texts as the program's boxes show them.
    static const QString OkText;
    static const QString CancelText;
    static const QString AbortText;
    static const QString RetryText;
    static const QString IgnoreText;
    static const QString YesText;
    static const QString NoText;

    // Shows the box and returns the answer.
    static MessageBox::Answer show(const MessageBox::Shown &box);
    // MessageBox::setHandler(&WidgetMessageBox::show).
    static void install();
};
