#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The password (or OAuth 2.0 access token) from a command the user names:
// `pass`, `secret-tool`, a password manager's command line, a token helper.
// The command runs without a shell; its first output line is the secret.
// What it prints never reaches a log or a status line.
namespace PasswordCommand {

// Splits a command line as a desktop entry's Exec key is split: arguments
// are separated by blanks; double quotes group, and inside them a backslash
// takes the next character as it is; "%%" is "%". Nothing for an unclosed
// quote or an empty line.
std::optional<QStringList> split(const QString &line);

struct Result {
    bool ok = false;
    QString secret;  // the first output line (ok only)
    QString failure; // why there is no secret, with the exit status (never the output)
};

constexpr int TimeLimitMs = 30000;

Result run(const QString &line);

} // namespace PasswordCommand

namespace PasswordCommandText {
inline const QString Failed = QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞが失敗しました(終了ｺｰﾄﾞ ");
inline const QString Crashed = QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞが異常終了しました");
inline const QString TimedOut = QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞが30秒以内に終了しませんでした");
inline const QString NoOutput = QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞが何も出力しませんでした(終了ｺｰﾄﾞ ");
inline const QString NotStarted = QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞを実行できませんでした: ");
inline const QString BadLine = QStringLiteral("ﾊﾟｽﾜｰﾄﾞｺﾏﾝﾄﾞの書き方が正しくありません");
} // namespace PasswordCommandText
