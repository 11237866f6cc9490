// Text stored as bytes that may end in a NUL and garbage after it (fixed-size
// fields, C strings in files, MMS text parts): everything before the first NUL.
#pragma once

#include <QByteArray>

// `bytes` up to, not including, the first NUL byte; all of it when there is none.
inline QByteArray upToFirstNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}
