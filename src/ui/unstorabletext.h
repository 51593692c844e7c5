#pragma once

#include <QString>

// Kivrel.ini is kept in CP932: a value holding a character the code page
// lacks would come back changed, so it is refused where it is entered.
namespace UnstorableText {
// "「ﾒｰﾙﾊﾟｽﾜｰﾄﾞ」に保存できない文字「ü」が含まれています。"
inline QString message(const QString &field, const QString &character)
{
    return QStringLiteral("「") + field + QStringLiteral("」に保存できない文字「") + character +
           QStringLiteral("」が含まれています。");
}
} // namespace UnstorableText
