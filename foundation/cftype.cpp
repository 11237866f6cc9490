#include "cftype.h"
#include "cfcall.h"

#include <cmath>
#include <vector>

using cfcall::call;

namespace {

// The type ID that the function `name` gives, 0 when it is missing.
template <typename Name>
CFTypeID typeIdOf(Name name)
{
    return call<CFTypeID()>(name, CFTypeID(0));
}

// A zone made for one conversion, released afterwards.
class OwnedZone
{
public:
    explicit OwnedZone(CFTimeZoneRef zone) : m_zone(zone) {}
    ~OwnedZone()
    {
        if (m_zone)
            cfcall::run<void(CFTypeRef)>([] { return "CFRelease"; }, static_cast<CFTypeRef>(m_zone));
    }
    OwnedZone(const OwnedZone&) = delete;
    OwnedZone& operator=(const OwnedZone&) = delete;
    CFTimeZoneRef get() const { return m_zone; }

private:
    CFTimeZoneRef m_zone;
};

} // namespace

CFTypePrivacy::CFTypePrivacy(const void* object, bool adopt) : m_object(object)
{
    if (m_object && !adopt)
        cfcall::run<CFTypeRef(CFTypeRef)>([] { return "CFRetain"; }, m_object);
}

CFTypePrivacy::~CFTypePrivacy()
{
    if (m_object)
        cfcall::run<void(CFTypeRef)>([] { return "CFRelease"; }, m_object);
}

CFType::CFType() = default;

CFType::CFType(const void* object, bool adopt)
{
    if (object)
        m_holder = Holder::create(object, adopt);
}

CFType::~CFType() = default;

const void* CFType::ref() const
{
    return m_holder ? m_holder->p() : nullptr;
}

quint64 CFType::typeId() const
{
    if (!ref())
        return typeIdOf([] { return "CFNullGetTypeID"; });
    return call<CFTypeID(CFTypeRef)>([] { return "CFGetTypeID"; }, CFTypeID(0), ref());
}

// A null value is of no tested type (its type is CoreFoundation's null type),
// and neither is anything when a type function is missing.
bool CFType::isType(quint64 wanted) const
{
    return ref() && wanted != 0 && typeId() == wanted;
}

bool CFType::isCFString() const { return isType(typeIdOf([] { return "CFStringGetTypeID"; })); }
bool CFType::isCFNumber() const { return isType(typeIdOf([] { return "CFNumberGetTypeID"; })); }
bool CFType::isCFBoolean() const { return isType(typeIdOf([] { return "CFBooleanGetTypeID"; })); }
bool CFType::isCFDate() const { return isType(typeIdOf([] { return "CFDateGetTypeID"; })); }
bool CFType::isCFData() const { return isType(typeIdOf([] { return "CFDataGetTypeID"; })); }
bool CFType::isCFKeyedArchiverUID() const { return isType(typeIdOf([] { return "_CFKeyedArchiverUIDGetTypeID"; })); }
bool CFType::isCFDictionary() const { return isType(typeIdOf([] { return "CFDictionaryGetTypeID"; })); }
bool CFType::isCFArray() const { return isType(typeIdOf([] { return "CFArrayGetTypeID"; })); }

QString CFType::CFStringQString() const
{
    if (!isCFString())
        return QString();
    using GetBytes = CFIndex(CFStringRef, CFRange, CFStringEncoding, uint8_t, Boolean, uint8_t*, CFIndex, CFIndex*);
    const auto string = static_cast<CFStringRef>(ref());
    const CFRange all{0, CFIndex(int(CFStringLength()))};
    CFIndex needed = 0;
    const CFIndex converted = call<GetBytes>([] { return "CFStringGetBytes"; }, CFIndex(0), string, all,
                                             CFStringEncoding(kCFStringEncodingUTF8), uint8_t('?'), Boolean(0),
                                             static_cast<uint8_t*>(nullptr), CFIndex(0), &needed);
    if (converted <= 0 || needed <= 0)
        return QString();
    std::vector<uint8_t> buffer(static_cast<size_t>(needed));
    CFIndex written = 0;
    if (call<GetBytes>([] { return "CFStringGetBytes"; }, CFIndex(0), string, all, CFStringEncoding(kCFStringEncodingUTF8),
                       uint8_t('?'), Boolean(0), buffer.data(), needed, &written)
        <= 0)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char*>(buffer.data()), qsizetype(written));
}

long CFType::CFStringLength() const
{
    if (!isCFString())
        return 0;
    return call<CFIndex(CFStringRef)>([] { return "CFStringGetLength"; }, CFIndex(0), static_cast<CFStringRef>(ref()));
}

