// CFType: the one value type for property-list values (strings, numbers,
// booleans, dates, data, keyed-archiver UIDs, dictionaries, arrays) over the
// CoreFoundation stand-in, with property-list parsing and writing and keyed
// archives. Copies share the wrapped object; readers never fail: a value of
// another type gives the caller's default. No other code calls CoreFoundation.
#pragma once

#include "cftypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QString>

// Owns one reference to a CoreFoundation object (or null).
class CFTypePrivacy
{
public:
    // Adopting takes over the caller's reference; otherwise one is retained.
    CFTypePrivacy(const void* object, bool adopt);
    ~CFTypePrivacy();
    CFTypePrivacy(const CFTypePrivacy&) = delete;
    CFTypePrivacy& operator=(const CFTypePrivacy&) = delete;
    const void* p() const { return m_object; }

private:
    const void* m_object;
};

class CFType
{
public:
    CFType();
    // `adopt` true for an object the caller owns (the result of a create or
    // copy function), false for a borrowed one, which is retained.
    CFType(const void* object, bool adopt);
    CFType(const CFType&) = default;
    CFType& operator=(const CFType&) = default;
    virtual ~CFType();

    const void* ref() const;
    quint64 typeId() const;

    bool isCFString() const;
    bool isCFNumber() const;
    bool isCFBoolean() const;
    bool isCFDate() const;
    bool isCFData() const;
    bool isCFKeyedArchiverUID() const;
    bool isCFDictionary() const;
    bool isCFArray() const;

    QString CFStringQString() const;
    long CFStringLength() const;
    char CFNumberInt8(char def) const;
    short CFNumberInt16(short def) const;
    int CFNumberInt(int def) const;
    long long CFNumberInt64(long long def) const;
    float CFNumberFloat(float def) const;
    double CFNumberDouble(double def) const;
    bool CFNumberBool(bool def) const;
    QByteArray CFDataBytes() const;
    long CFDataLength() const;
    // Wall-clock fields of the date in the zone (GMT for null, an empty or
    // unknown name), marked as local time.
    QDateTime CFDateToDateTime(CFTimeZoneRef zone) const;
    QDateTime CFDateToDateTime(QString zoneName) const;
    QDateTime CFDateToDateTime(int secondsFromGMT) const;
    quint32 CFKeyedArchiverUIDGetValue() const;
    QString toString() const;

    static CFType createCFBoolean(bool value);
    static CFType createCFNumberInt8(char value);
    static CFType createCFNumberInt16(short value);
    static CFType createCFNumberInt32(int value);
    static CFType createCFNumberInt64(long long value);
    static CFType createCFNumberFloat(float value);
    static CFType createCFNumberDouble(double value);
    static CFType createCFNumberCFIndex(long value);
    static CFType createCFString(QString text);
    static CFType createCFData(QByteArray bytes);
    // The fields of `dt` as they stand, read as GMT, to the whole second.
    static CFType createCFDate(QDateTime dt);
    static CFType createCFKeyedArchiverUID(long index);

    // Dictionaries
    static CFType createCFDictionary();
    static CFType createCFDictionary(const QList<CFType>& keys, const QList<CFType>& values);
    static CFType createCFDictionaryCreateMutableCopy(const CFType& dictionary);
    CFType& put(CFType key, CFType value);
    CFType& put(QString key, CFType value);
    CFType get(CFType key) const;
    CFType get(QString key) const;
    long dict_size() const;
    QList<CFType> dict_keys() const;
    CFType& dict_replace(const CFType& key, const CFType& value);

    // Arrays; an index outside the array gives a null value and changes nothing.
    static CFType createCFArray();
    static CFType createCFArray(const QList<CFType>& items);
    long array_size() const;
    CFType at(int index) const;
    CFType& append(const CFType& item);
    CFType& array_replace(int index, const CFType& item);

    // Property lists: XML (100) or binary (200).
    static CFType createCFPropertyList(QByteArray bytes);
    static CFType createCFPropertyListFromFile(QString path);
    CFType CFPropertyListToData(long format) const;
    QByteArray CFPropertyListToBytes(long format) const;
    static CFType clone(CFType value);

    // Keyed archives.
    QHash<QString, CFType> NSKeyedArchiver() const;
    static CFType createNSDictionaryStringCFType(const QHash<QString, CFType>& hash, bool flag);
    static QHash<QString, CFType> parseNSDictionaryStringCFType(const CFType& archive);

private:
    using Holder = QSharedPointer<CFTypePrivacy>;
    // Is the value of the type `wanted` (a type ID; 0 for a missing type function)?
    bool isType(quint64 wanted) const;
    static CFType createNumber(CFNumberType type, const void* value);
    template <typename T>
    T numberValue(CFNumberType type, T def) const;

    Holder m_holder;
    QMap<Holder, Holder> m_keptValues; // key holder -> value holder of every put
    QList<Holder> m_keptItems;         // every item appended or replaced
};
