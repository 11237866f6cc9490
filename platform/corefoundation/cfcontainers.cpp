// Arrays and dictionaries. Both retain what they hold; dictionaries find keys
// by value. Mutators leave immutable containers unchanged.
#include "cfobject.h"
#include "cfstandin.h"

using namespace qscf;

namespace {

const Object* obj(const void* p)
{
    return static_cast<const Object*>(p);
}

Dictionary* mutableDictionary(CFMutableDictionaryRef d)
{
    auto dict = as<Dictionary>(d, Kind::Dictionary);
    return dict && dict->mutableEntries ? const_cast<Dictionary*>(dict) : nullptr;
}

Array* mutableArray(CFMutableArrayRef a)
{
    auto array = as<Array>(a, Kind::Array);
    return array && array->mutableItems ? const_cast<Array*>(array) : nullptr;
}

const void* retainCallBack(CFAllocatorRef, const void* value)
{
    retain(obj(value));
    return value;
}

void releaseCallBack(CFAllocatorRef, const void* value)
{
    release(obj(value));
}

Boolean equalCallBack(const void* a, const void* b)
{
    return equal(obj(a), obj(b)) ? 1 : 0;
}

unsigned long hashCallBack(const void* value)
{
    return hash(obj(value));
}

} // namespace

extern "C" {

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, retainCallBack, releaseCallBack, nullptr,
                                                                equalCallBack, hashCallBack};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retainCallBack, releaseCallBack, nullptr,
                                                                    equalCallBack};
const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retainCallBack, releaseCallBack, nullptr, equalCallBack};

CFTypeID CFDictionaryGetTypeID(void)
{
    return CFTypeID(Kind::Dictionary);
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*)
{
    return handle<CFMutableDictionaryRef>(new Dictionary(true));
}

// Null keys or values are skipped: containers hold no null.
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex count,
                                   const CFDictionaryKeyCallBacks*, const CFDictionaryValueCallBacks*)
{
    auto dict = new Dictionary(false);
    for (CFIndex i = 0; keys && values && i < count; ++i)
        if (keys[i] && values[i])
            dict->set(obj(keys[i]), obj(values[i]));
    return handle<CFDictionaryRef>(dict);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex, CFDictionaryRef dictionary)
{
    auto source = as<Dictionary>(dictionary, Kind::Dictionary);
    if (!source)
        return nullptr;
    auto dict = new Dictionary(true);
    for (const auto& entry : source->entries)
        dict->set(entry.first, entry.second);
    return handle<CFMutableDictionaryRef>(dict);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary)
{
    auto dict = as<Dictionary>(dictionary, Kind::Dictionary);
    return dict ? CFIndex(dict->entries.size()) : 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key)
{
    auto dict = as<Dictionary>(dictionary, Kind::Dictionary);
    const long i = dict && key ? dict->find(obj(key)) : -1;
    return i >= 0 ? dict->entries[size_t(i)].second : nullptr;
}

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value)
{
    if (auto dict = mutableDictionary(dictionary); dict && key && value)
        dict->set(obj(key), obj(value));
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef dictionary, const void* key, const void* value)
{
    auto dict = mutableDictionary(dictionary);
    if (!dict || !key || !value)
        return;
    const long i = dict->find(obj(key));
    if (i >= 0)
        dict->replace(i, obj(value));
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys, const void** values)
{
    auto dict = as<Dictionary>(dictionary, Kind::Dictionary);
    if (!dict)
        return;
    for (size_t i = 0; i < dict->entries.size(); ++i) {
        if (keys)
            keys[i] = dict->entries[i].first;
        if (values)
            values[i] = dict->entries[i].second;
    }
}

CFTypeID CFArrayGetTypeID(void)
{
    return CFTypeID(Kind::Array);
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks*)
{
    return handle<CFMutableArrayRef>(new Array(true));
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count, const CFArrayCallBacks*)
{
    auto array = new Array(false);
    for (CFIndex i = 0; values && i < count; ++i)
        if (values[i])
            array->append(obj(values[i]));
    return handle<CFArrayRef>(array);
}

CFIndex CFArrayGetCount(CFArrayRef array)
{
    auto a = as<Array>(array, Kind::Array);
    return a ? CFIndex(a->items.size()) : 0;
}

// An index outside the array gives null.
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index)
{
    auto a = as<Array>(array, Kind::Array);
    if (!a || index < 0 || size_t(index) >= a->items.size())
        return nullptr;
    return a->items[size_t(index)];
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value)
{
    if (auto a = mutableArray(array); a && value)
        a->append(obj(value));
}

// The index one past the end appends; any other index outside changes nothing.
void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex index, const void* value)
{
    auto a = mutableArray(array);
    if (!a || !value || index < 0 || size_t(index) > a->items.size())
        return;
    if (size_t(index) == a->items.size()) {
        a->append(obj(value));
        return;
    }
    retain(obj(value));
    release(a->items[size_t(index)]);
    a->items[size_t(index)] = obj(value);
}

} // extern "C"
