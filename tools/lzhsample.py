"""Whole LZH archives of stored (-lh0-) members, for sample mails and fixtures.

    from lzhsample import stored, stored_sized
    stored([(b"DU991207.TXT", data)], level=1)   # header level 0, 1 or 2

Every member carries the CRC-16 of its data (the LHA CRC: polynomial 0xA001
reflected, initial value 0) and its header checksum (levels 0 and 1) or header
CRC (level 2); the archive ends with its 0 end mark, so `lha t` accepts it.
Standard library only.
"""

import array
import sys

_TABLE = []
for _i in range(256):
    _c = _i
    for _ in range(8):
        _c = (_c >> 1) ^ 0xA001 if _c & 1 else _c >> 1
    _TABLE.append(_c)


def _shift16(value):
    # The register after 16 more bits: two table steps with no data.
    value = (value >> 8) ^ _TABLE[value & 0xFF]
    return (value >> 8) ^ _TABLE[value & 0xFF]


_TABLE16 = None


def crc16(data, crc=0):
    """The LHA CRC-16 of data. Takes two bytes per step (a 64 Ki table), so tens
    of MB cost seconds, not minutes."""
    global _TABLE16
    data = memoryview(data).cast("B")
    n = len(data)
    if n >= 4096:
        if _TABLE16 is None:
            _TABLE16 = [_shift16(v) for v in range(65536)]
        t16 = _TABLE16
        words = array.array("H", data[: n - n % 2].tobytes())
        if sys.byteorder != "little":
            words.byteswap()
        for w in words:
            crc = t16[crc ^ w]
        data = data[n - n % 2:]
    t = _TABLE
    for b in data:
        crc = (crc >> 8) ^ t[(crc ^ b) & 0xFF]
    return crc


# 1999-12-06 10:00:00 as an MS-DOS stamp and as Unix time.
_DOS_TIME = (1999 - 1980) << 25 | 12 << 21 | 6 << 16 | 10 << 11
_UNIX_TIME = 944474400


def _u16(v):
    return v.to_bytes(2, "little")


def _u32(v):
    return v.to_bytes(4, "little")


def header_size(name, level=1):
    """Bytes of one member's header for a name of that many bytes."""
    n = len(name)
    return {0: 24 + n, 1: 27 + n, 2: 34 + n + (1 if (34 + n) & 0xFF == 0 else 0)}[level]


def member(name, data, level=1):
    crc = crc16(data)
    common = b"-lh0-" + _u32(len(data)) + _u32(len(data))
    if level in (0, 1):
        body = common + _u32(_DOS_TIME) + b"\x20" + bytes([level, len(name)]) + name + _u16(crc)
        if level == 1:
            body += b"M" + _u16(0)  # written on MS-DOS, no extended header
        return bytes([len(body), sum(body) & 0xFF]) + body + data
    if level != 2:
        raise ValueError("header level 0, 1 or 2")
    body = (common + _u32(_UNIX_TIME) + b"\x20\x02" + _u16(crc) + b"U" + _u16(5)
            + b"\x00" + _u16(0) + _u16(3 + len(name))   # header CRC, filled in below
            + b"\x01" + name + _u16(0))                 # file name, last extension
    total = len(body) + 2
    if total & 0xFF == 0:  # a size ending in a 0 byte would read as the end mark
        body += b"\x00"
        total += 1
    header = bytearray(_u16(total) + body)
    header[27:29] = _u16(crc16(header))
    return bytes(header) + data


def stored(members, level=1):
    """An archive of (name bytes, data bytes) members, end mark included."""
    return b"".join(member(name, data, level) for name, data in members) + b"\x00"


def stored_sized(name, size, fill, level=1):
    """A one-member archive of `size` bytes where the header allows (else as
    small as it can be); fill(n) gives the member's n data bytes."""
    return stored([(name, fill(max(size - header_size(name, level) - 1, 0)))], level)
