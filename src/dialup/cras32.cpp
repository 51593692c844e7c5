#include "dialup/cras32.h"

#include "platform/dialupservice.h"

namespace {

// Handles only tell connections apart within the program; 0 means none.
quint32 g_lastHandle = 0;

} // namespace

cRas32::cRas32(DialupService *service, QObject *parent)
    : QObject(parent), m_service(service ? *service : DialupService::instance())
{
    RefreshEntries();
}

quint32 cRas32::newHandle()
{
    if (++g_lastHandle == 0)
        ++g_lastHandle;
    return g_lastHandle;
}

QString cRas32::EnumEntries(int i, bool *ok) const
{
    const bool inRange = i >= 0 && i < m_entries.size();
    if (ok)
        *ok = inRange;
    return inRange ? m_entries.at(i) : QString();
}

int cRas32::RefreshEntries()
{
    m_entries.clear();
    if (!m_service.available())
        return Success;
    m_entries = m_service.listEntries();
    m_lastError = m_service.lastError();
    if (!m_lastError.isEmpty()) {
        m_entries.clear();
        return CannotOpenPhoneBook;
    }
    return Success;
}

int cRas32::Dialup()
{
    int result = Success;
    if (!m_service.available()) {
        // Reporting success here would let a caller scan on a line that is not there.
        result = ServiceUnavailable;
        m_lastError = m_service.lastError();
    } else if (!m_service.connect(m_entry, &m_lastError)) {
        result = m_service.listEntries().contains(m_entry) ? DeviceError : CannotFindEntry;
    }
    if (result != Success) {
        m_connection = 0;
        m_connectedEntry.clear();
        emit ConnectError(result);
        return result;
    }
    m_connection = newHandle();
    m_connectedEntry = m_entry;
    emit ConnectComplete();
    return result;
}

int cRas32::HangUp()
{
    const quint32 handle = m_connection;
    m_connection = 0;
    if (handle == 0)
        return InvalidHandle;
    const QString entry = m_connectedEntry;
    m_connectedEntry.clear();
    return m_service.disconnect(entry, &m_lastError) ? Success : CannotHangUp;
}

QString cRas32::ErrMsg(int rasErr) const
{
    switch (rasErr) {
    case Success:
        return QString();
    case InvalidHandle:
        return QStringLiteral("ハンドルが無効です。");
    case CannotOpenPhoneBook:
        return QStringLiteral("接続の一覧を読めませんでした。");
    case CannotFindEntry:
        return QStringLiteral("この接続のエントリが見つかりませんでした。");
    case DeviceError:
        return QStringLiteral("接続できませんでした。モデム (またはその他の接続デバイス) がエラーを報告しました。");
    case CannotHangUp:
        return QStringLiteral("接続を切断できませんでした。");
    case ServiceUnavailable:
        return QStringLiteral("ダイヤルアップ サービス (NetworkManager) を利用できません。");
    default:
        return QStringLiteral("リモート アクセス エラー %1 です。").arg(rasErr);
    }
}

bool cRas32::SeekEnumConns(const QString &entry, bool setProp)
{
    if (!m_service.available())
        return false;
    const QStringList active = m_service.activeConnections();
    for (const QString &name : active) {
        if (name != entry)
            continue;
        if (setProp) {
            m_entry = name;
            m_connection = newHandle();
            m_connectedEntry = name;
        }
        return true;
    }
    return false;
}

bool IsNeedDialup(const QString &entryName, DialupService *service)
{
    cRas32 ras(service);
    return !ras.SeekEnumConns(entryName, false);
}
