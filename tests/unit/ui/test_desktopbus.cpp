// The desktop's session bus: the keyring (a real Secret Service) and the
// notification service. Run three ways:
//   plain                          no session bus at all (cron): everything fails at once
//   with-session-bus.sh keyring    GNOME Keyring, unlocked
//   with-session-bus.sh locked     GNOME Keyring, its keyring locked
// KIVREL_TEST_BUS says which; plain runs cut every way to a bus first, so the
// test never touches the keyring of the person running it.

#include "../download/scanfixture.h"

#include "core/datakinds.h"
#include "core/inifile.h"
#include "core/secret.h"
#include "core/settings.h"
#include "download/downloadrun.h"
#include "download/newfilesnotice.h"
#include "download/scantexts.h"
#include "platform/desktopnotifier.h"
#include "platform/dialupservice.h"
#include "platform/keychainsecretstore.h"
#include "platform/messagebox.h"
#include "testsupport.h"
#include "ui/frmsetting.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

enum class Bus { None, Keyring, Locked };

Bus busOfThisRun()
{
    const QByteArray mode = qgetenv("KIVREL_TEST_BUS");
    return mode == "keyring" ? Bus::Keyring : mode == "locked" ? Bus::Locked : Bus::None;
}

class NoDialup : public DialupService
{
public:
    bool available() override { return false; }
    QStringList listEntries() override { return {}; }
    QStringList activeConnections() override { return {}; }
    bool disconnect(const QString &, QString *) override { return true; }
    int startConnect(const QString &, ConnectDone, QString *) override { return 0; }
    void cancelConnect(int) override {}
};

// The notification service of the desktop, as far as the program uses it: it
// records every Notify call.
class RecordingNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app, icon, summary, body;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &app, uint, const QString &icon, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        calls.append({app, icon, summary, body});
        return static_cast<uint>(calls.size());
    }
};

} // namespace

class TestDesktopBus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void keyringKeepsPasswords_data();
    void keyringKeepsPasswords();
    void settingsMoveThePassword();
    void runTakesThePasswordFromTheKeyring();
    void notificationTellsTheNewFiles_data();
    void notificationTellsTheNewFiles();

private:
    Bus m_bus = busOfThisRun();
    KeychainSecretStore m_keyring{QStringLiteral("Kivrel test"), 5000, 5000};
    NoDialup m_dialup;
    std::unique_ptr<TempProgramFolder> m_home;
};

void TestDesktopBus::initTestCase()
{
    InitDataKinds();
    DialupService::install(&m_dialup);
    SecretStore::install(&m_keyring);
}

void TestDesktopBus::init()
{
    m_home = std::make_unique<TempProgramFolder>();
    Settings = SettingsRecord();
    MessageBox::clearAnswers();
    MessageBox::history().clear();
}

void TestDesktopBus::cleanup()
{
    m_home.reset();
}

void TestDesktopBus::keyringKeepsPasswords_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::newRow("plain") << "user@pop.example.jp"
                           << "secret";
    QTest::newRow("japanese") << QStringLiteral("利用者@pop.example.jp") << QStringLiteral("競馬ﾊﾟｽ 2026");
    QTest::newRow("symbols") << "u@h"
                             << "a=b;c\"d'e\\f&<>%s";
    QTest::newRow("empty account part") << "@pop.example.jp"
                                        << "x";
}

// The label of the keyring item with these mail-user and mail-server attributes.
static QString labelOfItem(const QString &user, const QString &server)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    const QString service = QStringLiteral("org.freedesktop.secrets");
    QDBusMessage search = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/secrets"),
                                                         QStringLiteral("org.freedesktop.Secret.Service"),
                                                         QStringLiteral("SearchItems"));
    search << QVariant::fromValue(QMap<QString, QString>{{"mail-user", user}, {"mail-server", server}});
    const QDBusMessage found = QDBusConnection::sessionBus().call(search);
    const auto items = qdbus_cast<QList<QDBusObjectPath>>(found.arguments().value(0));
    if (items.size() != 1)
        return QStringLiteral("%1 items").arg(items.size());
    QDBusMessage get = QDBusMessage::createMethodCall(service, items.first().path(),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.Secret.Item") << QStringLiteral("Label");
    return QDBusConnection::sessionBus().call(get).arguments().value(0).value<QDBusVariant>().variant().toString();
}

