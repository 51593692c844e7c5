#pragma once

#include <QString>

#include <functional>

// Texts of the archive check. A damaged archive reads
// Damaged + (MemberNamed or MemberNumbered) + a member reason, or
// Damaged + a whole-archive reason; NotArchive stands alone.
namespace LzhText {
inline const QString Damaged = QStringLiteral("LZH書庫が壊れています。");
inline const QString MemberNamed = QStringLiteral("ﾒﾝﾊﾞｰ「%1」: ");
inline const QString MemberNumbered = QStringLiteral("%1番目のﾒﾝﾊﾞｰ: ");
inline const QString BrokenHeader = QStringLiteral("ﾍｯﾀﾞｰが壊れています");
inline const QString Truncated = QStringLiteral("書庫が途中で切れています");
inline const QString CrcMismatch = QStringLiteral("展開したﾃﾞｰﾀのCRCが一致しません");
inline const QString UnsupportedMethod = QStringLiteral("対応していない圧縮方式です(%1)");
inline const QString TooLarge = QStringLiteral("展開後のｻｲｽﾞが大きすぎます");
inline const QString NoEndMark = QStringLiteral("書庫の終端ﾏｰｸがありません");
inline const QString TrailingData = QStringLiteral("書庫の後ろに余分なﾃﾞｰﾀがあります");
inline const QString NoMember = QStringLiteral("ﾒﾝﾊﾞｰがありません");
inline const QString Unreadable = QStringLiteral("ﾌｧｲﾙを読めません");
inline const QString NotArchive = QStringLiteral("LZH書庫ではありません");
} // namespace LzhText

// Verification of a received LZH archive with liblhasa: every member's header
// checksum, its data extracted (into nothing) and compared with the CRC-16 and
// length its header gives, and the archive ending exactly at its end mark.
namespace LzhArchive {
// Extraction stops being worth it past this many bytes over all members.
inline constexpr qint64 MaxExtractedBytes = qint64(256) * 1024 * 1024;

// True for a name ending in ".lzh", without regard to case.
bool appliesTo(const QString &fileName);

// Empty when the file at `path` is a whole archive; else the reason (LzhText),
// for the activity log and the status line.
QString check(const QString &path);

// The check a file received under `fileName` has to pass before it counts as
// stored, or an empty function when none applies (the setting is off or the
// name is not an archive's).
using FileCheck = std::function<QString(const QString &path)>;
FileCheck checkFor(const QString &fileName, bool enabled);
} // namespace LzhArchive
