// CFType: dictionaries, arrays, property-list parsing and writing, and the
// deep copy.
#include "cftype.h"
#include "cfcall.h"

#include <QFile>

#include <algorithm>
#include <vector>

using cfcall::call;

namespace {

// No property list that the system reads comes near this; a larger file is
// refused rather than read into memory.
constexpr qint64 kMaxPropertyListFile = 256 * 1024 * 1024;

std::vector<const void*> refsOf(const QList<CFType>& values, qsizetype n)
{
    std::vector<const void*> refs(size_t(n) + 1, nullptr);
    for (qsizetype i = 0; i < n; ++i)
        refs[size_t(i)] = values[i].ref();
    return refs;
}

} // namespace

CFType CFType::createCFDictionary()
{
    return CFType(call<CFMutableDictionaryRef(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks*,
                                              const CFDictionaryValueCallBacks*)>(
                      [] { return "CFDictionaryCreateMutable"; }, static_cast<CFMutableDictionaryRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), CFIndex(0),
                      cfcall::constant<CFDictionaryKeyCallBacks>([] { return "kCFTypeDictionaryKeyCallBacks"; }),
                      cfcall::constant<CFDictionaryValueCallBacks>([] { return "kCFTypeDictionaryValueCallBacks"; })),
                  true);
}

CFType CFType::createCFDictionary(const QList<CFType>& keys, const QList<CFType>& values)
{
    const qsizetype n = std::min(keys.size(), values.size());
    std::vector<const void*> keyRefs = refsOf(keys, n);
    std::vector<const void*> valueRefs = refsOf(values, n);
    return CFType(call<CFDictionaryRef(CFAllocatorRef, const void**, const void**, CFIndex,
                                       const CFDictionaryKeyCallBacks*, const CFDictionaryValueCallBacks*)>(
                      [] { return "CFDictionaryCreate"; }, static_cast<CFDictionaryRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), keyRefs.data(), valueRefs.data(), CFIndex(n),
                      cfcall::constant<CFDictionaryKeyCallBacks>([] { return "kCFTypeDictionaryKeyCallBacks"; }),
                      cfcall::constant<CFDictionaryValueCallBacks>([] { return "kCFTypeDictionaryValueCallBacks"; })),
                  true);
}

CFType CFType::createCFDictionaryCreateMutableCopy(const CFType& dictionary)
{
    if (!dictionary.isCFDictionary())
        return CFType();
    return CFType(call<CFMutableDictionaryRef(CFAllocatorRef, CFIndex, CFDictionaryRef)>(
                      [] { return "CFDictionaryCreateMutableCopy"; }, static_cast<CFMutableDictionaryRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), CFIndex(0), static_cast<CFDictionaryRef>(dictionary.ref())),
                  true);
}

CFType& CFType::put(CFType key, CFType value)
{
    if (!isCFDictionary() || !key.ref() || !value.ref())
        return *this;
    m_keptValues.insert(key.m_holder, value.m_holder);
    cfcall::run<void(CFMutableDictionaryRef, const void*, const void*)>(
        [] { return "CFDictionarySetValue"; }, static_cast<CFMutableDictionaryRef>(const_cast<void*>(ref())), key.ref(), value.ref());
    return *this;
}

CFType& CFType::put(QString key, CFType value)
{
    return put(createCFString(key), value);
}

CFType CFType::get(CFType key) const
{
    if (!isCFDictionary() || !key.ref())
        return CFType();
    return CFType(call<const void*(CFDictionaryRef, const void*)>([] { return "CFDictionaryGetValue"; },
                                                                  static_cast<const void*>(nullptr),
                                                                  static_cast<CFDictionaryRef>(ref()), key.ref()),
                  false);
}

CFType CFType::get(QString key) const
{
    if (!isCFDictionary())
        return CFType();
    return get(createCFString(key));
}

long CFType::dict_size() const
{
    if (!isCFDictionary())
        return 0;
    return call<CFIndex(CFDictionaryRef)>([] { return "CFDictionaryGetCount"; }, CFIndex(0), static_cast<CFDictionaryRef>(ref()));
}

QList<CFType> CFType::dict_keys() const
{
    QList<CFType> keys;
    const int n = int(dict_size());
    if (n <= 0)
        return keys;
    std::vector<const void*> buffer(size_t(n), nullptr);
    cfcall::run<void(CFDictionaryRef, const void**, const void**)>(
        [] { return "CFDictionaryGetKeysAndValues"; }, static_cast<CFDictionaryRef>(ref()), buffer.data(),
        static_cast<const void**>(nullptr));
    keys.reserve(n);
    for (const void* key : buffer)
        keys.append(CFType(key, false));
    return keys;
}

