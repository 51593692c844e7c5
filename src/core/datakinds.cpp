#include "core/datakinds.h"

DataKind DataKinds[kDataKindCapacity];
int DataKindCount = 0;

void InitDataKinds()
{
    static const DataKind kinds[] = {
        {QStringLiteral("DU,DV,DW,DX,DY,DZ"), QStringLiteral("出馬表＋競走馬 日別全場一括")},
        {QStringLiteral("D1,D2,D3,D5,D6,D7"), QStringLiteral("出馬表 日別全場一括")},
        {QStringLiteral("AA,A1,A2,A3,A5,A6,A7"), QStringLiteral("中央初出走馬 日別全場一括")},
        {QStringLiteral("SH,SI,SJ,SO,SP,SQ"), QStringLiteral("成績＋票数 日別全場一括")},
        {QStringLiteral("SS,S1,S2,S3"), QStringLiteral("成績 日別全場一括")},
        {QStringLiteral("KK"), QStringLiteral("騎手・現役")},
        {QStringLiteral("CC"), QStringLiteral("調教師・現役")},
        {QStringLiteral("TT"), QStringLiteral("特別登録馬 レース")},
        {QStringLiteral("T1,U9"), QStringLiteral("特別登録馬 競走馬")},
        {QStringLiteral("BB,U0"), QStringLiteral("新規馬名登録馬")},
    };
    DataKindCount = 0;
    for (const DataKind &kind : kinds)
        DataKinds[DataKindCount++] = kind;
    for (int i = DataKindCount; i < kDataKindCapacity; ++i)
        DataKinds[i] = DataKind();
}

QString GetDiscription(const QString &Body)
{
    const qsizetype year = Body.indexOf(u'年');
    if (year < 0)
        return QString();
    qsizetype start = year;
    while (start > 0 && Body[start - 1] >= u'0' && Body[start - 1] <= u'9')
        --start;
    // The line ends at CR; a bare LF ends it too, so a mail with Unix line
    // ends does not pull its whole remaining text into the description.
    qsizetype end = year;
    while (end < Body.size() && Body[end] != u'\r' && Body[end] != u'\n')
        ++end;
    QStringView result = QStringView(Body).sliced(start, end - start);
    while (!result.isEmpty() && result.front() == u' ')
        result = result.sliced(1);
    while (!result.isEmpty() && result.back() == u' ')
        result.chop(1);
    return result.toString();
}
