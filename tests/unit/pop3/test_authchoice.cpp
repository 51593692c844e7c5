#include "pop3/authchoice.h"

#include <QTest>

class TestAuthChoice : public QObject
{
    Q_OBJECT
private slots:
    // The setting against what the server offers → the method, or a refusal.
    void choose_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("capa");    // CAPA answered
        QTest::addColumn<QString>("sasl"); // its SASL line
        QTest::addColumn<bool>("user");    // its USER line
        QTest::addColumn<bool>("apop");    // a timestamp in the greeting
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("method"); // empty: refused
        QTest::addColumn<bool>("fallback");
        const QString scram = QStringLiteral("SCRAM-SHA-256 SCRAM-SHA-256-PLUS SCRAM-SHA-1 CRAM-MD5 PLAIN LOGIN");
        const auto row = [](const char *name, const char *setting, bool capa, const QString &sasl, bool user,
                            bool apop, bool tls, const char *method, bool fallback = false) {
            QTest::newRow(name) << QString::fromLatin1(setting) << capa << sasl << user << apop << tls
                                << QString::fromLatin1(method) << fallback;
        };
        row("auto: CAPA refused", "Auto", false, "", false, false, false, "USER");
        row("auto: no SASL, USER", "Auto", true, "", true, false, false, "USER");
        row("auto: no SASL, no USER line", "Auto", true, "", false, false, true, "USER");
        row("auto: plain-text SASL and USER", "Auto", true, "PLAIN LOGIN", true, false, false, "USER");
        row("auto: strongest of all", "Auto", true, scram, true, true, true, "SCRAM-SHA-256");
        row("auto: -PLUS alone is never picked", "Auto", true, "SCRAM-SHA-256-PLUS", true, false, true, "USER");
        row("auto: SCRAM-SHA-1", "Auto", true, "SCRAM-SHA-1 PLAIN", false, true, false, "SCRAM-SHA-1");
        row("auto: CRAM-MD5 before APOP", "Auto", true, "CRAM-MD5", true, true, false, "CRAM-MD5");
        row("auto: APOP, USER allowed", "Auto", true, "", true, true, false, "APOP", true);
        row("auto: APOP, CAPA refused", "Auto", false, "", false, true, false, "APOP", true);
        row("auto: APOP, only PLAIN besides", "Auto", true, "PLAIN", false, true, false, "APOP", false);
        row("auto: PLAIN where USER is not", "Auto", true, "PLAIN LOGIN", false, false, true, "PLAIN");
        row("auto: LOGIN where USER is not", "Auto", true, "LOGIN", false, false, true, "LOGIN");
        row("auto: bearer methods are not guessed", "Auto", true, "XOAUTH2 OAUTHBEARER", true, false, true, "USER");
        row("empty setting is auto", "", true, "CRAM-MD5", true, false, false, "CRAM-MD5");
        row("unknown setting is refused", "SCRAM-SHA256", true, "CRAM-MD5", true, false, false, "");
        row("user: whatever is offered", "User", true, scram, true, true, true, "USER");
        row("named, offered", "scram-sha-1", true, scram, true, false, false, "SCRAM-SHA-1");
        row("named, not offered", "SCRAM-SHA-256", true, "CRAM-MD5", true, false, false, "");
        row("named, no SASL line: tried", "CRAM-MD5", true, "", true, false, false, "CRAM-MD5");
        row("named, CAPA refused: tried", "XOAUTH2", false, "", false, false, true, "XOAUTH2");
        row("named -PLUS over TLS", "SCRAM-SHA-256-PLUS", true, scram, true, false, true, "");
        row("named -PLUS in the clear", "SCRAM-SHA-1-PLUS", true, scram, true, false, false, "");
        row("APOP named, no timestamp", "APOP", true, scram, true, false, false, "");
        row("APOP named never falls back", "APOP", true, "", true, true, false, "APOP", false);
    }
    void choose()
    {
        QFETCH(QString, setting);
        QFETCH(bool, capa);
        QFETCH(QString, sasl);
        QFETCH(bool, user);
        QFETCH(bool, apop);
        QFETCH(bool, tls);
        QFETCH(QString, method);
        QFETCH(bool, fallback);
        AuthChoice::Offer offer;
        offer.capaAnswered = capa;
        offer.sasl = sasl.split(u' ', Qt::SkipEmptyParts);
        offer.user = user;
        offer.apop = apop;
        offer.tls = tls;
        const AuthChoice::Choice c = AuthChoice::choose(setting, offer);
        QCOMPARE(c.method, method);
        QCOMPARE(c.refusal.isEmpty(), !method.isEmpty());
        QCOMPARE(c.apopFallback, fallback);
    }
};

QTEST_GUILESS_MAIN(TestAuthChoice)
#include "test_authchoice.moc"
