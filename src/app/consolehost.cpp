#include "app/consolehost.h"

#include "core/exitcode.h"
#include "download/downloadrun.h"
#include "platform/consoleline.h"
#include "platform/messagebox.h"
#include "pop3/apop.h"
#include "ui/frmmain.h" // the window's words only: nothing of it is created

#include <cstdio>

int ConsoleHost::runAutomatic()
{
    ConsoleHost host;
    host.m_readList.LoadReadList();
    aPOP pop;
    DownloadRun run(host, pop);
    run.DoDownload();
    const int status = exitStatus(run.exitCode());
    reportRunEnd(status, host.m_lastStatus);
    return status;
}

void ConsoleHost::reportRunEnd(int status, const QString &lastStatus)
{
    if (status == exitStatus(ExitCode::Normal))
        return;
    const bool busy = status == exitStatus(ExitCode::Busy);
    QString text = QStringLiteral("kivrel: ") + (busy ? RunEndText::Busy : RunEndText::Failed);
    if (!lastStatus.isEmpty())
        text += QStringLiteral(": ") + lastStatus;
    ConsoleLine::print(stderr, text, busy ? ConsoleLine::Priority::Warning : ConsoleLine::Priority::Err);
}

void ConsoleHost::ShowStatus(const QString &text)
{
    if (!text.isEmpty())
        m_lastStatus = text;
    ConsoleLine::print(stdout, text, ConsoleLine::Priority::Info);
}

void ConsoleHost::ShowProgress(const QString &fileName, qint64 total, qint64 received)
{
    // The window's status line shows the same texts beside its gauge.
    if (total < 1)
        ShowStatus(QString());
    else
        ConsoleLine::print(stdout, frmMainText::Downloading + QString::number(received) + frmMainText::Bytes + fileName,
                           ConsoleLine::Priority::Debug);
}

MessageBox::Answer ConsoleHost::showMessage(const QString &text, MessageBox::Style style)
{
    return MessageBox::show(text, style, frmMainText::Title);
}
