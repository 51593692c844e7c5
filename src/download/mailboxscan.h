#pragma once

#include "download/downloadrun.h"
#include "download/lookahead.h"
#include "download/scanoptions.h"
#include "pop3/apop.h"
#include "pop3/messageparser.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

class RunHost;

// One pass over the mailbox: connect and log in, count, ids, sizes, examine
// each unhandled message (TOP), retrieve the wanted data mails (RETR), decode
// and record them, the deletion pass, the summary and the close. Lives for one
// call of DownloadRun::Download().
class MailboxScan
{
public:
    // `earlier`: a pass of this run that kept commands in flight and lost the
    // line; this one goes one command at a time and counts what it examined.
    MailboxScan(DownloadRun &run, RunHost &host, aPOP &pop, const ScanOptions &options,
                const MailboxScan *earlier = nullptr);

    DownloadRun::Result run();
    // The line was lost while commands were in flight: worth another pass.
    bool pipelineFailed() const;


private:
    // One mailbox message during the scan.
    struct MessageInfo {
        QString Uid;
        QString FileName;
        QByteArray FileNameBytes; // the name as the mail holds it (CP932)
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
        // A wanted data file that could not be stored whole: the mail stays.
        bool StoreFailed = false;
        // What the server sent of it could not be trusted: left for the next run.
        bool Unjudged = false;
        // The server's UIDL/LIST lines for it were missing, malformed or duplicated.
        bool Unusable = false;
    };
    enum class Step { Go, End };
    enum class Command { Top, Retr };

    bool prepare();
    bool connectAndLogin();
    Step count();
    Step readIds();
    void compareWithReadList();
    Step readSizes();
    void examineAll();
    void examine(qint64 i);
    void classify(qint64 i);
    void retrieve(qint64 i, bool nameUnknown = false);
    bool storeRetrieved(MessageInfo &m);
    bool wantedName(const MessageInfo &m);
    void leaveUnjudged(qint64 i);
    void notStored(MessageInfo &m);
    void deletionPass();
    void close();

    bool needsExamination(qint64 i) const;
    bool wantedAhead(const QByteArray &top) const;
    void startLookahead();
    void fillPipeline();
    aPOP::Id commandFor(qint64 i, Command command);
    // The reply of `id` once it has ended; a retrieval also ends by the
    // silence rules. A reply that is gone reads as failed and empty.
    const aPOP::Reply &awaitReply(aPOP::Id id, bool retrieval = false);
    void applySilenceRules(aPOP::Id id);
    bool awaitFailed(aPOP::Id id);

    // After a command that did not end with a whole reply: false when the line
    // is gone (the scan must end), true when the next command may be tried.
    bool lineUsable(const aPOP::Reply &reply);
    bool listingFailed(const aPOP::Reply &reply);
    void dropLine();
    // A reply time-out on this line: no further pass in this run.
    bool timedOut() const;
    void record(MessageInfo &m, const QString &fileName, const QString &description);
    bool wantsDeletion(const MessageInfo &m, const QDateTime &now) const;
    bool isOld(const MessageInfo &m, const QDateTime &now) const;
    bool stopped() const;

    DownloadRun &m_run;
    RunHost &m_host;
    aPOP &m_pop;
    const ScanOptions &m_options;
    DownloadRun::Result m_result = DownloadRun::Result::Completed;
    std::vector<MessageInfo> m_info; // by message number; [0] unused
    qint64 m_count = 0;
    qint64 m_unread = 0;
    QString m_logFolder;
    int m_decoded = 0;
    int m_others = 0;
    int m_unstored = 0;         // wanted data files that could not be stored
    int m_unjudged = 0;         // mails left for the next run
    bool m_lineDropped = false; // the line could not be kept in step
    bool m_timedOut = false;    // the 30 s rule gave a retrieval up (the engine keeps its own 60 s flag)
    bool m_pipeliningAllowed = true;
    bool m_pipelined = false;
    MessageParser m_mail; // the mail examined or retrieved last
    aPOP::Id m_uidlId = 0;
    aPOP::Id m_listId = 0;
    std::unique_ptr<Lookahead> m_lookahead; // while examining with several commands in flight
    QHash<QString, MessageInfo> m_carried; // by unique id, from an earlier pass
    QHash<QString, QByteArray> m_storedNames; // file names stored in this run, and their bytes
};
