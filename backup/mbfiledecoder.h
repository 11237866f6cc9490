// Decoding the MBFile archive of a Manifest.db record straight from its
// binary property-list bytes, without building property-list objects: the
// fast road for the million records of a large backup. It gives exactly what
// MBFile::readArchive's object road gives, and hands any shape it does not
// handle back to that road.
#pragma once

#include "mbdbparser.h"

// Fills the fields of `item` from the archive as MBFile::readArchive does and
// returns true, or returns false without touching `item` when the bytes are
// of a shape only the object road reads (XML, keys or a link target stored as
// UTF-16, real numbers, a set of objects). With `viewBytes` the byte fields
// are views of `bytes`, valid as long as they are.
bool g_decodeMbFileDirect(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes = false);
