// Reading the Manifest.mbdb index: a header and a run of length-prefixed,
// big-endian records (the layout is described in mbdbfile.cpp).
#pragma once

#include "mbdbparser.h"

// A bounded read position over the bytes of one index file. Every read checks
// the bytes that remain first and throws std::runtime_error naming the offset.
struct MbdbCursor
{
    const char* data = nullptr;
    quint64 size = 0;
    quint64 pos = 0;

    bool atEnd() const { return pos >= size; }
};

MBDBParser::_MBDBBinary g_readBinary(MbdbCursor& cursor);
quint16 g_readInt16(MbdbCursor& cursor);
quint32 g_readInt32(MbdbCursor& cursor);
qint8 g_readByte(MbdbCursor& cursor);

// Every record of the bytes of a Manifest.mbdb (header included) with a
// domain, keyed by stored name; a later record replaces an earlier one.
MBDBParser::Index g_parseMbdbBytes(const char* data, quint64 size);
// The same for the file at the path; open failures give the file's error text.
MBDBParser::Index g_readMbdbIndex(const QString& path);
