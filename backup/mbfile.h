// The MBFile record object of a Manifest.db `file` column: a keyed archive
// whose root object carries the numbers, digest, key and link target of one
// index record. Read and written here.
#pragma once

#include "mbdbparser.h"

class CFType;

namespace MBFile {

// Fills the fields of `item` that the archive's root object carries (all but
// domain and path). Bytes that are no property list, or an archive without a
// root, leave them at their defaults. Decoded straight from the bytes where
// it can be (mbfiledecoder.h), else through property-list objects. There,
// the byte fields are copies; with `viewBytes` the direct road leaves them as
// views of `bytes`, valid as long as they are.
void readArchive(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes = false);
// The same, always through property-list objects: the reference that the
// direct decoder must match.
void readArchiveThroughObjects(const QByteArray& bytes, MBDBParser::_MBDBItem& item);

// The record's archive as binary property-list bytes; empty when it cannot
// be serialised. The link target and the inode's upper word are not kept.
QByteArray writeArchive(const MBDBParser::_MBDBItem& item);

} // namespace MBFile
