#pragma once

#include <QString>

// True when the attachment name is a file of one of the chosen kinds: for each
// comma-separated prefix P of `patterns` (used exactly as the splitter returns
// it), the name matches P + "##????.LZH" without regard to case. Writes its
// trace to the activity log. A name that is unsafe as a path never matches.
bool MatchFileNamePattern(const QString &fileName, const QString &patterns);

// The same rule without the trace (to decide ahead of time what a mail will need).
bool FileNamePatternMatches(const QString &fileName, const QString &patterns);
