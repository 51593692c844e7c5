#pragma once

#include <QString>

class aPOP;

// "Test the login" of the settings dialog: connect, log in with the method
// the settings give, log out; nothing is fetched. The account is the one the
// dialog shows, which need not be saved yet.
namespace LoginTest {

struct Account {
    QString server;
    int port = 0;
    QString security;
    QString user;
    QString password;        // used when passwordCommand is empty
    QString passwordCommand; // run for the secret when given
    QString authMethod;
};

struct Outcome {
    bool ok = false;
    QString text; // the method used, or why it failed (never a secret)
};

// Uses `pop` (a fresh component of its own in production).
Outcome run(const Account &account, aPOP &pop);

} // namespace LoginTest

namespace LoginTestText {
inline const QString Succeeded = QStringLiteral("ﾛｸﾞｲﾝに成功しました。\n認証方式: ");
inline const QString Failed = QStringLiteral("ﾛｸﾞｲﾝできませんでした。\n");
} // namespace LoginTestText
