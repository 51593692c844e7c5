#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Whole LZH archives of stored (-lh0-) members, for fixtures: header level
// 0, 1 or 2 with their checksums, the CRC-16 of each member, and the end mark.
namespace LzhSample {
using Member = QPair<QByteArray, QByteArray>; // name (CP932 bytes), data
QByteArray stored(const QList<Member> &members, int headerLevel = 1);
// One member named `name` holding `data`.
QByteArray stored(const QByteArray &name, const QByteArray &data, int headerLevel = 1);
// The CRC-16 an LZH header gives for `data`.
quint16 crc16(QByteArrayView data, quint16 crc = 0);
} // namespace LzhSample
