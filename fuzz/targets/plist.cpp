// Property lists, XML and binary, read through CFType: every value is read
// through its reader, then the list is written in both formats and read back.
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const CFType value = CFType::createCFPropertyList(fuzz::bytes(data, size));
    fuzz::walk(value);
    if (!value.ref())
        return 0;
    for (long format : {100L, 200L})
        fuzz::walk(CFType::createCFPropertyList(value.CFPropertyListToBytes(format)));
    fuzz::walk(CFType::clone(value));
    return 0;
}
