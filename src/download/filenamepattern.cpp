#include "download/filenamepattern.h"

#include "core/activitylog.h"
#include "core/pathutil.h"
#include "core/token.h"
#include "core/wildcard.h"

namespace {
// The matching rule; `log` gets the trace lines (or nothing).
template <typename Log> bool matchPattern(const QString &fileName, const QString &patterns, Log log)
{
    log(QStringLiteral("ファイル名のパターン合致調査(") + fileName + QStringLiteral("が") + patterns +
        QStringLiteral("のいずれかに含まれているか)"));
    // The name comes from the mail: never let it become a path outside the save folder.
    if (!isSafeFileName(fileName)) {
        log(QStringLiteral("ファイル名が安全でないためダウンロード対象外"));
        return false;
    }
    Token token;
    token.Init(patterns, QStringLiteral(","));
    while (!token.IsEnd()) {
        const QString pattern = token.NextToken() + QStringLiteral("##????.LZH");
        if (WildcardMatch(fileName, pattern)) {
            log(pattern + QStringLiteral("と合致"));
            return true;
        }
    }
    log(QStringLiteral("パターンに合致しない"));
    return false;
}
} // namespace

bool MatchFileNamePattern(const QString &fileName, const QString &patterns)
{
    return matchPattern(fileName, patterns, [](const QString &line) { WriteActivityLog(line); });
}

bool FileNamePatternMatches(const QString &fileName, const QString &patterns)
{
    return matchPattern(fileName, patterns, [](const QString &) {});
}
