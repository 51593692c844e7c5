#include "download/filenamepattern.h"

#include "core/activitylog.h"
#include "core/pathutil.h"
#include "core/token.h"
#include "core/wildcard.h"

bool MatchFileNamePattern(const QString &fileName, const QString &patterns)
{
    WriteActivityLog(QStringLiteral("ファイル名のパターン合致調査(") + fileName + QStringLiteral("が") + patterns +
                     QStringLiteral("のいずれかに含まれているか)"));
    // The name comes from the mail: never let it become a path outside the save folder.
    if (!isSafeFileName(fileName)) {
        WriteActivityLog(QStringLiteral("ファイル名が安全でないためダウンロード対象外"));
        return false;
    }
    Token token;
    token.Init(patterns, QStringLiteral(","));
    while (!token.IsEnd()) {
        const QString pattern = token.NextToken() + QStringLiteral("##????.LZH");
        if (WildcardMatch(fileName, pattern)) {
            WriteActivityLog(pattern + QStringLiteral("と合致"));
            return true;
        }
    }
    WriteActivityLog(QStringLiteral("パターンに合致しない"));
    return false;
}
