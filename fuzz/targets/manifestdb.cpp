// The Manifest.db `file` column: the MBFile record archive, as stored (first
// piece) and enciphered as a password-protected backup stores it (second
// piece, Base64 text), each decoded into an index record and written back.
// Whatever the single pass decodes must be what the checked road decodes:
// a difference aborts, so that the run reports it as a finding.
#include "fuzzsupport.h"

#include "mbdbparser.h"
#include "mbfile.h"
#include "mbfiledecoder.h"

#include <cstdlib>
#include <stdexcept>

namespace {

bool operator==(const MBDBParser::_MBDBBinary& a, const MBDBParser::_MBDBBinary& b)
{
    return a.length == b.length && a.data == b.data;
}

bool sameRecord(const MBDBParser::_MBDBItem& a, const MBDBParser::_MBDBItem& b)
{
    return a.linkTarget == b.linkTarget && a.digest == b.digest && a.encryptionKey == b.encryptionKey
        && a.mode == b.mode && a.inodeHigh == b.inodeHigh && a.inode == b.inode && a.userId == b.userId
        && a.groupId == b.groupId && a.lastModified == b.lastModified && a.lastStatusChange == b.lastStatusChange
        && a.birth == b.birth && a.size == b.size && a.protectionClass == b.protectionClass;
}

void compareRoads(const QByteArray& archive)
{
    MBDBParser::_MBDBItem single, checked;
    if (!g_decodeMbFileSinglePass(archive, single))
        return;
    if (!g_decodeMbFileChecked(archive, checked) || !sameRecord(single, checked))
        std::abort();
}

void decode(const QByteArray& archive)
{
    compareRoads(archive);
    MBDBParser::_MBDBItem item;
    MBFile::readArchive(archive, item);
    (void)item.backupFileName();
    MBDBParser::_MBDBItem again;
    MBFile::readArchive(MBFile::writeArchive(item), again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const QList<QByteArray> parts = fuzz::pieces(fuzz::bytes(data, size), 2);
    decode(parts.at(0));
    static const QByteArray key = MBDBParser::fileDescKey("password", "salt");
    try {
        decode(MBDBParser::decryptFileDescThrow(QByteArray::fromBase64(parts.at(1)), key));
    } catch (const std::runtime_error&) {
    }
    return 0;
}