// What is written reads back the same and is gone after removal; without a
// bus, or locked, each call fails at once with its reason.
void TestDesktopBus::keyringKeepsPasswords()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QElapsedTimer timer;
    timer.start();
    const SecretStore::Result read = m_keyring.read(account);
    switch (m_bus) {
    case Bus::None:
        QVERIFY(!m_keyring.isAvailable());
        QVERIFY(read.status == SecretStore::Status::NoSessionBus || read.status == SecretStore::Status::NoService);
        QVERIFY(!m_keyring.write(account, password).ok());
        QVERIFY(timer.elapsed() < 4000); // "at once": well inside any wait the store has
        return;
    case Bus::Locked:
        QVERIFY(m_keyring.isAvailable());
        QCOMPARE(read.status, SecretStore::Status::Locked);
        QVERIFY(!SecretStore::reasonText(read).isEmpty());
        QVERIFY(timer.elapsed() < 4000); // never waits for an unlock prompt
        return;
    case Bus::Keyring:
        break;
    }
    QVERIFY(m_keyring.isAvailable());
    QCOMPARE(read.status, SecretStore::Status::NotFound);
    QVERIFY(m_keyring.write(account, password).ok());
    QVERIFY(m_keyring.write(account + QStringLiteral("-other"), QStringLiteral("other")).ok());
    // The item says whose it is, and is found by the mail user and server.
    const qsizetype at = account.lastIndexOf(u'@');
    QCOMPARE(labelOfItem(account.left(at), account.mid(at + 1)), QStringLiteral("Kivrel: ") + account);
    const SecretStore::Result back = m_keyring.read(account);
    QVERIFY2(back.ok(), qPrintable(SecretStore::reasonText(back)));
    QCOMPARE(back.secret, password);
    QVERIFY(m_keyring.remove(account).ok());
    QCOMPARE(m_keyring.read(account).status, SecretStore::Status::NotFound);
    QCOMPARE(m_keyring.read(account + QStringLiteral("-other")).secret, QStringLiteral("other"));
    QVERIFY(m_keyring.remove(account + QStringLiteral("-other")).ok());
    QVERIFY(m_keyring.remove(account).ok()); // nothing left to remove is no failure
}

// Ticking chkKeyring moves the password out of Kivrel.ini into the keyring;
// unticking moves it back. Without a Secret Service the box is disabled.
void TestDesktopBus::settingsMoveThePassword()
{
    Settings.ServerName = QStringLiteral("pop.example.jp");
    Settings.UserName = QStringLiteral("user");
    Settings.PassWord = QStringLiteral("Abc 123?x");
    Settings.SaveFolder[0] = m_home->path();
    QVERIFY(SaveSettings());
    const QString scrambled = EncodeString(Settings.PassWord, QLatin1String(kPasswordKey));
    const QString account = KeyringAccount(Settings.UserName, Settings.ServerName);
    auto ini = [](const char *key) {
        return ReadIniValue(QStringLiteral("Config"), QLatin1String(key), {}).toString();
    };
    auto runDialog = [](bool tick) {
        frmSetting dlg;
        auto *box = dlg.findChild<QCheckBox *>(QStringLiteral("chkKeyring"));
        const bool enabled = box->isEnabled();
        const QString shown = dlg.findChild<QLineEdit *>(QStringLiteral("txtPassword"))->text();
        if (enabled)
            box->setChecked(tick);
        dlg.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        return std::pair{enabled, shown};
    };

    LoadSettings();
    const auto [enabled, shown] = runDialog(true);
    QCOMPARE(enabled, m_bus != Bus::None);
    QCOMPARE(shown, QStringLiteral("Abc 123?x"));
    if (m_bus == Bus::Keyring) {
        QVERIFY(MessageBox::history().isEmpty());
        QCOMPARE(ini("PassWord"), QString());
        QCOMPARE(ini("PasswordStore"), QStringLiteral("Keyring"));
        QCOMPARE(m_keyring.read(account).secret, QStringLiteral("Abc 123?x"));

        LoadSettings();
        QVERIFY(Settings.PasswordInKeyring);
        QCOMPARE(Settings.PassWord, QString());
        const auto [enabledAgain, shownAgain] = runDialog(false);
        QVERIFY(enabledAgain);
        QCOMPARE(shownAgain, QStringLiteral("Abc 123?x")); // read back from the keyring
        QCOMPARE(m_keyring.read(account).status, SecretStore::Status::NotFound);
    } else if (m_bus == Bus::Locked) {
        // Writing into a locked keyring needs someone to unlock it; nobody
        // does, so the dialog says why and stays open. Nothing moved.
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY(MessageBox::history().first().text.startsWith(frmSetting::MsgKeyringWriteFailed));
    }
    LoadSettings();
    QVERIFY(!Settings.PasswordInKeyring);
    QCOMPARE(ini("PassWord"), scrambled);
    QCOMPARE(Settings.PassWord, QStringLiteral("Abc 123?x"));
}

