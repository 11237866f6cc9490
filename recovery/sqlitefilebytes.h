// Byte readers of the SQLite file reader: fixed-width big-endian integers,
// varints and byte runs read from a mapped image. Each takes the first address
// the caller forbids (`end`); a read that does not fit before it yields 0, no
// bytes or a null QByteArray, and nothing ever throws.
//
// Varint (SQLite file format), big-endian:
// OFFSET SIZE MEANING
//   0    1..8 seven value bits per byte, top bit set = another byte follows
//   8    1    a ninth byte, if reached, gives all eight of its bits
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstring>

#include "byterange.h"

inline char sqlitefile_byte(const char* p, const char* end)
{
    return g_fitsIn(p, 1, end) ? *p : 0;
}

inline short sqlitefile_int16(const char* p, const char* end)
{
    if (!g_fitsIn(p, 2, end))
        return 0;
    const auto* u = reinterpret_cast<const uchar*>(p);
    return short(quint16((u[0] << 8) | u[1]));
}

inline int sqlitefile_int32(const char* p, const char* end)
{
    if (!g_fitsIn(p, 4, end))
        return 0;
    const auto* u = reinterpret_cast<const uchar*>(p);
    return int((quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]));
}

inline long long sqlitefile_int64(const char* p, const char* end)
{
    if (!g_fitsIn(p, 8, end))
        return 0;
    const auto* u = reinterpret_cast<const uchar*>(p);
    quint64 v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | u[i];
    return static_cast<long long>(v);
}

// Reads a varint at p into *out; returns the bytes consumed (1..9), or 0 when
// it does not end before `end` (then *out is left as it was).
inline int sqlitefile_varint(long long* out, const char* p, const char* end)
{
    if (!g_fitsIn(p, 1, end))
        return 0;
    const auto* u = reinterpret_cast<const uchar*>(p);
    const qint64 avail = end - p;
    quint64 v = 0;
    for (int k = 0; k < 8; ++k) {
        v = (v << 7) | (u[k] & 0x7f);
        if (!(u[k] & 0x80)) {
            *out = static_cast<long long>(v);
            return k + 1;
        }
        if (k + 1 >= avail)
            return 0;
    }
    v = (v << 8) | u[8];
    *out = static_cast<long long>(v);
    return 9;
}

// Length of the shortest varint that encodes v (taken as unsigned).
int sqlitefile_varint_lengh(const long long& v);

// Copies up to n bytes from p (fewer at `end`) into dst; returns the count.
inline int sqlitefile_bytes(void* dst, int n, const char* p, const char* end)
{
    if (n <= 0 || !end || !p || p >= end)
        return 0;
    const int count = int(qMin<qint64>(n, end - p));
    std::memcpy(dst, p, size_t(count));
    return count;
}

QByteArray sqlitefile_bytearr(int n, const char* p, const char* end);
