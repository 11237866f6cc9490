// A bounded, read-only view over the bytes of a binary property list
// ("bplist00"): the trailer, the offset table and each object's marker,
// count and content, every one checked against the bytes before it is used.
// It builds nothing; the CoreFoundation stand-in builds its objects on it and
// the backup index decodes its records straight from it. Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "byterange.h"

namespace bplist {

enum class Kind : uint8_t { Null, False, True, Integer, Real, Date, Data, Ascii, Utf16, Uid, Array, Set, Dictionary };

// One object as its marker describes it. `count` is the number of content
// bytes for integers, reals, dates, data, ASCII strings and UIDs; of UTF-16
// code units for UTF-16 strings; of items for arrays and sets; of key-value
// pairs for dictionaries. `content` is the offset of its first content byte.
struct Object
{
    Kind kind = Kind::Null;
    uint64_t count = 0;
    uint64_t content = 0;
};

// What View::checkTree learnt of each object, kept for reading them again
// without decoding their markers twice; reused between calls.
struct TreeScratch
{
    std::vector<uint8_t> state;
    std::vector<Object> objects;
};

class View
{
public:
    // True when the bytes start with "bplist" (of any version).
    static bool looksBinary(const void* bytes, size_t size);

    // Checks the header, the trailer and the offset table; false with a
    // message naming what is wrong. The bytes must outlive the view.
    bool open(const void* bytes, size_t size, std::string& error);

    uint64_t objectCount() const { return m_objectCount; }
    uint64_t top() const { return m_top; }

    // The object `ref` with its content inside the object area; false for a
    // reference out of range, an unknown marker or content out of bounds.
    // Inline: a record of a backup's index holds some fifty objects, and
    // reading one costs less than the call.
    bool object(uint64_t ref, Object& out) const;
    // The `index`-th reference of an array or set, or of a dictionary (keys
    // first, then values: a dictionary has 2 * count references); false when
    // out of range or naming no object.
    bool reference(const Object& container, uint64_t index, uint64_t& ref) const
    {
        const uint64_t refs = container.kind == Kind::Dictionary ? 2 * container.count : container.count;
        if ((container.kind != Kind::Array && container.kind != Kind::Set && container.kind != Kind::Dictionary)
            || index >= refs)
            return false;
        ref = readUnsigned(container.content + index * m_refSize, m_refSize);
        return ref < m_objectCount;
    }

    // Integers: 1, 2 and 4 bytes unsigned, 8 bytes signed, 16 bytes by their
    // low 8 bytes. Reals and dates as doubles. UIDs of up to 8 bytes.
    bool integer(const Object& o, int64_t& out) const;
    bool real(const Object& o, double& out) const;
    bool uid(const Object& o, uint64_t& out) const;
    // The content bytes of data, ASCII and UTF-16 (big-endian) strings.
    const uint8_t* content(const Object& o) const { return m_bytes + o.content; }

    // Walks every object reachable from the top once: each must be readable
    // and not null, every dictionary key a string, every UID 32 bits, every
    // data or string shorter than 2^31, no container may hold itself and no
    // nesting be deeper than kMaxDepth. A list that passes can be built
    // whole. `state` is scratch space, reused between calls.
    static constexpr int kMaxDepth = 512;
    bool checkTree(std::vector<uint8_t>& state) const;
    // What checkTree asks of an object that holds no other: not null, data
    // and strings shorter than 2^31, UIDs of 32 bits.
    bool isSoundLeaf(const Object& o) const
    {
        constexpr uint64_t kMaxLength = 0x7fffffff;
        uint64_t v = 0;
        switch (o.kind) {
        case Kind::Null:
            return false;
        case Kind::Data:
        case Kind::Ascii:
        case Kind::Utf16:
            return o.count <= kMaxLength;
        case Kind::Uid:
            return uid(o, v) && v <= 0xffffffffu;
        default:
            return true;
        }
    }
    // The same walk, keeping each object it reads in `scratch`.
    bool checkTree(TreeScratch& scratch) const;
    // Object `ref` as the last checkTree(scratch) read it, or read afresh when
    // that walk did not reach it.
    bool checkedObject(const TreeScratch& scratch, uint64_t ref, Object& out) const
    {
        if (ref < scratch.state.size() && ref < scratch.objects.size() && scratch.state[ref] >= kCheckedState) {
            out = scratch.objects[ref];
            return true;
        }
        return object(ref, out);
    }

