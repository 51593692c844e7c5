#pragma once

#include <QObject>
#include <QString>

class DialupService;

// The main window's dial-up control: dials one entry without blocking and
// reports every change of the connection's state by StatusChanged, with the
// state's text. The texts are the ones the window's handler compares.
class EzRas : public QObject
{
    Q_OBJECT
public:
    // State codes passed with StatusChanged.
    enum Status {
        OpenPort = 0,
        PortOpened = 1,
        DeviceConnected = 3,
        Authenticate = 5,
        Authenticated = 14,
        Connected = 0x2000,
        Disconnected = 0x2001,
        // A report that is no change of the line (the dial could not start).
        Notice = -1,
    };

    static const QString TextOpenPort;
    static const QString TextPortOpened;
    static const QString TextDeviceConnected;
    static const QString TextAuthenticate;
    static const QString TextAuthenticated;
    static const QString TextConnected;
    static const QString TextDisconnected;
    static const QString TextNoEntry;
    static const QString TextBusy;

    // Uses `service`, or the system's one when null.
    explicit EzRas(DialupService *service = nullptr, QObject *parent = nullptr);
    ~EzRas() override;

    // Kept for callers; the system's profile holds the dial settings.
    bool DefaultSettings = true;
    QString EntryName;

    // Starts dialling EntryName and returns at once; the outcome arrives by
    // StatusChanged (TextConnected or TextDisconnected). False when the dial
    // did not start (no entry name, no dial-up service, a dial already going on).
    bool Dial();
    // Ends the connection: a dial in progress is abandoned and the entry taken
    // down. Reports TextDisconnected unless nothing was dialled or up.
    void HangUp();

    bool isDialling() const { return m_state == State::Dialling; }
    bool isConnected() const { return m_state == State::Up; }
    // The system's reason for the last failure, when it gave one.
    QString lastError() const { return m_lastError; }

signals:
    void StatusChanged(int nStatusCode, const QString &strStatusMsg);

private:
    enum class State { Idle, Dialling, Up };
    void dialEnded(bool ok, const QString &error);
    void report(Status status, const QString &text) { emit StatusChanged(status, text); }

    DialupService &m_service;
    State m_state = State::Idle;
    int m_pendingId = 0;
    QString m_dialledEntry;
    QString m_lastError;
};
