// The one bounds test of every parser of untrusted bytes: does the range
// [offset, offset + size) lie inside [0, limit)? It never computes
// offset + size, which could wrap around.
#pragma once

#include <QtGlobal>

inline bool g_fitsIn(quint64 offset, quint64 size, quint64 limit)
{
    return offset <= limit && size <= limit - offset;
}