template <typename T>
T CFType::numberValue(CFNumberType type, T def) const
{
    if (!isCFNumber())
        return def;
    T out = def;
    const Boolean exact =
        call<Boolean(CFNumberRef, CFNumberType, void*)>([] { return "CFNumberGetValue"; }, Boolean(0),
                                                        static_cast<CFNumberRef>(ref()), type, static_cast<void*>(&out));
    return exact ? out : def;
}

char CFType::CFNumberInt8(char def) const { return numberValue<char>(kCFNumberSInt8Type, def); }
short CFType::CFNumberInt16(short def) const { return numberValue<short>(kCFNumberSInt16Type, def); }
int CFType::CFNumberInt(int def) const { return numberValue<int>(kCFNumberSInt32Type, def); }
long long CFType::CFNumberInt64(long long def) const { return numberValue<long long>(kCFNumberSInt64Type, def); }
float CFType::CFNumberFloat(float def) const { return numberValue<float>(kCFNumberFloat32Type, def); }
double CFType::CFNumberDouble(double def) const { return numberValue<double>(kCFNumberFloat64Type, def); }

bool CFType::CFNumberBool(bool def) const
{
    if (!isCFBoolean())
        return def;
    uint8_t byte = def ? 1 : 0;
    call<Boolean(CFNumberRef, CFNumberType, void*)>([] { return "CFNumberGetValue"; }, Boolean(0), static_cast<CFNumberRef>(ref()),
                                                    CFNumberType(kCFNumberSInt8Type), static_cast<void*>(&byte));
    return byte != 0;
}

QByteArray CFType::CFDataBytes() const
{
    const int n = int(CFDataLength());
    if (n <= 0)
        return QByteArray();
    QByteArray bytes(n, '\0');
    cfcall::run<void(CFDataRef, CFRange, uint8_t*)>([] { return "CFDataGetBytes"; }, static_cast<CFDataRef>(ref()),
                                                    CFRange{0, CFIndex(n)},
                                                    reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
}

long CFType::CFDataLength() const
{
    if (!isCFData())
        return 0;
    return call<CFIndex(CFDataRef)>([] { return "CFDataGetLength"; }, CFIndex(0), static_cast<CFDataRef>(ref()));
}

QDateTime CFType::CFDateToDateTime(CFTimeZoneRef zone) const
{
    if (!isCFDate())
        return QDateTime();
    const double at =
        call<CFAbsoluteTime(CFDateRef)>([] { return "CFDateGetAbsoluteTime"; }, CFAbsoluteTime(0), static_cast<CFDateRef>(ref()));
    const CFGregorianDate none{0, 0, 0, 0, 0, 0.0};
    const CFGregorianDate g = call<CFGregorianDate(CFAbsoluteTime, CFTimeZoneRef)>([] { return "CFAbsoluteTimeGetGregorianDate"; },
                                                                                   none, at, zone);
    const QDate date(g.year, g.month, g.day);
    const QTime time(g.hour, g.minute, int(std::trunc(g.second)), 0);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::LocalTime);
}

QDateTime CFType::CFDateToDateTime(QString zoneName) const
{
    if (zoneName.isEmpty())
        return CFDateToDateTime(static_cast<CFTimeZoneRef>(nullptr));
    const CFType name = createCFString(zoneName);
    OwnedZone zone(call<CFTimeZoneRef(CFAllocatorRef, CFStringRef, Boolean)>(
        [] { return "CFTimeZoneCreateWithName"; }, static_cast<CFTimeZoneRef>(nullptr), static_cast<CFAllocatorRef>(nullptr),
        static_cast<CFStringRef>(name.ref()), Boolean(1)));
    return CFDateToDateTime(zone.get());
}

QDateTime CFType::CFDateToDateTime(int secondsFromGMT) const
{
    OwnedZone zone(call<CFTimeZoneRef(CFAllocatorRef, CFTimeInterval)>(
        [] { return "CFTimeZoneCreateWithTimeIntervalFromGMT"; }, static_cast<CFTimeZoneRef>(nullptr),
        static_cast<CFAllocatorRef>(nullptr), CFTimeInterval(secondsFromGMT)));
    return CFDateToDateTime(zone.get());
}

quint32 CFType::CFKeyedArchiverUIDGetValue() const
{
    if (!isCFKeyedArchiverUID())
        return 0;
    return call<uint32_t(CFKeyedArchiverUIDRef)>([] { return "_CFKeyedArchiverUIDGetValue"; }, uint32_t(0),
                                                 static_cast<CFKeyedArchiverUIDRef>(ref()));
}

