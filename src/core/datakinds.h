#pragma once

#include <QString>

// The fixed catalogue of data-file kinds: the products a user can choose in
// the settings dialog, each with the two-letter codes its file names start with.
struct DataKind {
    QString prefixList;  // codes separated by "," without blanks, e.g. "KK"
    QString description; // the product's name as the user sees it
};

inline constexpr int kDataKindCapacity = 33;
extern DataKind DataKinds[kDataKindCapacity];
extern int DataKindCount;

// Fills the first ten rows and sets DataKindCount to 10.
void InitDataKinds();

// The description of the file a data mail carries, from the mail's text: the
// first line that holds "年" (year), starting at the digits just before it,
// e.g. "2099年08月22日 競走馬＋出馬表 日別全場一括 前売分"; the empty text when
// there is no "年".
QString GetDiscription(const QString &Body);
