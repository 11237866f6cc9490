// CFType: keyed archives, property lists whose "$objects" array holds the
// archived objects, which refer to each other by keyed-archiver UID.
//
//   KEY        VALUE
//   $archiver  "NSKeyedArchiver"
//   $version   100000
//   $top       { "root": UID of the root object }
//   $objects   [ "$null", object, ... ]  (items refer to items by UID)
//
// An NSDictionary object is { "NS.keys": [UID...], "NS.objects": [UID...],
// "$class": UID of { "$classes": [names], "$classname": name } }.
//
// Archives come from backup files and message rows: every UID followed is
// checked against "$objects", and one that points outside gives a null item.
#include "cftype.h"

#include <QStringList>

#include <algorithm>
#include <climits>

namespace {

CFType objectAt(const CFType& objects, quint32 index)
{
    return index <= quint32(INT_MAX) ? objects.at(int(index)) : CFType();
}

quint32 rootIndex(const CFType& archive)
{
    return archive.get(QStringLiteral("$top")).get(QStringLiteral("root")).CFKeyedArchiverUIDGetValue();
}

CFType stringArray(const QStringList& texts)
{
    CFType array = CFType::createCFArray();
    for (const QString& text : texts)
        array.append(CFType::createCFString(text));
    return array;
}

CFType uidArray(long first, long count)
{
    CFType array = CFType::createCFArray();
    for (long i = 0; i < count; ++i)
        array.append(CFType::createCFKeyedArchiverUID(first + i));
    return array;
}

} // namespace

QHash<QString, CFType> CFType::NSKeyedArchiver() const
{
    QHash<QString, CFType> fields;
    const CFType objects = get(QStringLiteral("$objects"));
    if (!isCFDictionary() || !objects.isCFArray())
        return fields;
    const CFType root = objectAt(objects, rootIndex(*this));
    if (!root.isCFDictionary())
        return fields;
    for (const CFType& key : root.dict_keys()) {
        const CFType value = root.get(key);
        fields.insert(key.toString(),
                      value.isCFKeyedArchiverUID() ? objectAt(objects, value.CFKeyedArchiverUIDGetValue()) : value);
    }
    return fields;
}

CFType CFType::createNSDictionaryStringCFType(const QHash<QString, CFType>& hash, bool flag)
{
    const QStringList keys = hash.keys();
    const long n = keys.size();

    CFType dictionaryObject = createCFDictionary();
    dictionaryObject.put(QStringLiteral("NS.keys"), uidArray(2, n));
    dictionaryObject.put(QStringLiteral("NS.objects"), uidArray(n + 2, n));
    dictionaryObject.put(QStringLiteral("$class"), createCFKeyedArchiverUID(2 * n + 2));

    CFType classRecord = createCFDictionary();
    classRecord.put(QStringLiteral("$classes"),
                    stringArray(flag ? QStringList{"NSMutableDictionary", "NSDictionary", "NSObject"}
                                     : QStringList{"NSDictionary", "NSObject"}));
    classRecord.put(QStringLiteral("$classname"),
                    createCFString(flag ? QStringLiteral("NSMutableDictionary") : QStringLiteral("NSDictionary")));

    CFType objects = createCFArray();
    objects.append(createCFString(QStringLiteral("$null")));
    objects.append(dictionaryObject);
    for (const QString& key : keys)
        objects.append(createCFString(key));
    // A null value would shift every later index: it takes the "$null" text's
    // place instead.
    for (const QString& key : keys) {
        const CFType value = hash.value(key);
        objects.append(value.ref() ? value : createCFString(QStringLiteral("$null")));
    }
    objects.append(classRecord);

    CFType top = createCFDictionary();
    top.put(QStringLiteral("root"), createCFKeyedArchiverUID(1));

    CFType archive = createCFDictionary();
    archive.put(QStringLiteral("$archiver"), createCFString(QStringLiteral("NSKeyedArchiver")));
    archive.put(QStringLiteral("$objects"), objects);
    archive.put(QStringLiteral("$top"), top);
    archive.put(QStringLiteral("$version"), createCFNumberInt32(100000));
    return archive;
}

QHash<QString, CFType> CFType::parseNSDictionaryStringCFType(const CFType& archive)
{
    QHash<QString, CFType> entries;
    const quint32 index = rootIndex(archive);
    if (index == 0)
        return entries;
    const CFType objects = archive.get(QStringLiteral("$objects"));
    const CFType root = objectAt(objects, index);
    const CFType keys = root.get(QStringLiteral("NS.keys"));
    const CFType values = root.get(QStringLiteral("NS.objects"));
    const long n = std::min(keys.array_size(), values.array_size());
    for (long i = 0; i < n; ++i) {
        const CFType key = objectAt(objects, keys.at(int(i)).CFKeyedArchiverUIDGetValue());
        const CFType value = objectAt(objects, values.at(int(i)).CFKeyedArchiverUIDGetValue());
        entries.insert(key.CFStringQString(), clone(value));
    }
    return entries;
}
