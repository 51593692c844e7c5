#include "core/commandlinehelp.h"

#include "kivrel_version.h"

#include <cstdio>
#include <cstring>

namespace CommandLineHelp {

std::optional<Request> requestOf(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return Request::Help;
        if (std::strcmp(argv[i], "--version") == 0)
            return Request::Version;
    }
    return std::nullopt;
}

namespace {

bool holdsSwitch(const QString &argument, QChar letter)
{
    return argument.contains(QStringLiteral("/") + letter, Qt::CaseInsensitive) ||
           argument.contains(QStringLiteral("-") + letter, Qt::CaseInsensitive);
}

bool looksLikeOption(const QString &argument)
{
    if (argument.startsWith(QLatin1Char('-')))
        return argument.size() > 1;
    // "/x" is an option, "/home/me" a path.
    return argument.size() > 1 && argument.startsWith(QLatin1Char('/')) && argument.indexOf(QLatin1Char('/'), 1) < 0 &&
           !argument.contains(QLatin1Char('.'));
}

} // namespace

Parsed parse(const QStringList &arguments)
{
    Parsed parsed;
    bool settings = false;
    bool automatic = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
            argument == QLatin1String("--version") || argument == QLatin1String("--"))
            continue;
        const bool s = holdsSwitch(argument, QLatin1Char('s'));
        const bool a = holdsSwitch(argument, QLatin1Char('a'));
        // No classic switch ever had two dashes.
        if ((!s && !a) || argument.startsWith(QLatin1String("--"))) {
            if (looksLikeOption(argument) && parsed.unknownOption.isNull())
                parsed.unknownOption = argument;
            continue;
        }
        settings = settings || s;
        automatic = automatic || a;
    }
    parsed.mode = settings ? StartMode::SettingsOnly : automatic ? StartMode::Automatic : StartMode::Normal;
    return parsed;
}

QString unknownOptionText(const QString &option)
{
    return QStringLiteral("kivrel: 不明なオプションです: ") + option + QStringLiteral("\n\n") + helpText();
}

QString helpText()
{
    // The man page kivrel(1) carries the same text, with files and examples.
    return QStringLiteral(
        "使い方: kivrel [/s | /a]\n"
        "        kivrel --help | -h | --version\n"
        "\n"
        "TURFNETのデータメールをPOP3メールボックスから受信し、添付ファイルを保存フォルダに展開します。\n"
        "\n"
        "起動モード:\n"
        "  (指定なし)   メインウィンドウを開きます。\n"
        "  /s, -s       設定画面だけを開きます。\n"
        "  /a, -a       自動モード: 受信を一度実行して終了します。ディスプレイがなくても動き、\n"
        "               そのときは状態表示を標準出力に書き出し、確認にはすべて既定の答えを返します。\n"
        "  スイッチは引数のどこにあっても大文字小文字を区別せずに認められます。\n"
        "  /s と /a の両方があれば /s が優先します。\n"
        "  --help, -h   この説明を表示して終了します。\n"
        "  --version    バージョンを表示して終了します。\n"
        "  それ以外の -、--、/ で始まるオプションはエラーです (終了コード 64)。\n"
        "\n"
        "フォルダ (KIVREL_HOME がなく、ポータブルでもないとき):\n"
        "  設定 (Kivrel.ini, dialer.ini)   $XDG_CONFIG_HOME/kivrel (既定 ~/.config/kivrel)\n"
        "  受信済みリスト (Kivrel.dat)、受信ログ (KVLOG/)、外部ダイヤラー\n"
        "                                  $XDG_DATA_HOME/kivrel (既定 ~/.local/share/kivrel)\n"
        "  動作ログ (KVLOG.TXT)            $XDG_STATE_HOME/kivrel (既定 ~/.local/state/kivrel)\n"
        "  ロック (Kivrel.lock)            $XDG_RUNTIME_DIR/kivrel (なければ動作ログのフォルダ)\n"
        "  データファイルの保存先          設定画面で指定 (既定 ~/TURFNET)\n"
        "  以前の版が ~/.local/share/Kivrel に置いたファイルは最初の起動で移されます。\n"
        "すべてを一つのフォルダに置くとき (プログラムフォルダ):\n"
        "  1. 環境変数 KIVREL_HOME が設定されていればそのフォルダ\n"
        "  2. 実行ファイルのフォルダに Kivrel.ini があればそのフォルダ (ポータブル)\n"
        "  保存先の既定もこのフォルダです。\n"
        "\n"
        "終了コード:\n"
        "  0  正常に終了した (自動モードでは受信が正常に終わった)\n"
        "  1  受信できなかった (接続・認証・ファイル書き込み・ダイヤルアップの失敗、\n"
        "     キーリングのパスワードを読めなかった、予期しないエラー、など)\n"
        "  2  ディスプレイがないのに自動モード以外で起動された\n"
        "  3  同じフォルダで別の Kivrel が受信中だった\n"
        "  4  KIVREL_TEST_AUTOCLOSE_MS (テスト用) で閉じるはずのウィンドウが閉じなかった\n"
        "  64 不明なオプションがあった\n"
        "  78 自動モードでメールサーバーが設定されていなかった (kivrel /s で設定します)\n"
        "\n"
        "環境変数:\n"
        "  KIVREL_HOME          プログラムフォルダ (すべてをこのフォルダに置きます)\n"
        "  XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME, XDG_RUNTIME_DIR\n"
        "                       上のフォルダの親\n"
        "  KIVREL_DIALER_STORE  外部ダイヤラーの設定ファイル (既定 ~/.config/kivrel/dialer.ini)\n"
        "  KIVREL_CA_FILE       追加で信頼するCA証明書のファイル (PEM)\n"
        "  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM\n"
        "                       画面の有無 (どれもなければ自動モードだけが動きます)\n");
}

QString versionText()
{
    return QStringLiteral("kivrel " KIVREL_VERSION "\n");
}

ExitCode answer(Request request)
{
    const QByteArray text = (request == Request::Help ? helpText() : versionText()).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fflush(stdout);
    return ExitCode::Normal;
}

} // namespace CommandLineHelp
