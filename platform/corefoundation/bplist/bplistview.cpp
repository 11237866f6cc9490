// The binary property list, version 00. All numbers are big-endian.
//
//   OFFSET            SIZE            MEANING
//   0                 8               "bplist00"
//   8                 ...             the objects, each a marker byte and its content
//   T                 N * O           the offset table: the offset of object i at T + i * O
//   size - 32         6               unused
//   size - 26         1               sort version (ignored)
//   size - 25         1               O, the width of an offset table entry, 1..8
//   size - 24         1               R, the width of an object reference, 1..8
//   size - 23         8               N, the number of objects
//   size - 15         8               the top object's reference, below N
//   size - 7          8               T, the offset of the offset table
//
// An object's marker: the high nibble its kind, the low nibble n its size or
// count. A count of 15 is followed by an integer object holding the count.
//
//   MARKER  CONTENT
//   0x00    null            0x08 false          0x09 true
//   0x1n    integer of 2^n bytes, n <= 4
//   0x2n    real of 2^n bytes, n = 2 or 3
//   0x33    date: 8-byte real, seconds since 2001-01-01
//   0x4n    data of n bytes
//   0x5n    ASCII string of n bytes
//   0x6n    UTF-16 string of n code units
//   0x8n    keyed-archiver UID of n + 1 bytes
//   0xAn    array of n references, R bytes each
//   0xCn    set of n references
//   0xDn    dictionary of n key references, then n value references
//
// Every offset, count and reference is checked before it is used: objects
// and their content must lie between the header and the offset table, which
// must lie before the trailer. checkTree bounds the walk from object to
// object: nesting depth, containers that hold themselves, and each object
// visited once however many containers refer to it.
#include "bplistview.h"

#include <cstring>

#include "byterange.h"