QString CFType::toString() const
{
    if (isCFString())
        return CFStringQString();
    if (isCFNumber()) {
        const CFNumberType c =
            call<CFNumberType(CFNumberRef)>([] { return "CFNumberGetType"; }, CFNumberType(0), static_cast<CFNumberRef>(ref()));
        switch (c) {
        case kCFNumberFloat32Type:
        case kCFNumberFloat64Type:
        case kCFNumberFloatType:
        case kCFNumberDoubleType:
            return QString::number(CFNumberDouble(0.0), 'g', 6);
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType:
            return QString::number(CFNumberInt64(0));
        default:
            return QString::number(CFNumberInt(0));
        }
    }
    if (isCFBoolean())
        return CFNumberBool(false) ? QStringLiteral("1") : QStringLiteral("0");
    if (isCFDate())
        return CFDateToDateTime(static_cast<CFTimeZoneRef>(nullptr)).toString(Qt::TextDate);
    if (isCFData())
        return QString::fromUtf8(CFDataBytes());
    if (isCFKeyedArchiverUID())
        return QString::number(qint32(CFKeyedArchiverUIDGetValue()));
    return QString();
}

CFType CFType::createCFBoolean(bool value)
{
    const CFBooleanRef* constant = value ? cfcall::constant<CFBooleanRef>([] { return "kCFBooleanTrue"; })
                                         : cfcall::constant<CFBooleanRef>([] { return "kCFBooleanFalse"; });
    return constant ? CFType(*constant, false) : CFType();
}

CFType CFType::createNumber(CFNumberType type, const void* value)
{
    return CFType(call<CFNumberRef(CFAllocatorRef, CFNumberType, const void*)>(
                      [] { return "CFNumberCreate"; }, static_cast<CFNumberRef>(nullptr), static_cast<CFAllocatorRef>(nullptr), type,
                      value),
                  true);
}

CFType CFType::createCFNumberInt8(char value) { return createNumber(kCFNumberSInt8Type, &value); }
CFType CFType::createCFNumberInt16(short value) { return createNumber(kCFNumberSInt16Type, &value); }
CFType CFType::createCFNumberInt32(int value) { return createNumber(kCFNumberSInt32Type, &value); }
CFType CFType::createCFNumberInt64(long long value) { return createNumber(kCFNumberSInt64Type, &value); }
CFType CFType::createCFNumberFloat(float value) { return createNumber(kCFNumberFloat32Type, &value); }
CFType CFType::createCFNumberDouble(double value) { return createNumber(kCFNumberFloat64Type, &value); }
CFType CFType::createCFNumberCFIndex(long value) { return createNumber(kCFNumberCFIndexType, &value); }

CFType CFType::createCFString(QString text)
{
    const QByteArray utf8 = text.toUtf8();
    return CFType(call<CFStringRef(CFAllocatorRef, const uint8_t*, CFIndex, CFStringEncoding, Boolean)>(
                      [] { return "CFStringCreateWithBytes"; }, static_cast<CFStringRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), reinterpret_cast<const uint8_t*>(utf8.constData()),
                      CFIndex(utf8.size()), CFStringEncoding(kCFStringEncodingUTF8), Boolean(0)),
                  true);
}

CFType CFType::createCFData(QByteArray bytes)
{
    return CFType(call<CFDataRef(CFAllocatorRef, const uint8_t*, CFIndex)>(
                      [] { return "CFDataCreate"; }, static_cast<CFDataRef>(nullptr), static_cast<CFAllocatorRef>(nullptr),
                      reinterpret_cast<const uint8_t*>(bytes.constData()), CFIndex(bytes.size())),
                  true);
}

CFType CFType::createCFDate(QDateTime dt)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    const CFGregorianDate g{int32_t(d.year()), int8_t(d.month()), int8_t(d.day()), int8_t(t.hour()),
                            int8_t(t.minute()), double(t.second())};
    auto getAbsoluteTime = cfcall::Fn<CFAbsoluteTime(CFGregorianDate, CFTimeZoneRef)>::get(
        [] { return "CFGregorianDateGetAbsoluteTime"; });
    if (!getAbsoluteTime)
        return CFType();
    const CFAbsoluteTime at = getAbsoluteTime(g, nullptr);
    return CFType(call<CFDateRef(CFAllocatorRef, CFAbsoluteTime)>([] { return "CFDateCreate"; }, static_cast<CFDateRef>(nullptr),
                                                                 static_cast<CFAllocatorRef>(nullptr), at),
                  true);
}

CFType CFType::createCFKeyedArchiverUID(long index)
{
    return CFType(call<CFKeyedArchiverUIDRef(CFAllocatorRef, uint32_t)>(
                      [] { return "_CFKeyedArchiverUIDCreate"; }, static_cast<CFKeyedArchiverUIDRef>(nullptr),
                      static_cast<CFAllocatorRef>(nullptr), uint32_t(index)),
                  true);
}
