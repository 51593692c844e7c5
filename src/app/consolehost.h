#pragma once

#include "download/readlist.h"
#include "download/runhost.h"
#include "platform/messagebox.h"

// The host of an automatic run without a display: no window and no widget,
// only the run. Every status text goes to standard output as a line, and a
// message box prints its text and answers as its default button would; the
// activity log, the files, Kivrel.dat, the deletions and the exit code are
// those of the same run in the window.
// How a run that did not end normally is reported.
namespace RunEndText {
inline const QString Failed = QStringLiteral("受信できませんでした");
inline const QString Busy = QStringLiteral("別の Kivrel が受信中のため、受信しませんでした");
} // namespace RunEndText

class ConsoleHost : public RunHost
{
public:
    // Loads the read list (as the window does when it is created), runs one
    // download run and returns its exit code.
    static int runAutomatic();
    // A run that did not end normally says so on standard error (the journal
    // gets it as err; another run's refusal as warning), with its last status.
    static void reportRunEnd(int status, const QString &lastStatus);

    void ShowStatus(const QString &text) override;
    void ShowProgress(const QString &fileName, qint64 total, qint64 received) override;
    void RefreshFileList() override {}
    void RefreshFileListEntry(int) override {}
    void repaintWindow() override {}
    void setBusy(bool busy) override { m_busy = busy; }
    bool isBusy() const override { return m_busy; }
    void setDialAbortVisible(bool) override {}
    MessageBox::Answer showMessage(const QString &text, MessageBox::Style style) override;
    ReadList &readList() override { return m_readList; }

private:
    ReadList m_readList;
    QString m_lastStatus;
    bool m_busy = false;
};
