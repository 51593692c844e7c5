#pragma once

#include <QString>

// Matches text against a wildcard pattern without regard to letter case:
// "*" any run of characters (also none), "?" one character, "#" one ASCII
// digit; every other character stands for itself. Time is proportional to
// text length × pattern length at worst, whatever the pattern.
bool WildcardMatch(const QString &text, const QString &pattern);
