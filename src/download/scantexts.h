#pragma once

#include <QString>

// The words of a download run, in one place so tests compare against them.
namespace ScanText {
// activity log
inline const QString ConnectStart = QStringLiteral("ｻｰﾊﾞｰに接続開始(");
inline const QString CheckEnd = QStringLiteral("メールチェック終了");
inline const QString Connected = QStringLiteral("接続完了");
inline const QString AuthStart = QStringLiteral("ユーザ認証開始");
inline const QString AuthDone = QStringLiteral("ユーザ認証完了");
// why the connection or the login failed, with the server's own text: "接続失敗(reason)"
inline const QString ConnectFailedLog = QStringLiteral("接続失敗(");
inline const QString AuthFailedLog = QStringLiteral("ユーザ認証失敗(");
inline const QString LineDroppedWhy = QStringLiteral("切断の理由(");
inline const QString CompareRead = QStringLiteral("すでに読んだメールと照合");
inline const QString MailNumber = QStringLiteral("メール番号 ");
inline const QString SkipRead = QStringLiteral("は既読のためスキップ(");
inline const QString Check = QStringLiteral("をチェック");
inline const QString DataMail = QStringLiteral("タイトル検査結果： TURFNETからのデータメール");
inline const QString NoticeMail = QStringLiteral("タイトル検査結果： TURFNETの案内情報メール");
inline const QString OtherMail = QStringLiteral("タイトル検査結果： TURFNET以外のメール");
inline const QString Wanted = QStringLiteral("ファイル名検査結果： ダウンロード対象のデータファイル");
inline const QString NotWanted = QStringLiteral("ファイル名検査結果： ダウンロード対象外のTURFNETデータ");
inline const QString BoundaryDone = QStringLiteral("終端文字を受信せずにデータバウンドを受信完了");
inline const QString Timeout = QStringLiteral("ﾀｲﾑｱｳﾄが発生");
inline const QString BodyFailed = QStringLiteral("本文受信失敗");
inline const QString BodyDone = QStringLiteral("本文受信完了");
inline const QString ParseFailed = QStringLiteral("受信データが解析できない");
inline const QString ParseDone = QStringLiteral("受信データ解析完了");
inline const QString DecodeStart = QStringLiteral("データデコード開始");
inline const QString DecodeFailed = QStringLiteral("データデコード失敗(");
inline const QString DecodeDone = QStringLiteral("データデコード完了");
// a reply that never came whole: the connection can no longer tell whose reply arrives
inline const QString LineDropped = QStringLiteral("ｻｰﾊﾞｰの応答が途切れたため、接続を切断しました");
// the server's lines about a message cannot be believed: it is left alone this run
inline const QString BadUid = QStringLiteral("はIDが正しくないためスキップ");
inline const QString BadSize = QStringLiteral("はサイズが正しくないためスキップ");
inline const QString UidlShort = QStringLiteral("UIDLにないメールはスキップ(");
inline const QString BadReply = QStringLiteral("ﾒｰﾙｻｰﾊﾞｰの応答が正しくないため、ﾁｪｯｸを中止しました(");
// a copy to a further save folder failed: the mail stays on the server
inline const QString CopyFailed = QStringLiteral("データコピー失敗(");
// all save folders are empty
inline const QString NoSaveFolder = QStringLiteral("保存先ﾌｫﾙﾀﾞが設定されていないため、ﾀﾞｳﾝﾛｰﾄﾞを中止しました");
// a pipelined pass lost the line: the run goes on one command at a time
inline const QString PipeliningOff = QStringLiteral("応答が途切れたため、1コマンドずつ再接続します");
// the list or the files could not be brought to the disk: nothing is deleted
inline const QString NotStored = QStringLiteral("受信済みデータを保存できないため、メールを削除しません");
// a view that may have ended early or was followed by stray bytes: the mail waits for the next run
inline const QString ViewIncomplete = QStringLiteral("の応答が途中で終わった可能性があるため、今回はスキップ");
// a data mail whose TOP lines show no attachment name
inline const QString NameFromWhole = QStringLiteral("添付ﾌｧｲﾙ名がTOPの範囲にないため、メール全体を受信");
// file names that would be written under a name other than the mail's
inline const QString NameUnreadable = QStringLiteral("ファイル名にShift_JISで読めない文字があるためダウンロード対象外(");
inline const QString NameCollides = QStringLiteral("ファイル名が別のメールの添付ファイルと重なるためダウンロード対象外(");
// an old data mail whose file this run could not store stays on the server
inline const QString KeptUnstored = QStringLiteral("はデータが保存されていないため削除しません(");
inline const QString NoticeDescription = QStringLiteral("サービス権がもうすぐ期限切れになります");
inline const QString NoticePhrase = QStringLiteral("*再度、ご購入のほど*");
// status line
inline const QString Checking = QStringLiteral("ﾒｰﾙのﾁｪｯｸをしています。");
inline const QString Arrived = QStringLiteral("件の到着ﾒｰﾙがあります");
inline const QString Unread = QStringLiteral("(未読 ");
inline const QString NewData = QStringLiteral("新着ﾃﾞｰﾀ ");
inline const QString Items = QStringLiteral("件");
inline const QString OtherMails = QStringLiteral(" / その他のﾒｰﾙ");
inline const QString UseMailer = QStringLiteral("件 <通常のﾒｰﾙｿﾌﾄで受信してください>");
inline const QString NoNewData = QStringLiteral("新着ﾃﾞｰﾀはありません");
inline const QString Unstored = QStringLiteral(" / 保存できなかったﾃﾞｰﾀ ");
inline const QString SeeLog = QStringLiteral("件 <KVLOG.TXTを参照してください>");
inline const QString Unjudged = QStringLiteral(" / 確認できなかったﾒｰﾙ ");
inline const QString NextRun = QStringLiteral("件 <次回のﾁｪｯｸで再度確認します>");
// the read list could not be written at the end of a run
inline const QString ListNotSaved =
    QStringLiteral("既読ﾘｽﾄ(Kivrel.dat)を保存できませんでした。ﾌｫﾙﾀﾞの空き容量と書き込み権限を確認してください");
inline const QString Downloading = QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ中... ");
// a second run on the same program folder (another process holds the lock)
// Followed by the keyring's reason (SecretStore::reasonText).
inline const QString KeyringFailed = QStringLiteral("ﾊﾟｽﾜｰﾄﾞを読めないため、実行しませんでした: ");
inline const QString PasswordCommandFailed = QStringLiteral("ﾊﾟｽﾜｰﾄﾞを得られないため、実行しませんでした: ");
inline const QString OtherRunBusy = QStringLiteral("別のKivrelがﾀﾞｳﾝﾛｰﾄﾞ中のため、実行しませんでした");
// the lock file of the program folder cannot be made (the folder is not writable, say)
inline QString lockFailed(const QString &path)
{
    return QStringLiteral("ﾛｯｸﾌｧｲﾙ'") + path + QStringLiteral("'が作成できないため、実行しませんでした");
}
// the backup-log folder could not be created
inline QString backupFolderFailed(const QString &folder)
{
    return QStringLiteral("受信ログを格納するフォルダ'") + folder + QStringLiteral("'が作成できませんでした。") +
           QStringLiteral("\n受信ログは保存されません。");
}
} // namespace ScanText
