// Property-list reading and writing, and the bridge between libplist nodes
// and the stand-in's objects. Binary lists are read by the stand-in's own
// bounded reader (cfbinaryplist.cpp), never by libplist, whose binary reader
// leaves nodes that abort the process when read back (a dictionary key with
// U+0000 fails an assertion). XML is read and everything is written by
// libplist: a valid XML document holds no U+0000, so XML that holds one is
// refused before libplist sees it, and every key it gives back is whole.
//
// libplist keeps integers as unsigned 64-bit values: the bits are those of
// the signed value, so the sign is restored by reading them as signed. Its
// dates are whole seconds and microseconds since 2001; XML keyed-archiver
// UIDs arrive as dictionaries holding the single key "CF$UID".
#include "bplistview.h"
#include "cfbinaryplist.h"
#include "cfobject.h"
#include "cfstandin.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

using namespace qscf;

namespace {

struct Releaser
{
    void operator()(const Object* o) const { release(o); }
};
using Owned = std::unique_ptr<const Object, Releaser>;

struct PlistFree
{
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using OwnedPlist = std::unique_ptr<void, PlistFree>;

const Object* fromPlist(plist_t node, bool mutableContainers, int depth);

const Object* uidFromCfUidDictionary(plist_t dict)
{
    if (plist_dict_get_size(dict) != 1)
        return nullptr;
    plist_t value = plist_dict_get_item(dict, "CF$UID");
    if (!value || plist_get_node_type(value) != PLIST_UINT)
        return nullptr;
    uint64_t v = 0;
    plist_get_uint_val(value, &v);
    return v <= std::numeric_limits<uint32_t>::max() ? new UID(uint32_t(v)) : nullptr;
}

const Object* dictionaryFromPlist(plist_t node, bool mutableContainers, int depth)
{
    if (const Object* uid = uidFromCfUidDictionary(node))
        return uid;
    auto dict = std::make_unique<Dictionary>(mutableContainers);
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    bool ok = iter != nullptr;
    while (ok) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (!key || !value) {
            std::free(key);
            break;
        }
        Owned k(new String(QString::fromUtf8(key)));
        std::free(key);
        Owned v(fromPlist(value, mutableContainers, depth + 1));
        ok = v != nullptr;
        if (ok)
            dict->set(k.get(), v.get());
    }
    std::free(iter);
    return ok ? dict.release() : nullptr;
}

const Object* arrayFromPlist(plist_t node, bool mutableContainers, int depth)
{
    auto array = std::make_unique<Array>(mutableContainers);
    const uint32_t n = plist_array_get_size(node);
    for (uint32_t i = 0; i < n; ++i) {
        Owned item(fromPlist(plist_array_get_item(node, i), mutableContainers, depth + 1));
        if (!item)
            return nullptr;
        array->append(item.get());
    }
    return array.release();
}

const Object* fromPlist(plist_t node, bool mutableContainers, int depth)
{
    if (!node || depth > kMaxPropertyListDepth)
        return nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return static_cast<const Object*>(CFRetain(b ? kCFBooleanTrue : kCFBooleanFalse));
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return new Number(kCFNumberSInt64Type, static_cast<long long>(v));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return new Number(kCFNumberFloat64Type, d);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        if (!text || length > uint64_t(std::numeric_limits<int>::max()))
            return nullptr;
        return new String(QString::fromUtf8(text, qsizetype(length)));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return new Date(double(sec) + double(usec) / 1e6);
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        if (length > uint64_t(std::numeric_limits<int>::max()) || (!bytes && length))
            return nullptr;
        return new Data(QByteArray(bytes, qsizetype(length)));
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return v <= std::numeric_limits<uint32_t>::max() ? new UID(uint32_t(v)) : nullptr;
    }
    case PLIST_ARRAY:
        return arrayFromPlist(node, mutableContainers, depth);
    case PLIST_DICT:
        return dictionaryFromPlist(node, mutableContainers, depth);
    default:
        return nullptr;
    }
}

plist_t toPlist(const Object* object, int depth);

// libplist's dates hold whole seconds in 32 bits: a date outside them cannot
// be written and fails the write rather than wrapping around.
plist_t dateToPlist(double at)
{
    double sec = std::floor(at);
    double usec = std::round((at - sec) * 1e6);
    if (usec >= 1e6) {
        sec += 1;
        usec = 0;
    }
    if (!(sec >= std::numeric_limits<int32_t>::min() && sec <= std::numeric_limits<int32_t>::max()))
        return nullptr;
    return plist_new_date(int32_t(sec), int32_t(usec));
}

