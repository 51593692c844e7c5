#pragma once

#include "core/exitcode.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line. `kivrel --help`, `-h` and `--version` are answered before
// anything else starts, with or without a display; only these exact arguments
// are taken. The start-mode switches (/s, -s, /a, -a) count wherever they stand
// in an argument, without regard to case, and the settings switch wins. An
// argument that looks like an option ("--word", "-word", "/word") and holds no
// switch is an error; any other text (a path, a word) is left alone.
namespace CommandLineHelp {

enum class Request { Help, Version };
enum class StartMode { Normal, SettingsOnly, Automatic };

struct Parsed {
    StartMode mode = StartMode::Normal;
    QString unknownOption; // the first argument taken for an unknown option
};

Parsed parse(const QStringList &arguments);

// The error for an unknown option and the usage, as standard error gets them.
QString unknownOptionText(const QString &option);

// Command-line messages.
inline const QString NoDisplayText =
    QStringLiteral("kivrel: ディスプレイがありません (DISPLAY も WAYLAND_DISPLAY も設定されていません)。\n"
                   "ディスプレイなしで動くのは自動モードだけです: kivrel /a");
inline const QString NotConfiguredText =
    QStringLiteral("ﾒｰﾙｻｰﾊﾞｰが設定されていません。kivrel /s で設定画面を開いて設定してください。");

// The first argument that is exactly "--help", "-h" or "--version".
std::optional<Request> requestOf(int argc, char **argv);

QString helpText();
QString versionText();

// Prints the text the request asks for on standard output.
ExitCode answer(Request request);

} // namespace CommandLineHelp
