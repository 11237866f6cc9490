// Data blocks and keyed-archiver UIDs.
#include "cfobject.h"
#include "cfstandin.h"
#include "byterange.h"

#include <cstring>
#include <limits>

using namespace qscf;

extern "C" {

CFTypeID CFDataGetTypeID(void)
{
    return CFTypeID(Kind::Data);
}

CFDataRef CFDataCreate(CFAllocatorRef, const uint8_t* bytes, CFIndex length)
{
    if (length < 0 || (!bytes && length > 0) || length > CFIndex(std::numeric_limits<int>::max()))
        return nullptr;
    QByteArray copy(reinterpret_cast<const char*>(bytes), qsizetype(length));
    return handle<CFDataRef>(new Data(std::move(copy)));
}

CFIndex CFDataGetLength(CFDataRef data)
{
    auto d = as<Data>(data, Kind::Data);
    return d ? CFIndex(d->bytes.size()) : 0;
}

// A range that is not inside the data copies nothing.
void CFDataGetBytes(CFDataRef data, CFRange range, uint8_t* buffer)
{
    auto d = as<Data>(data, Kind::Data);
    if (!d || !buffer)
        return;
    const CFIndex size = d->bytes.size();
    if (g_fitsIn(range.location, range.length, size))
        std::memcpy(buffer, d->bytes.constData() + range.location, size_t(range.length));
}

CFTypeID _CFKeyedArchiverUIDGetTypeID(void)
{
    return CFTypeID(Kind::UID);
}

CFKeyedArchiverUIDRef _CFKeyedArchiverUIDCreate(CFAllocatorRef, uint32_t value)
{
    return handle<CFKeyedArchiverUIDRef>(new UID(value));
}

uint32_t _CFKeyedArchiverUIDGetValue(CFKeyedArchiverUIDRef uid)
{
    auto u = as<UID>(uid, Kind::UID);
    return u ? u->value : 0;
}

} // extern "C"
