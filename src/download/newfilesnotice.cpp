#include "download/newfilesnotice.h"

#include "download/scantexts.h"

NewFilesNotice NewFilesNotice::of(const QStringList &fileNames)
{
    NewFilesNotice notice;
    notice.summary = ScanText::NewData + QString::number(fileNames.size()) + ScanText::Items;
    QStringList lines;
    for (qsizetype i = 0; i < fileNames.size() && i < kMaxNames; ++i)
        lines.append(fileNames[i].toHtmlEscaped()); // the body may be read as markup
    if (fileNames.size() > kMaxNames)
        lines.append(QStringLiteral("ほか") + QString::number(fileNames.size() - kMaxNames) + ScanText::Items);
    notice.body = lines.join(u'\n');
    return notice;
}
