#pragma once

#include <QString>

// Reversible scrambling of the stored mail password. Only the 64 symbols
// 0-9 ? @ A-Z a-z are changed (each XORed, by its index in that alphabet, with
// the low six bits of a linear congruential generator seeded from the
// eight-digit key); every other character stays in clear and does not advance
// the generator. Applying the operation twice with the same key gives the text
// back, so both directions are the same. This hides the password from a
// glance, nothing more.
QString EncodeString(const QString &text, const QString &key);
QString DecodeString(const QString &text, const QString &key);

// The key the settings file uses for the password.
inline constexpr char kPasswordKey[] = "39516208";