namespace bplist {

namespace {

constexpr uint64_t kTrailerSize = 32;

} // namespace

bool View::looksBinary(const void* bytes, size_t size)
{
    return size >= 6 && std::memcmp(bytes, "bplist", 6) == 0;
}

bool View::open(const void* bytes, size_t size, std::string& error)
{
    m_bytes = static_cast<const uint8_t*>(bytes);
    m_objectCount = 0;
    if (size < kHeaderSize + kTrailerSize || std::memcmp(bytes, "bplist00", kHeaderSize) != 0) {
        error = "not a binary property list of version 00";
        return false;
    }
    if (size > kMaxListSize) {
        error = "property list too large";
        return false;
    }
    const uint64_t trailer = size - kTrailerSize;
    const unsigned offsetSize = m_bytes[trailer + 6];
    const unsigned refSize = m_bytes[trailer + 7];
    const uint64_t count = readUnsigned(trailer + 8, 8);
    const uint64_t top = readUnsigned(trailer + 16, 8);
    const uint64_t table = readUnsigned(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) {
        error = "offset or reference width out of range in the trailer";
        return false;
    }
    if (count < 1 || top >= count) {
        error = "object count or top object out of range in the trailer";
        return false;
    }
    // The table lies between the objects and the trailer.
    if (table < kHeaderSize || count > trailer || !g_fitsIn(table, count * offsetSize, trailer)) {
        error = "offset table outside the file (offset " + std::to_string(table) + ")";
        return false;
    }
    m_objectsEnd = table;
    m_tableOffset = table;
    m_objectCount = count;
    m_top = top;
    m_offsetSize = offsetSize;
    m_refSize = refSize;
    return true;
}

bool View::integer(const Object& o, int64_t& out) const
{
    if (o.kind != Kind::Integer)
        return false;
    // A 16-byte integer keeps its value in the low 8 bytes.
    const uint64_t width = o.count > 8 ? 8 : o.count;
    const uint64_t bits = readUnsigned(o.content + o.count - width, unsigned(width));
    out = static_cast<int64_t>(bits);
    return true;
}

bool View::real(const Object& o, double& out) const
{
    if (o.kind != Kind::Real && o.kind != Kind::Date)
        return false;
    const uint64_t bits = readUnsigned(o.content, unsigned(o.count));
    if (o.count == 4) {
        const uint32_t narrow = uint32_t(bits);
        float f;
        std::memcpy(&f, &narrow, sizeof f);
        out = f;
    } else {
        std::memcpy(&out, &bits, sizeof out);
    }
    return true;
}

bool View::uid(const Object& o, uint64_t& out) const
{
    if (o.kind != Kind::Uid || o.count > 8)
        return false;
    out = readUnsigned(o.content, unsigned(o.count));
    return true;
}

namespace {

// A string is told apart from other checked objects so that a key met again
// is not decoded again: only a string passes where a key is expected.
enum : uint8_t { kUnseen, kOnPath, kChecked, kCheckedString };
static_assert(kChecked == 2, "checkedObject takes every state from kChecked up as read");

bool checkContainer(const View& view, uint64_t ref, const Object& o, int depth, uint8_t* state, Object* objects);

// One object where it stands; the leaves are checked here, without a call
// per object, and only containers go one level deeper.
inline bool checkObject(const View& view, uint64_t ref, int depth, uint8_t* state, Object* objects, bool mustBeString)
{
    if (state[ref] == kCheckedString && (!mustBeString || depth <= View::kMaxDepth))
        return true;
    if (state[ref] == kChecked)
        return !mustBeString;
    Object o;
    if (state[ref] == kOnPath || depth > View::kMaxDepth || !view.object(ref, o))
        return false;
    switch (o.kind) {
    case Kind::Array:
    case Kind::Set:
    case Kind::Dictionary:
        if (mustBeString || !checkContainer(view, ref, o, depth, state, objects))
            return false;
        break;
    default:
        if (!view.isSoundLeaf(o))
            return false;
        break;
    }
    const bool isString = o.kind == Kind::Ascii || o.kind == Kind::Utf16;
    if (mustBeString && !isString)
        return false;
    state[ref] = isString ? kCheckedString : kChecked;
    if (objects)
        objects[ref] = o;
    return true;
}

// The items of a container, which stays on the path while they are walked.
// Flattened: the reading of each object is inlined into the walk over them.
[[gnu::flatten]] bool checkContainer(const View& view, uint64_t ref, const Object& o, int depth, uint8_t* state, Object* objects)
{
    state[ref] = kOnPath;
    const uint64_t keys = o.kind == Kind::Dictionary ? o.count : 0;
    const uint64_t refs = o.kind == Kind::Dictionary ? 2 * o.count : o.count;
    for (uint64_t i = 0; i < refs; ++i) {
        uint64_t child = 0;
        if (!view.reference(o, i, child) || !checkObject(view, child, depth + 1, state, objects, i < keys))
            return false;
    }
    return true;
}

} // namespace

bool View::checkTree(std::vector<uint8_t>& state) const
{
    state.assign(size_t(m_objectCount), kUnseen);
    return checkObject(*this, m_top, 0, state.data(), nullptr, false);
}

bool View::checkTree(TreeScratch& scratch) const
{
    scratch.state.assign(size_t(m_objectCount), kUnseen);
    if (scratch.objects.size() < m_objectCount)
        scratch.objects.resize(size_t(m_objectCount));
    return checkObject(*this, m_top, 0, scratch.state.data(), scratch.objects.data(), false);
}

bool View::isAscii(uint64_t ref, std::string_view text) const
{
    Object o;
    return object(ref, o) && o.kind == Kind::Ascii && o.count == text.size()
        && std::memcmp(content(o), text.data(), text.size()) == 0;
}

bool View::find(const Object& dictionary, std::string_view key, uint64_t& valueRef) const
{
    if (dictionary.kind != Kind::Dictionary)
        return false;
    for (uint64_t i = 0; i < dictionary.count; ++i) {
        uint64_t keyRef = 0;
        if (reference(dictionary, i, keyRef) && isAscii(keyRef, key))
            return reference(dictionary, dictionary.count + i, valueRef);
    }
    return false;
}

} // namespace bplist
