// Manifest.mbdb: the index bytes parsed into records, which then become the
// backup's file tree.
#include "fuzzsupport.h"

#include "backupfiletree.h"
#include "backupmanifest.h"
#include "mbdbfile.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    MBDBParser::Index index;
    try {
        index = g_parseMbdbBytes(reinterpret_cast<const char*>(data), size);
    } catch (const std::runtime_error&) {
        return 0;
    }
    BackupManifest backup(fuzz::scratchParent());
    BackupFileTree::build(backup, index);
    for (const MBDBParser::_MBDBItem& item : index) {
        for (const MBDBParser::_MBDBProperty& property : item.properties)
            (void)property.name.toString();
    }
    return 0;
}
