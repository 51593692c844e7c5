#pragma once

#include "download/downloadrun.h"
#include "pop3/apop.h"

#include <QString>
#include <QVariant>

#include <vector>

class RunHost;

// One pass over the mailbox: connect and log in, count, ids, sizes, examine
// each unhandled message (TOP), retrieve the wanted data mails (RETR), decode
// and record them, the deletion pass, the summary and the close. Lives for one
// call of DownloadRun::Download().
class MailboxScan
{
public:
    MailboxScan(DownloadRun &run, RunHost &host, aPOP &pop);

    DownloadRun::Result run();

    // Message counts and sizes beyond these are not believed.
    static constexpr qint64 MaxMessages = 1000000;
    static constexpr qint64 MaxMessageSize = aPOP::DefaultMaxReplyBytes;

private:
    // One mailbox message during the scan.
    struct MessageInfo {
        QString Uid;
        QString FileName;
        qint64 Size = 0;
        QVariant MailDate;
        QString Subject;
        QString Body;
        QString From;
        QVariant HandledTime;
        bool Downloaded = false;
        // Examined with TOP in this run: only such a mail may be deleted.
        bool Examined = false;
        // Its record is in the read list (from before, or stored in this run).
        bool Recorded = false;
        // A copy to a further save folder failed: the mail stays on the server.
        bool CopyFailed = false;
        // The server's UIDL/LIST lines for it were missing, malformed or duplicated.
        bool Unusable = false;
    };
    enum class Step { Go, End };

    bool prepare();
    bool connectAndLogin();
    Step count();
    Step readIds();
    void compareWithReadList();
    Step readSizes();
    void examineAll();
    void examine(qint64 i);
    void classify(qint64 i);
    void retrieve(qint64 i);
    bool storeRetrieved(MessageInfo &m);
    void deletionPass();
    void close();

    ::CommandStatus waitForCommand(bool retrieval = false);
    // After a command that did not end with a whole reply: false when the line
    // is gone (the scan must end), true when the next command may be tried.
    bool lineUsable();
    bool listingFailed();
    void dropLine();
    void record(MessageInfo &m, const QString &fileName, const QString &description);
    bool wantsDeletion(const MessageInfo &m, const QDateTime &now) const;
    bool stopped() const;

    DownloadRun &m_run;
    RunHost &m_host;
    aPOP &m_pop;
    DownloadRun::Result m_result = DownloadRun::Result::Completed;
    std::vector<MessageInfo> m_info; // by message number; [0] unused
    qint64 m_count = 0;
    qint64 m_unread = 0;
    int m_primary = 0;
    QString m_logFolder;
    int m_decoded = 0;
    int m_others = 0;
    bool m_failed = false;      // a decoding failure: the scan ends at once
    bool m_lineDropped = false; // the line could not be kept in step
};
