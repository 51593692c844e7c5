#include "lzhsample.h"

#include <array>

namespace {

void put16(QByteArray &out, quint16 v)
{
    out += char(v & 0xFF);
    out += char(v >> 8);
}

void put32(QByteArray &out, quint32 v)
{
    put16(out, quint16(v & 0xFFFF));
    put16(out, quint16(v >> 16));
}

quint8 checksum(QByteArrayView bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return sum;
}

// 1999-12-06 10:00:00 as an MS-DOS stamp and as Unix time.
constexpr quint32 DosTime = (quint32(1999 - 1980) << 25) | (12u << 21) | (6u << 16) | (10u << 11);
constexpr quint32 UnixTime = 944474400u;

// The fields every level shares: method, sizes, time, attribute, level.
QByteArray common(const QByteArray &data, quint32 time, char attribute, int level)
{
    QByteArray out("-lh0-");
    put32(out, quint32(data.size()));
    put32(out, quint32(data.size()));
    put32(out, time);
    out += attribute;
    out += char(level);
    return out;
}

QByteArray member(const QByteArray &name, const QByteArray &data, int level)
{
    const quint16 crc = LzhSample::crc16(data);
    QByteArray h;
    if (level == 0 || level == 1) {
        QByteArray body = common(data, DosTime, 0x20, level);
        body += char(name.size());
        body += name;
        put16(body, crc);
        if (level == 1) {
            body += 'M';   // the system that wrote it
            put16(body, 0); // no extended header
        }
        h += char(body.size());
        h += char(checksum(body));
        h += body;
    } else {
        QByteArray body = common(data, UnixTime, 0x20, 2);
        put16(body, crc);
        body += 'U';
        put16(body, 5); // the header-CRC extension follows
        const qsizetype crcAt = body.size() + 2 + 1;
        body += '\0';
        put16(body, 0);
        put16(body, quint16(3 + name.size()));
        body += '\1';
        body += name;
        put16(body, 0);
        qsizetype total = body.size() + 2;
        // A header whose size ends in a 0 byte would read as the end mark.
        if ((total & 0xFF) == 0) {
            body += '\0';
            ++total;
        }
        put16(h, quint16(total));
        h += body;
        const quint16 headerCrc = LzhSample::crc16(h);
        h[crcAt] = char(headerCrc & 0xFF);
        h[crcAt + 1] = char(headerCrc >> 8);
    }
    return h + data;
}

} // namespace

namespace LzhSample {

quint16 crc16(QByteArrayView data, quint16 crc)
{
    static const auto table = [] {
        std::array<quint16, 256> t{};
        for (int i = 0; i < 256; ++i) {
            quint16 c = quint16(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? quint16((c >> 1) ^ 0xA001) : quint16(c >> 1);
            t[i] = c;
        }
        return t;
    }();
    for (char b : data)
        crc = quint16((crc >> 8) ^ table[(crc ^ quint8(b)) & 0xFF]);
    return crc;
}

QByteArray stored(const QList<Member> &members, int headerLevel)
{
    QByteArray out;
    for (const Member &m : members)
        out += member(m.first, m.second, headerLevel);
    out += '\0';
    return out;
}

QByteArray stored(const QByteArray &name, const QByteArray &data, int headerLevel)
{
    return stored(QList<Member>{{name, data}}, headerLevel);
}

} // namespace LzhSample