// A run whose password is in the keyring logs in with it; one that cannot
// reach the keyring ends before connecting, with the reason, as a failure.
void TestDesktopBus::runTakesThePasswordFromTheKeyring()
{
    ScanRig rig;
    ScriptedMailbox box(*rig.transport, {});
    QTemporaryDir save;
    Settings.SaveFolder[0] = save.path();
    Settings.PassWord = QStringLiteral("not this one");
    Settings.PasswordInKeyring = true;
    const QString account = KeyringAccount(Settings.UserName, Settings.ServerName);
    if (m_bus == Bus::Keyring)
        QVERIFY(m_keyring.write(account, QStringLiteral("secret")).ok());

    DownloadRun run(rig.host, rig.pop);
    run.DoDownload();
    if (m_bus == Bus::Keyring) {
        QVERIFY(m_keyring.remove(account).ok());
        QCOMPARE(run.lastResult(), DownloadRun::Result::Completed);
        QVERIFY(rig.transport->client().contains("PASS secret\r\n"));
        return;
    }
    QCOMPARE(run.lastResult(), DownloadRun::Result::KeyringFailed);
    QCOMPARE(run.exitCode(), ExitCode::CouldNotRun);
    QVERIFY(rig.transport->client().isEmpty());
    QVERIFY(!rig.host.busy);
    QVERIFY(!rig.host.statuses.isEmpty());
    const SecretStore::Result why = m_keyring.read(account);
    QCOMPARE(rig.host.statuses.last(), ScanText::KeyringFailed + SecretStore::reasonText(why));
}

void TestDesktopBus::notificationTellsTheNewFiles_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::newRow("one") << QStringList{"DU991204.LZH"} << QStringLiteral("新着ﾃﾞｰﾀ 1件") << "DU991204.LZH";
    QTest::newRow("two") << QStringList{"DU991204.LZH", "KK991204.LZH"} << QStringLiteral("新着ﾃﾞｰﾀ 2件")
                         << "DU991204.LZH\nKK991204.LZH";
    QStringList many;
    for (int i = 0; i < 12; ++i)
        many << QStringLiteral("SH9912%1.LZH").arg(i, 2, 10, QLatin1Char('0'));
    QTest::newRow("many") << many << QStringLiteral("新着ﾃﾞｰﾀ 12件")
                          << QStringList(many.mid(0, 10)).join(u'\n') + QStringLiteral("\nほか2件");
    QTest::newRow("markup") << QStringList{"A&B<1>.LZH"} << QStringLiteral("新着ﾃﾞｰﾀ 1件") << "A&amp;B&lt;1&gt;.LZH";
}

// The notice reaches org.freedesktop.Notifications on the session bus, from
// the program, and says how many files came and which.
void TestDesktopBus::notificationTellsTheNewFiles()
{
    QFETCH(QStringList, files);
    QFETCH(QString, summary);
    QFETCH(QString, body);
    const NewFilesNotice notice = NewFilesNotice::of(files);
    QCOMPARE(notice.summary, summary);
    QCOMPARE(notice.body, body);

    DBusDesktopNotifier notifier;
    if (m_bus == Bus::None) {
        QVERIFY(!notifier.notify(notice.summary, notice.body));
        return;
    }
    // The service lives on a connection of its own, as another process's would.
    QDBusConnection service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("recorder"));
    RecordingNotifications recorder;
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QVERIFY(notifier.notify(notice.summary, notice.body));
    QTRY_COMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].app, QStringLiteral("Kivrel"));
    QCOMPARE(recorder.calls[0].icon, QStringLiteral("kivrel"));
    QCOMPARE(recorder.calls[0].summary, summary);
    QCOMPARE(recorder.calls[0].body, body);
    service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("recorder"));
}

int main(int argc, char **argv)
{
    if (busOfThisRun() == Bus::None) {
        for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
            qunsetenv(name);
    }
    QApplication app(argc, argv);
    TestDesktopBus test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_desktopbus.moc"
