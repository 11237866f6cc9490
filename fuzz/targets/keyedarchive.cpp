// Keyed archives: a property list read as an archive's root object and as an
// archived string-keyed dictionary, every value reached walked.
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const CFType archive = CFType::createCFPropertyList(fuzz::bytes(data, size));
    if (!archive.ref())
        return 0;
    const QHash<QString, CFType> root = archive.NSKeyedArchiver();
    for (const CFType& value : root)
        fuzz::walk(value);
    const QHash<QString, CFType> dictionary = CFType::parseNSDictionaryStringCFType(archive);
    for (const CFType& value : dictionary)
        fuzz::walk(value);
    // What was read, archived again and read back.
    const CFType again = CFType::createNSDictionaryStringCFType(dictionary, true);
    fuzz::walk(again);
    (void)CFType::parseNSDictionaryStringCFType(again);
    return 0;
}
