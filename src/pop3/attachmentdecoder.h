#pragma once

#include "core/filecopy.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// Texts of the attachment transfer. The message is
// ErrorPrefix + description + "(" + path + ")".
namespace TransferText {
inline const QString ErrorPrefix = QStringLiteral("ﾌｧｲﾙ書き出しエラー： ");
inline const QString LineTooLong = QStringLiteral("1行のﾃﾞｰﾀが長すぎます");
inline const QString IncompleteGroup = QStringLiteral("base64の4文字の組が途中で終わっています");
inline const QString InvalidCharacter = QStringLiteral("base64に使えない文字があります");
inline const QString MisplacedPadding = QStringLiteral("base64の終わり(=)の位置が正しくありません");
inline const QString DataAfterPadding = QStringLiteral("base64の終わり(=)の後にﾃﾞｰﾀがあります");
inline const QString PathNotFound = QStringLiteral("パスが見つかりません");
inline const QString AccessDenied = QStringLiteral("書き込みが許可されていません");
inline const QString DiskFull = QStringLiteral("ディスクの空き容量が不足しています");
inline const QString ReadOnlyDisk = QStringLiteral("書き込み禁止のディスクです");
inline const QString IoError = QStringLiteral("デバイスの入出力エラーです");
inline const QString NameTooLong = QStringLiteral("ファイル名が長すぎます");
inline const QString IsFolder = QStringLiteral("同じ名前のフォルダがあります");
} // namespace TransferText

// The base64 attachment decoder: line by line, group by group; anything but
// clean base64 fails the transfer (see TransferToFile).
class AttachmentDecoder
{
public:
    // Checks a decoded file before it replaces anything: empty when it is whole, else why not.
    using FileCheck = std::function<QString(const QString &temporaryPath)>;

    // A transfer writes into a file named this plus six random characters.
    static inline const QString TemporaryPrefix = ReplacingFile::TemporaryPrefix;

    // DecodeBase64Quad results besides 0 (full group), 1 and 2 (bytes before padding).
    static constexpr qint16 QuadInvalid = -1;    // a character outside the alphabet
    static constexpr qint16 QuadIncomplete = -2; // the group ended before its padding or fourth character

    // Decodes one group of (normally) four characters into out[0..2].
    static qint16 DecodeBase64Quad(QByteArrayView group, uchar out[3]);

    // True when a transfer of an attachment so encoded writes a file (base64 only).
    static bool writesFile(QByteArrayView transferEncoding);

    // Decodes `attachment` into the file at `path` when `transferEncoding` is
    // exactly "base64"; any other value writes nothing and succeeds.
    //
    // The attachment ends at the first line that starts "--" + boundary (its
    // part's end, closing or not): later parts never reach the file. Lines end
    // in CR LF or LF; trailing blanks (space, tab) and blank lines are ignored.
    // Every other line is whole groups of four characters of the alphabet; the
    // data may end in one padded group ("xx==" or "xxx=") at the end of a line,
    // after which only blank lines may follow. The transfer fails on a
    // character outside the alphabet (a blank or CR inside a line included),
    // padding anywhere else, data after the padding, a line that ends inside a
    // group, and a line that decodes to more than 81 bytes.
    //
    // The bytes go to a temporary file in the target folder. Once the whole
    // attachment has decoded and is on disk, `check` (when given) looks at that
    // file; only when it finds nothing wrong does the file replace the one at
    // `path` (a link there is replaced, not written through). After a failure
    // the temporary file is gone and an earlier file of that name is as it was.
    // `errorMessage` is emptied on success and set to TransferText::ErrorPrefix
    // + description (or the check's reason) + "(" + path + ")" on failure.
    static bool TransferToFile(QByteArrayView attachment, QByteArrayView boundary, QByteArrayView transferEncoding,
                               const QString &path, QString *errorMessage, const FileCheck &check = {});

    // How far a growing buffer has been searched, and what it held just before
    // that point (to notice a buffer that was emptied and filled anew).
    struct SearchState {
        qsizetype searched = 0;
        QByteArray before;
    };
    // True when `buffer` holds "--" + boundary + "--" anywhere. With `state`, a
    // call on the same buffer grown further looks only at the new part.
    static bool BoundComplete(QByteArrayView buffer, QByteArrayView boundary, SearchState *state = nullptr);
};
