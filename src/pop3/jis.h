#pragma once

#include <QByteArray>
#include <QByteArrayView>

// ISO-2022-JP to Shift_JIS, the program's own byte arithmetic. A segment of
// JIS X 0208 text starts with ESC "$B" and ends with the first ESC "(J" after
// it, or, when there is none, the first ESC "(B"; the markers disappear and the
// segment's byte pairs become Shift_JIS pairs. A segment without an end marker
// (and everything after it) stays as it is.
//
// `ok` is false when a segment had an odd number of bytes: its whole pairs are
// still converted and the lone last byte is kept. A pair holding a byte outside
// 33..126 is not JIS text and becomes the substitute mark "〓" (0x81 0xAC).
//
// The text is converted in one pass and comes back unchanged (shared, not
// copied) when it holds nothing to convert.
QByteArray JisToShiftJis(QByteArray text, bool *ok = nullptr);

// The same conversion, for a large text of which only the start changes (a
// mail's header and body before its attachment): returns the text converted up
// to the end of its last converted segment; `*consumed` is how many bytes of
// `text` that stands for, and text from there on is unchanged by the
// conversion. Nothing to convert: empty result, `*consumed` 0.
QByteArray JisToShiftJisHead(QByteArrayView text, qsizetype *consumed, bool *ok = nullptr);
