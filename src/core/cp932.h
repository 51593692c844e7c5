#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Windows-31J (CP932) conversion: every file the program keeps is in this code
// page. Convert at the file boundary with these two functions and nowhere else.
namespace Cp932 {
// Bytes that do not form a valid CP932 character become U+FFFD.
QString decode(QByteArrayView bytes);
// Characters without a CP932 form become "?".
QByteArray encode(const QString &text);
// The first character of text that a CP932 file cannot keep (it has no CP932
// form, or its form reads back as another character), or the empty text when
// every character survives.
QString firstUnstorable(const QString &text);
// The first byte of a double-byte character.
inline bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
// A rough display width in half-width units: a wide character counts two.
int displayWeight(QStringView text);
} // namespace Cp932
