#pragma once

#include "core/exitcode.h"
#include "pop3/replymatcher.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class aPOP;
class DialupService;
class EzRas;
class RunHost;

// One check-and-download run: the driver (DoDownload) and the mailbox scan
// (Download). It belongs to the main window, which hosts it through RunHost,
// and drives the window's POP3 component. Everything runs on the one thread;
// every wait pumps events, so the window stays live during a run.
class DownloadRun : public QObject
{
    Q_OBJECT
public:
    // How the last run ended (automatic mode turns it into the exit code).
    enum class Result {
        NotRun,
        Completed,
        ConnectFailed,
        LoginFailed,
        MailboxBusy, // the server refused the login for now: locked, too soon, a passing fault
        DialFailed,
        Busy,
        Stopped,
        LineDropped,
        NoSaveFolder, // all four save folders are empty
        BadReply,     // the server's answer to STAT could not be believed
        LockFailed,
        KeyringFailed,
        NotStored,    // a wanted data file could not be stored whole
        Incomplete,   // a mail could not be judged on what the server sent
        ListNotSaved, // the read list could not be written
        PasswordCommandFailed // the password command gave no secret
    };

    // `dialup` is the dial-up service (the system's one when null).
    DownloadRun(RunHost &host, aPOP &pop, DialupService *dialup = nullptr, QObject *parent = nullptr);
    ~DownloadRun() override;

    // Set by the caller: also re-examine mails already in the read list.
    bool DownloadAll = false;
    // Set each time a scan has ended; empty until the first scan.
    std::optional<QDateTime> LastDownloadTime;
    bool ScanFinished = false;
    // Where a dial of EzRas1 stands; the dial-up control's state texts move it on.
    enum class DialStatus : int { Dialling = 0, Connected = 2, Disconnected = 3 };
    DialStatus DialState = DialStatus::Dialling;
    // Around each retrieval, for the progress display.
    bool Receiving = false;
    QString CurrentFileName;
    qint64 CurrentFileSize = 0;
    // The data files the last run stored, in the order it stored them.
    QStringList NewFiles;
    // The mail password for the run in progress (from Kivrel.ini or the keyring).
    const QString &password() const { return m_password; }

    // A whole run: LastDLDate, busy indicator, dial-up when needed, the scan.
    void DoDownload();
    // The mailbox scan.
    void Download();

    // Around each retrieval: the progress display follows that mail, whose
    // reply is `retrieval`'s.
    void beginReceiving(const QString &fileName, qint64 size, ReplyMatcher::Id retrieval);
    void endReceiving();
    // The retrieval's reply has ended with `received` bytes.
    void showReceived(qint64 received);

    bool isRunning() const { return m_running; }
    // Asks a run in progress to end as soon as it safely can (window closing).
    void requestStop();
    bool stopRequested() const { return m_stopRequested; }
    Result lastResult() const { return m_result; }
    // How the last run ended, as automatic mode reports it.
    ExitCode exitCode() const;

    // The lock file that keeps two processes from running on one program folder.
    static QString lockFilePath();

    // The window's dial-up control.
    EzRas &EzRas1() { return *m_ezRas; }
    // True when no active connection has this entry name.
    bool IsNeedDialup(const QString &entryName) const;

public slots:
    void aPOP1_StatusChanged();
    void aPOP1_DataReceived();
    void EzRas1_StatusChanged(int nStatusCode, const QString &strStatusMsg);
    void cmdDialupAbort_Click();

private:
    // Dials when the settings ask for it and no connection is up; false when
    // the run must end without a scan. `dialled` tells whether this run dialled.
    // The password for this run: from Kivrel.ini, or from the keyring. False
    // (with the reason in the status line) when the keyring cannot give it.
    bool readPassword();
    bool connectIfNeeded(bool &dialled, bool &external, QString &entry);
    void hangUp(bool external, const QString &entry);
    // What writes of a killed run left beside the list, the settings and the data files.
    void removeLeftTemporaryFiles();

    RunHost &m_host;
    aPOP &m_pop;
    DialupService *m_dialup;
    EzRas *m_ezRas;
    bool m_running = false;
    bool m_stopRequested = false;
    Result m_result = Result::NotRun;
    QString m_password;
    static constexpr quint32 ProgressQuietMs = 250;
    quint32 m_receivingSince = 0;
    ReplyMatcher::Id m_receivingId = 0;
    int m_lastPercent = -1;
    quint32 m_lastProgressTick = 0;
};
