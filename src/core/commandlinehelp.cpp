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
        "  スイッチはコマンドライン全体のどこにあっても大文字小文字を区別せずに認められます。\n"
        "  /s と /a の両方があれば /s が優先します。\n"
        "  --help, -h   この説明を表示して終了します。\n"
        "  --version    バージョンを表示して終了します。\n"
        "\n"
        "プログラムフォルダ (Kivrel.ini, Kivrel.dat, KVLOG.TXT, KVLOG/):\n"
        "  1. 環境変数 KIVREL_HOME が設定されていればそのフォルダ\n"
        "  2. 実行ファイルのフォルダに Kivrel.ini があればそのフォルダ (ポータブル)\n"
        "  3. それ以外は $XDG_DATA_HOME/Kivrel (既定 ~/.local/share/Kivrel)、初回に作成\n"
        "\n"
        "終了コード:\n"
        "  0  正常に終了した (自動モードでは受信が正常に終わった)\n"
        "  1  受信できなかった (接続・認証・ファイル書き込み・ダイヤルアップの失敗、\n"
        "     キーリングのパスワードを読めなかった、予期しないエラー、など)\n"
        "  2  ディスプレイがないのに自動モード以外で起動された\n"
        "  3  同じプログラムフォルダで別の Kivrel が受信中だった\n"
        "  4  KIVREL_TEST_AUTOCLOSE_MS (テスト用) で閉じるはずのウィンドウが閉じなかった\n"
        "\n"
        "環境変数:\n"
        "  KIVREL_HOME          プログラムフォルダ\n"
        "  XDG_DATA_HOME        既定のプログラムフォルダの親 (既定 ~/.local/share)\n"
        "  XDG_CONFIG_HOME      外部ダイヤラー設定の親フォルダ (既定 ~/.config)\n"
        "  KIVREL_DIALER_STORE  外部ダイヤラーの設定ファイル (既定 ~/.config/Kivrel/dialer.ini)\n"
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
