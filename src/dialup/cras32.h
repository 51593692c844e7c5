#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class DialupService;

// The dial-up wrapper: the connection profiles the system knows (the
// "phone-book entries"), finding an active connection, and dialling and
// hanging up an entry. An object is made for one purpose and dropped at
// once; dropping it never hangs up.
//
// Text properties keep "null" for "not set": writing the empty text stores
// null, reading null gives the empty text. PhoneBook, UserID, Password,
// Domain and ShowMoniter are kept for callers but the system's connection
// profiles carry their own settings and secrets, so dialling does not use them.
class cRas32 : public QObject
{
    Q_OBJECT
public:
    // Result codes (0 = success), in the traditional RAS numbering.
    enum Result {
        Success = 0,
        InvalidHandle = 6,         // HangUp without a connection
        CannotOpenPhoneBook = 621, // the profiles could not be read
        CannotFindEntry = 623,     // the entry is not a known profile
        DeviceError = 651,         // the system could not bring the entry up
        CannotHangUp = 668,        // the system could not take the entry down
        ServiceUnavailable = 711,  // no dial-up service on this system
    };

    // Uses `service`, or the system's one when null; reads the entries at once.
    explicit cRas32(DialupService *service = nullptr, QObject *parent = nullptr);

    // The connection dialled or found; 0 when none.
    quint32 Connection() const { return m_connection; }

    QString PhoneBook() const { return m_phoneBook; }
    void setPhoneBook(const QString &value) { m_phoneBook = nullIfEmpty(value); }
    QString Entry() const { return m_entry; }
    void setEntry(const QString &value) { m_entry = nullIfEmpty(value); }
    QString UserID() const { return m_userId; }
    void setUserID(const QString &value) { m_userId = nullIfEmpty(value); }
    QString Password() const { return m_password; }
    void setPassword(const QString &value) { m_password = nullIfEmpty(value); }
    QString Domain() const { return m_domain; }
    void setDomain(const QString &value) { m_domain = nullIfEmpty(value); }
    bool ShowMoniter() const { return m_showMoniter; }
    void setShowMoniter(bool value) { m_showMoniter = value; }

    // Number of entries found by the last RefreshEntries().
    int EntryCount() const { return static_cast<int>(m_entries.size()); }
    // The entry name at 0-based index i; a null text (and *ok false) when i
    // is outside 0 .. EntryCount() - 1.
    QString EnumEntries(int i, bool *ok = nullptr) const;

    // Re-reads the entries; 0 on success. A failed listing leaves none.
    int RefreshEntries();
    // Dials Entry and waits (pumping events) until it is up or has failed;
    // raises ConnectComplete or ConnectError. Returns the result code.
    int Dialup();
    // Hangs up Connection and clears it. Returns the result code.
    int HangUp();
    // The message for a result code.
    QString ErrMsg(int rasErr) const;
    // True when an active connection has exactly this entry name (letter case
    // counts). With setProp the found entry becomes Entry and Connection.
    bool SeekEnumConns(const QString &entry, bool setProp);

    // The system's detail for the last failure, when it gave one.
    QString lastError() const { return m_lastError; }

signals:
    void ConnectError(int &rasErrCode);
    void ConnectComplete();

private:
    static QString nullIfEmpty(const QString &value) { return value.isEmpty() ? QString() : value; }
    quint32 newHandle();

    DialupService &m_service;
    quint32 m_connection = 0;
    QString m_connectedEntry;
    QStringList m_entries;
    QString m_entry;
    QString m_userId;
    QString m_password;
    QString m_domain;
    QString m_phoneBook;
    bool m_showMoniter = true;
    QString m_lastError;
};

// True when no active connection has this entry name, so it must be dialled.
bool IsNeedDialup(const QString &entryName, DialupService *service = nullptr);