    // Is object `ref` an ASCII string equal to `text`?
    bool isAscii(uint64_t ref, std::string_view text) const;
    // The value of the dictionary's ASCII key `key`.
    bool find(const Object& dictionary, std::string_view key, uint64_t& valueRef) const;

private:
    // The state checkTree gives every object it read and found sound.
    static constexpr uint8_t kCheckedState = 2;

    // A big-endian number of 1 to 8 bytes; the caller has checked the bounds.
    uint64_t readUnsigned(uint64_t offset, unsigned width) const
    {
        const uint8_t* p = m_bytes + offset;
        switch (width) {
        case 1:
            return p[0];
        case 2:
            return uint64_t(p[0]) << 8 | p[1];
        default: {
            uint64_t value = 0;
            for (unsigned i = 0; i < width; ++i)
                value = value << 8 | p[i];
            return value;
        }
        }
    }

    const uint8_t* m_bytes = nullptr;
    uint64_t m_objectsEnd = 0; // objects lie in [8, m_objectsEnd): the offset table follows them
    uint64_t m_tableOffset = 0;
    uint64_t m_objectCount = 0;
    uint64_t m_top = 0;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    static constexpr uint64_t kHeaderSize = 8;
    // No list is larger (open refuses it), so a count that is not larger
    // than the list times 16 cannot wrap around: counts are checked by
    // multiplying, not dividing, which costs a record of a backup's index
    // more than all its other checks.
    static constexpr uint64_t kMaxListSize = uint64_t(1) << 59;
};

inline bool View::object(uint64_t ref, Object& out) const
{
    if (ref >= m_objectCount)
        return false;
    uint64_t at = readUnsigned(m_tableOffset + ref * m_offsetSize, m_offsetSize);
    if (at < kHeaderSize || at >= m_objectsEnd)
        return false;
    const uint8_t marker = m_bytes[at++];
    const unsigned high = marker >> 4;
    const unsigned low = marker & 0x0f;

    uint64_t count = low;
    const bool counted = high == 0x4 || high == 0x5 || high == 0x6 || high == 0xA || high == 0xC || high == 0xD;
    if (counted && low == 0x0f) {
        if (at >= m_objectsEnd || (m_bytes[at] >> 4) != 0x1 || (m_bytes[at] & 0x0f) > 3)
            return false;
        const unsigned width = 1u << (m_bytes[at] & 0x0f);
        ++at;
        if (!g_fitsIn(at, width, m_objectsEnd))
            return false;
        count = readUnsigned(at, width);
        at += width;
    }

    uint64_t size = 0; // content bytes
    switch (high) {
    case 0x0:
        if (marker != 0x00 && marker != 0x08 && marker != 0x09)
            return false;
        out.kind = marker == 0x00 ? Kind::Null : (marker == 0x08 ? Kind::False : Kind::True);
        break;
    case 0x1:
        if (low > 4)
            return false;
        out.kind = Kind::Integer;
        size = count = 1u << low;
        break;
    case 0x2:
        if (low != 2 && low != 3)
            return false;
        out.kind = Kind::Real;
        size = count = 1u << low;
        break;
    case 0x3:
        if (low != 3)
            return false;
        out.kind = Kind::Date;
        size = count = 8;
        break;
    case 0x4:
    case 0x5:
        out.kind = high == 0x4 ? Kind::Data : Kind::Ascii;
        size = count;
        break;
    case 0x6:
        if (count > m_objectsEnd)
            return false;
        out.kind = Kind::Utf16;
        size = count * 2;
        break;
    case 0x8:
        out.kind = Kind::Uid;
        size = count = low + 1;
        break;
    case 0xA:
    case 0xC:
        if (count > m_objectsEnd)
            return false;
        out.kind = high == 0xA ? Kind::Array : Kind::Set;
        size = count * m_refSize;
        break;
    case 0xD:
        if (count > m_objectsEnd)
            return false;
        out.kind = Kind::Dictionary;
        size = count * 2 * m_refSize;
        break;
    default:
        return false;
    }
    if (!g_fitsIn(at, size, m_objectsEnd))
        return false;
    out.count = count;
    out.content = at;
    return true;
}

} // namespace bplist
