/* The value types of the CoreFoundation stand-in: the handles, scalars and
 * records that its functions take and return. Types only, no functions, so
 * code that resolves the functions by name at run time can include it
 * without linking the stand-in. Plain C. */
#ifndef QS_CFTYPES_H
#define QS_CFTYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const void* CFTypeRef;
typedef const void* CFAllocatorRef; /* only the default (null) allocator exists */
typedef const struct QSCFOpaqueString* CFStringRef;
typedef const struct QSCFOpaqueNumber* CFNumberRef;
typedef const struct QSCFOpaqueBoolean* CFBooleanRef;
typedef const struct QSCFOpaqueDate* CFDateRef;
typedef const struct QSCFOpaqueData* CFDataRef;
typedef const struct QSCFOpaqueTimeZone* CFTimeZoneRef;
typedef const struct QSCFOpaqueUID* CFKeyedArchiverUIDRef;
typedef const struct QSCFOpaqueDictionary* CFDictionaryRef;
typedef struct QSCFOpaqueDictionary* CFMutableDictionaryRef;
typedef const struct QSCFOpaqueArray* CFArrayRef;
typedef struct QSCFOpaqueArray* CFMutableArrayRef;
typedef const struct QSCFOpaqueError* CFErrorRef; /* never made: errors are reported as null */
typedef CFTypeRef CFPropertyListRef;

typedef unsigned long CFTypeID;
typedef long CFIndex;
typedef unsigned long CFOptionFlags;
typedef unsigned char Boolean;
typedef uint32_t CFStringEncoding;
typedef CFIndex CFNumberType;
typedef CFIndex CFPropertyListFormat;
typedef double CFAbsoluteTime;
typedef double CFTimeInterval;

typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;

typedef struct {
    int32_t year;
    int8_t month;
    int8_t day;
    int8_t hour;
    int8_t minute;
    double second;
} CFGregorianDate;

/* The call-back records of the containers. The stand-in's containers always
 * retain what they hold and compare and hash keys by value; the records exist
 * so that callers can pass the standard ones by address. */
typedef struct {
    CFIndex version;
    const void* (*retain)(CFAllocatorRef allocator, const void* value);
    void (*release)(CFAllocatorRef allocator, const void* value);
    CFStringRef (*copyDescription)(const void* value);
    Boolean (*equal)(const void* value1, const void* value2);
    unsigned long (*hash)(const void* value);
} CFDictionaryKeyCallBacks;

typedef struct {
    CFIndex version;
    const void* (*retain)(CFAllocatorRef allocator, const void* value);
    void (*release)(CFAllocatorRef allocator, const void* value);
    CFStringRef (*copyDescription)(const void* value);
    Boolean (*equal)(const void* value1, const void* value2);
} CFDictionaryValueCallBacks;

typedef CFDictionaryValueCallBacks CFArrayCallBacks;

enum {
    kCFStringEncodingUTF8 = 0x08000100
};

enum {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10,
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14
};

enum {
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200
};

enum {
    kCFPropertyListImmutable = 0,
    kCFPropertyListMutableContainers = 1
};

#ifdef __cplusplus
}
#endif

#endif
