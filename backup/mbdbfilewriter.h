// Writing the Manifest.mbdb index (the layout is described in mbdbfile.cpp):
// the header, then the records sorted by domain and path. Every field's
// width is checked against the format's limits before the first byte is
// written, so a record the format cannot hold fails without output.
#pragma once

#include "mbdbparser.h"

#include <QFileDevice>

void g_writeBinary(QFileDevice& file, const MBDBParser::_MBDBBinary& value);
void g_writeInt16(QFileDevice& file, const unsigned short& value);
void g_writeInt32(QFileDevice& file, const unsigned int& value);
void g_writeByte(QFileDevice& file, char value);

// Throws std::runtime_error naming the record when a string of `item` holds
// more bytes than its 16-bit length can tell, its stored length disagrees
// with its bytes, or it has more properties than the signed count byte holds.
void g_checkMbdbLimits(const MBDBParser::_MBDBItem& item);
// Writes every record that is not removed to `path`, sorted; checks all
// records first. Throws std::runtime_error with the file's error text.
void g_writeMbdbIndex(const QString& path, const QList<MBDBParser::_MBDBItem>& items);
