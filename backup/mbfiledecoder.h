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
// are views of `bytes`, valid as long as they are. Takes the single pass
// where it can, else the checked road.
bool g_decodeMbFileDirect(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes = false);

// The two roads of g_decodeMbFileDirect, apart so that each can be held
// against the other.
// The checked road: the general tree check of the whole list, then the
// decoder; the same answers as g_decodeMbFileDirect.
bool g_decodeMbFileChecked(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes = false);
// The single pass over the archive's usual shape, checking as it decodes:
// true with `item` set exactly as the checked road sets it, or false without
// touching `item` for anything it cannot vouch for.
bool g_decodeMbFileSinglePass(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes = false);
