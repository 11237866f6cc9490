// The Manifest.db `file` column: the MBFile record archive, as stored (first
// piece) and enciphered as a password-protected backup stores it (second
// piece, Base64 text), each decoded into an index record and written back.
#include "fuzzsupport.h"

#include "mbdbparser.h"
#include "mbfile.h"

#include <stdexcept>

namespace {

void decode(const QByteArray& archive)
{
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
