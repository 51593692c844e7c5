#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

class aPOP;
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
    enum class Result { NotRun, Completed, ConnectFailed, LoginFailed, DecodeFailed, DialFailed, Busy, Stopped };

    DownloadRun(RunHost &host, aPOP &pop, QObject *parent = nullptr);

    // Set by the caller: also re-examine mails already in the read list.
    bool DownloadAll = false;
    // Set each time a scan has ended; empty until the first scan.
    std::optional<QDateTime> LastDownloadTime;
    bool ScanFinished = false;
    int DialState = 0;
    // Around each retrieval, for the progress display.
    bool Receiving = false;
    QString CurrentFileName;
    qint64 CurrentFileSize = 0;

    // A whole run: LastDLDate, busy indicator, dial-up when needed, the scan.
    void DoDownload();
    // The mailbox scan.
    void Download();

    bool isRunning() const { return m_running; }
    // Asks a run in progress to end as soon as it safely can (window closing).
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }
    Result lastResult() const { return m_result; }
    // 0 when the last run ended normally, non-zero when it could not run.
    int exitCode() const;

    // The lock file that keeps two processes from running on one program folder.
    static QString lockFilePath();

public slots:
    void aPOP1_StatusChanged();
    void aPOP1_DataReceived();

private:
    void waitForCommand();
    void showProgressThrottled();

    RunHost &m_host;
    aPOP &m_pop;
    bool m_running = false;
    bool m_stopRequested = false;
    Result m_result = Result::NotRun;
    int m_lastPercent = -1;
    quint32 m_lastProgressTick = 0;
};
