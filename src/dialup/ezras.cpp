#include "dialup/ezras.h"

#include "platform/dialupservice.h"

// The state texts, as the window's handler compares them.
const QString EzRas::TextOpenPort = QStringLiteral("通信ﾎﾟｰﾄがｵｰﾌﾟﾝされようとしています。");
const QString EzRas::TextPortOpened = QStringLiteral("通信ﾎﾟｰﾄが正常にｵｰﾌﾟﾝされました。");
const QString EzRas::TextDeviceConnected = QStringLiteral("ﾃﾞﾊﾞｲｽが正常に接続されました。");
const QString EzRas::TextAuthenticate = QStringLiteral("認証処理を開始しようとしています。");
const QString EzRas::TextAuthenticated = QStringLiteral("ｸﾗｲｱﾝﾄが認証を正常に完了しました。");
const QString EzRas::TextConnected = QStringLiteral("正常に接続しました。");
const QString EzRas::TextDisconnected = QStringLiteral("接続を解除したか､ 接続が失敗しました。");
const QString EzRas::TextNoEntry = QStringLiteral("接続先が指定されていません。");
const QString EzRas::TextBusy = QStringLiteral("ﾀﾞｲﾔﾙ中です。");

EzRas::EzRas(DialupService *service, QObject *parent)
    : QObject(parent), m_service(service ? *service : DialupService::instance())
{
}

EzRas::~EzRas()
{
    // Only stop waiting: the window is going away, a line that is up stays up.
    if (m_pendingId != 0)
        m_service.cancelConnect(m_pendingId);
}

bool EzRas::Dial()
{
    if (m_state == State::Dialling) {
        report(Notice, TextBusy);
        return false;
    }
    if (EntryName.isEmpty()) {
        report(Notice, TextNoEntry);
        return false;
    }
    QString error;
    const QString entry = EntryName;
    const int id = m_service.startConnect(
        entry, [this](bool ok, const QString &why) { dialEnded(ok, why); }, &error);
    if (id == 0) {
        m_lastError = error;
        report(Notice, error);
        return false;
    }
    m_state = State::Dialling;
    m_pendingId = id;
    m_dialledEntry = entry;
    // The service reports no steps of its own; these keep the status line moving.
    report(OpenPort, TextOpenPort);
    report(PortOpened, TextPortOpened);
    report(DeviceConnected, TextDeviceConnected);
    report(Authenticate, TextAuthenticate);
    return true;
}

void EzRas::dialEnded(bool ok, const QString &error)
{
    m_pendingId = 0;
    if (!ok) {
        m_state = State::Idle;
        m_lastError = error;
        report(Disconnected, TextDisconnected);
        return;
    }
    m_state = State::Up;
    report(Authenticated, TextAuthenticated);
    // A handler may have hung up in between.
    if (m_state == State::Up)
        report(Connected, TextConnected);
}

void EzRas::HangUp()
{
    if (m_state == State::Idle)
        return;
    if (m_pendingId != 0) {
        m_service.cancelConnect(m_pendingId);
        m_pendingId = 0;
    }
    // Idle before the wait, so that a HangUp from inside it finds nothing to do.
    m_state = State::Idle;
    // Also after an abandoned dial: the system may still be bringing the line up.
    QString error;
    if (!m_service.disconnect(m_dialledEntry, &error))
        m_lastError = error;
    report(Disconnected, TextDisconnected);
}
