#pragma once

#include "platform/messagebox.h"

#include <QString>

class ReadList;

// What a download run needs from the window that hosts it. The main window
// implements this; tests and the console run implement it without widgets.
class RunHost
{
public:
    virtual ~RunHost() = default;

    // The status line (elaStatusMessage).
    virtual void ShowStatus(const QString &text) = 0;
    // The progress gauge: total < 1 hides it and empties the status line;
    // otherwise percent = received / total (rounded half to even, capped at
    // 100) and the status text "ﾀﾞｳﾝﾛｰﾄﾞ中... " + received + "bytes  " + fileName.
    virtual void ShowProgress(const QString &fileName, qint64 total, qint64 received) = 0;
    // Rebuild the file list from the read list.
    virtual void RefreshFileList() = 0;
    // Show the read-list entry at `index`, just added or replaced, without
    // rebuilding the rest of the list.
    virtual void RefreshFileListEntry(int index)
    {
        Q_UNUSED(index)
        RefreshFileList();
    }
    // Let the window repaint now (the run is synchronous and pumps events).
    virtual void repaintWindow() = 0;
    // The busy indicator (sspGlove): picture and state.
    virtual void setBusy(bool busy) = 0;
    virtual bool isBusy() const = 0;
    // The dial-up cancel button (cmdDialupAbort) shares its place with the gauge.
    virtual void setDialAbortVisible(bool visible) = 0;
    // A modal message box with the program's title (MessageBox styles/answers).
    virtual MessageBox::Answer showMessage(const QString &text, MessageBox::Style style) = 0;
    // The read-mail list the run records into.
    virtual ReadList &readList() = 0;
};
