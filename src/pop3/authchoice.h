#pragma once

#include <QString>
#include <QStringList>

// Which login method to use: the setting ("Auto", "User" or one method by
// name) against what the server offers. A pure function, so the rules can be
// read in one place and tested as a table.
namespace AuthChoice {

// Names of the methods as the setting and the status texts spell them.
inline const QString Auto = QStringLiteral("Auto");
inline const QString User = QStringLiteral("User");   // the setting; the method is "USER"
inline const QString UserPass = QStringLiteral("USER"); // USER and PASS
inline const QString Apop = QStringLiteral("APOP");
inline const QString XOAuth2 = QStringLiteral("XOAUTH2");
inline const QString OAuthBearer = QStringLiteral("OAUTHBEARER");

// Every value the setting takes, in the order the settings dialog lists them.
const QStringList &settingValues();
// The setting as written in Kivrel.ini, spelled as settingValues() does; an
// empty value is "Auto", an unknown one stays as it is (and is refused).
QString canonical(const QString &setting);

struct Offer {
    bool capaAnswered = false; // CAPA was answered "+OK"
    QStringList sasl;          // the methods of its "SASL" line
    bool user = false;         // its "USER" line
    bool apop = false;         // the greeting holds a timestamp
    bool tls = false;          // the line is encrypted
};

struct Choice {
    QString method;  // "USER", "APOP" or a SASL method; empty when refused
    QString refusal; // why nothing is tried (the program's words)
    // A refused APOP is followed once by USER/PASS (Auto only).
    bool apopFallback = false;
};

Choice choose(const QString &setting, const Offer &offer);

} // namespace AuthChoice

namespace AuthChoiceText {
inline const QString Unknown = QStringLiteral("認証方式の指定が正しくありません: ");
inline const QString NotOffered = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰが次の認証方式に対応していません: ");
inline const QString NoChannelBinding =
    QStringLiteral("この環境ではﾁｬﾈﾙﾊﾞｲﾝﾃﾞｨﾝｸﾞ(-PLUS)を使えないため、次の認証方式は使用できません: ");
} // namespace AuthChoiceText