CFType& CFType::dict_replace(const CFType& key, const CFType& value)
{
    if (!isCFDictionary() || !key.ref() || !value.ref())
        return *this;
    m_keptValues.insert(key.m_holder, value.m_holder);
    cfcall::run<void(CFMutableDictionaryRef, const void*, const void*)>(
        [] { return "CFDictionaryReplaceValue"; }, static_cast<CFMutableDictionaryRef>(const_cast<void*>(ref())), key.ref(),
        value.ref());
    return *this;
}

CFType CFType::createCFArray()
{
    return CFType(call<CFMutableArrayRef(CFAllocatorRef, CFIndex, const CFArrayCallBacks*)>(
                      [] { return "CFArrayCreateMutable"; }, static_cast<CFMutableArrayRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), CFIndex(0),
                      cfcall::constant<CFArrayCallBacks>([] { return "kCFTypeArrayCallBacks"; })),
                  true);
}

CFType CFType::createCFArray(const QList<CFType>& items)
{
    std::vector<const void*> refs = refsOf(items, items.size());
    return CFType(call<CFArrayRef(CFAllocatorRef, const void**, CFIndex, const CFArrayCallBacks*)>(
                      [] { return "CFArrayCreate"; }, static_cast<CFArrayRef>(nullptr), static_cast<CFAllocatorRef>(nullptr),
                      refs.data(), CFIndex(items.size()), cfcall::constant<CFArrayCallBacks>([] { return "kCFTypeArrayCallBacks"; })),
                  true);
}

long CFType::array_size() const
{
    if (!isCFArray())
        return 0;
    return call<CFIndex(CFArrayRef)>([] { return "CFArrayGetCount"; }, CFIndex(0), static_cast<CFArrayRef>(ref()));
}

CFType CFType::at(int index) const
{
    if (index < 0 || index >= array_size())
        return CFType();
    return CFType(call<const void*(CFArrayRef, CFIndex)>([] { return "CFArrayGetValueAtIndex"; }, static_cast<const void*>(nullptr),
                                                         static_cast<CFArrayRef>(ref()), CFIndex(index)),
                  false);
}

CFType& CFType::append(const CFType& item)
{
    if (!isCFArray() || !item.ref())
        return *this;
    m_keptItems.append(item.m_holder);
    cfcall::run<void(CFMutableArrayRef, const void*)>(
        [] { return "CFArrayAppendValue"; }, static_cast<CFMutableArrayRef>(const_cast<void*>(ref())), item.ref());
    return *this;
}

CFType& CFType::array_replace(int index, const CFType& item)
{
    if (index < 0 || index >= array_size() || !item.ref())
        return *this;
    m_keptItems.append(item.m_holder);
    cfcall::run<void(CFMutableArrayRef, CFIndex, const void*)>(
        [] { return "CFArraySetValueAtIndex"; }, static_cast<CFMutableArrayRef>(const_cast<void*>(ref())), CFIndex(index),
        item.ref());
    return *this;
}

CFType CFType::createCFPropertyList(QByteArray bytes)
{
    if (bytes.isEmpty())
        return CFType();
    const CFType data = createCFData(bytes);
    if (!data.ref())
        return CFType();
    CFPropertyListFormat format = 0;
    CFErrorRef error = nullptr;
    return CFType(call<CFPropertyListRef(CFAllocatorRef, CFDataRef, CFOptionFlags, CFPropertyListFormat*,
                                         CFErrorRef*)>(
                      [] { return "CFPropertyListCreateWithData"; }, static_cast<CFPropertyListRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), static_cast<CFDataRef>(data.ref()),
                      CFOptionFlags(kCFPropertyListImmutable), &format, &error),
                  true);
}

CFType CFType::createCFPropertyListFromFile(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPropertyListFile)
        return CFType();
    return createCFPropertyList(file.readAll());
}

CFType CFType::CFPropertyListToData(long format) const
{
    if (!ref())
        return CFType();
    CFErrorRef error = nullptr;
    return CFType(call<CFDataRef(CFAllocatorRef, CFPropertyListRef, CFPropertyListFormat, CFOptionFlags, CFErrorRef*)>(
                      [] { return "CFPropertyListCreateData"; }, static_cast<CFDataRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), ref(), CFPropertyListFormat(format), CFOptionFlags(0),
                      &error),
                  true);
}

QByteArray CFType::CFPropertyListToBytes(long format) const
{
    return CFPropertyListToData(format).CFDataBytes();
}

CFType CFType::clone(CFType value)
{
    return createCFPropertyList(value.CFPropertyListToBytes(kCFPropertyListXMLFormat_v1_0));
}
