#pragma once

#include <QByteArrayView>
#include <QString>

// The response codes a server may put in brackets after "-ERR" (RFC 2449
// extended codes, RFC 3206 "SYS/TEMP", "SYS/PERM", "AUTH"), and what they
// mean for a login that was refused.
namespace ResponseCode {

enum class Code {
    None,       // no code, or one this program does not know
    InUse,      // "[IN-USE]": another client holds the mailbox
    LoginDelay, // "[LOGIN-DELAY]": logged in too recently
    SysTemp,    // "[SYS/TEMP]": a passing fault of the server
    SysPerm,    // "[SYS/PERM]": a lasting fault of the server
    Auth        // "[AUTH]": the credentials were refused
};

// The code of a reply's status line ("-ERR [IN-USE] locked" → InUse).
// Codes are case-insensitive; a code's sub-parts beyond those above
// ("[SYS/TEMP/DISK]") count as their first known parent.
Code parse(QByteArrayView reply);

// The mailbox cannot be used now, whatever the password: try again later.
bool busy(Code code);

// What a refused login is called, in the program's words.
QString loginFailureText(Code code);

// The server's own words: the reply's status line, without its line end,
// bounded, with bytes outside printable ASCII replaced.
QString serverText(QByteArrayView reply);

} // namespace ResponseCode

namespace ResponseCodeText {
inline const QString InUse =
    QStringLiteral("ﾒｰﾙﾎﾞｯｸｽは他のﾒｰﾙｿﾌﾄが使用中です。しばらくしてから再度実行してください");
inline const QString LoginDelay = QStringLiteral(
    "前回のﾛｸﾞｲﾝから間もないため、ｻｰﾊﾞｰに断られました。しばらく待ってから再度実行してください");
inline const QString SysTemp = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰが一時的に利用できません。しばらくしてから再度実行してください");
inline const QString SysPerm = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰの障害のため、ﾛｸﾞｲﾝできません");
inline const QString Auth = QStringLiteral("ログインに失敗しました(ﾕｰｻﾞｰ名またはﾊﾟｽﾜｰﾄﾞが正しくありません)");
inline const QString LoginFailed = QStringLiteral("ログインに失敗しました");
} // namespace ResponseCodeText
