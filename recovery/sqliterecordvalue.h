// The values of a SQLite record body, decoded by serial type.
//
// Serial types (record format):
// TYPE            SIZE        VALUE
//   0             0           NULL
//   1,2,3,4       1,2,3,4     big-endian two's-complement integer
//   5, 6          6, 8        big-endian two's-complement integer
//   7             8           big-endian IEEE 754 double
//   8, 9          0           the integers 0 and 1
//   10, 11, <0    0           reserved: NULL
//   N>=12 even    (N-12)/2    blob
//   N>=13 odd     (N-13)/2    text (UTF-8, up to a zero byte)
#pragma once

#include <QVariant>

// Bytes that a value of serial type t takes in the body.
inline qint64 sqliteSerialTypeSize(long long t)
{
    static const qint8 fixed[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (t < 0)
        return 0;
    if (t < 12)
        return fixed[t];
    return (t - 12) / 2;
}

// Decodes the value of type t at `offset` of the body [body, body + length)
// and moves `offset` past it. A value running past the body's end keeps the
// bytes inside (numbers padded with zero bytes, or 0 for whole-width reads;
// texts and blobs shortened); numbers still move the offset by their size.
QVariant sqliteDecodeValue(long long t, const char* body, qint64 length, qint64& offset);