plist_t arrayToPlist(const Array& array, int depth)
{
    OwnedPlist node(plist_new_array());
    for (const Object* item : array.items) {
        plist_t child = toPlist(item, depth + 1);
        if (!child)
            return nullptr;
        plist_array_append_item(node.get(), child);
    }
    return node.release();
}

// libplist takes texts up to their first zero: a text that holds U+0000
// fails the write rather than losing its end.
bool writableText(const String* text)
{
    return text && !text->text.contains(QChar(0));
}

// Keys must be strings, as in every property-list format.
plist_t dictionaryToPlist(const Dictionary& dict, int depth)
{
    OwnedPlist node(plist_new_dict());
    for (const auto& entry : dict.entries) {
        auto key = as<String>(entry.first, Kind::String);
        plist_t child = writableText(key) ? toPlist(entry.second, depth + 1) : nullptr;
        if (!child)
            return nullptr;
        plist_dict_set_item(node.get(), key->text.toUtf8().constData(), child);
    }
    return node.release();
}

plist_t toPlist(const Object* object, int depth)
{
    if (!object || depth > kMaxPropertyListDepth)
        return nullptr;
    switch (object->kind) {
    case Kind::String: {
        auto text = static_cast<const String*>(object);
        return writableText(text) ? plist_new_string(text->text.toUtf8().constData()) : nullptr;
    }
    case Kind::Number: {
        auto n = static_cast<const Number*>(object);
        return n->isFloat ? plist_new_real(n->real) : plist_new_uint(static_cast<uint64_t>(n->integer));
    }
    case Kind::Boolean:
        return plist_new_bool(static_cast<const BooleanObject*>(object)->value ? 1 : 0);
    case Kind::Date:
        return dateToPlist(static_cast<const Date*>(object)->at);
    case Kind::Data: {
        const QByteArray& bytes = static_cast<const Data*>(object)->bytes;
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case Kind::UID:
        return plist_new_uid(static_cast<const UID*>(object)->value);
    case Kind::Array:
        return arrayToPlist(*static_cast<const Array*>(object), depth);
    case Kind::Dictionary:
        return dictionaryToPlist(*static_cast<const Dictionary*>(object), depth);
    default:
        return nullptr;
    }
}

CFDataRef dataFrom(char* bytes, uint32_t length)
{
    if (!bytes)
        return nullptr;
    return CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(bytes), CFIndex(length));
}

} // namespace

extern "C" {

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat* format, CFErrorRef* error)
{
    if (error)
        *error = nullptr;
    auto d = as<Data>(data, Kind::Data);
    if (!d || d->bytes.isEmpty() || uint64_t(d->bytes.size()) > std::numeric_limits<uint32_t>::max())
        return nullptr;
    const QByteArray& bytes = d->bytes;
    const bool mutableContainers = options & kCFPropertyListMutableContainers;
    if (bplist::View::looksBinary(bytes.constData(), size_t(bytes.size()))) {
        const Object* list = readBinaryPropertyList(bytes.constData(), size_t(bytes.size()), mutableContainers);
        if (list && format)
            *format = kCFPropertyListBinaryFormat_v1_0;
        return list;
    }
    if (std::memchr(bytes.constData(), 0, size_t(bytes.size())))
        return nullptr;
    // The bytes of a QByteArray are followed by a terminating zero, which
    // libplist's text parser may look for.
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    if (!root)
        return nullptr;
    OwnedPlist owned(root);
    const Object* list = fromPlist(root, mutableContainers, 0);
    if (list && format)
        *format = kCFPropertyListXMLFormat_v1_0;
    return list;
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef* error)
{
    if (error)
        *error = nullptr;
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0)
        return nullptr;
    OwnedPlist node(toPlist(static_cast<const Object*>(propertyList), 0));
    if (!node)
        return nullptr;
    char* bytes = nullptr;
    uint32_t length = 0;
    CFDataRef out;
    if (format == kCFPropertyListXMLFormat_v1_0) {
        plist_to_xml(node.get(), &bytes, &length);
        out = dataFrom(bytes, length);
        plist_to_xml_free(bytes);
    } else {
        plist_to_bin(node.get(), &bytes, &length);
        out = dataFrom(bytes, length);
        plist_to_bin_free(bytes);
    }
    return out;
}

// A node may come from libplist's binary reader, whose keys cannot all be
// read back safely: it goes through binary bytes and the bounded reader.
CFPropertyListRef QSCFCreateFromPlist(plist_t node)
{
    if (!node)
        return nullptr;
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    const Object* object = bytes ? readBinaryPropertyList(bytes, length, false) : nullptr;
    plist_to_bin_free(bytes);
    return object;
}

plist_t QSCFCopyPlist(CFPropertyListRef object)
{
    return toPlist(static_cast<const Object*>(object), 0);
}

} // extern "C"
