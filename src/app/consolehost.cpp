#include "app/consolehost.h"

#include "core/exitcode.h"
#include "download/downloadrun.h"
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
    return exitStatus(run.exitCode());
}

void ConsoleHost::ShowStatus(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

void ConsoleHost::ShowProgress(const QString &fileName, qint64 total, qint64 received)
{
    // The window's status line shows the same texts beside its gauge.
    if (total < 1)
        ShowStatus(QString());
    else
        ShowStatus(frmMainText::Downloading + QString::number(received) + frmMainText::Bytes + fileName);
}

MessageBox::Answer ConsoleHost::showMessage(const QString &text, MessageBox::Style style)
{
    return MessageBox::show(text, style, frmMainText::Title);
}
