/* The CoreFoundation stand-in: reference-counted property-list objects
 * (strings, numbers, booleans, dates, data, keyed-archiver UIDs, arrays,
 * dictionaries) and property-list reading and writing, exported with C
 * linkage under the names the application resolves at run time. The
 * QSCF... functions are this project's own bridge to libplist for the other
 * stand-ins that link this library. Plain C. */
#ifndef QS_CFSTANDIN_H
#define QS_CFSTANDIN_H

#include "cftypes.h"

#include <plist/plist.h>

#define QSCF_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Objects */
QSCF_EXPORT CFTypeID CFGetTypeID(CFTypeRef object);
QSCF_EXPORT CFTypeRef CFRetain(CFTypeRef object);
QSCF_EXPORT void CFRelease(CFTypeRef object);
QSCF_EXPORT CFIndex CFGetRetainCount(CFTypeRef object);
QSCF_EXPORT CFTypeID CFNullGetTypeID(void);

/* Strings: UTF-16 code units; only the UTF-8 encoding converts. */
QSCF_EXPORT CFTypeID CFStringGetTypeID(void);
QSCF_EXPORT CFIndex CFStringGetLength(CFStringRef string);
QSCF_EXPORT CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding,
                                     uint8_t lossByte, Boolean isExternalRepresentation, uint8_t* buffer,
                                     CFIndex maxBufLen, CFIndex* usedBufLen);
QSCF_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef allocator, const uint8_t* bytes, CFIndex numBytes,
                                                CFStringEncoding encoding, Boolean isExternalRepresentation);

/* Numbers and booleans */
QSCF_EXPORT CFTypeID CFNumberGetTypeID(void);
QSCF_EXPORT CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType type, const void* valuePtr);
QSCF_EXPORT CFNumberType CFNumberGetType(CFNumberRef number);
QSCF_EXPORT Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);
QSCF_EXPORT CFTypeID CFBooleanGetTypeID(void);
QSCF_EXPORT extern const CFBooleanRef kCFBooleanTrue;
QSCF_EXPORT extern const CFBooleanRef kCFBooleanFalse;

/* Dates and time zones */
QSCF_EXPORT CFTypeID CFDateGetTypeID(void);
QSCF_EXPORT CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
QSCF_EXPORT CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date);
QSCF_EXPORT CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef zone);
QSCF_EXPORT CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate date, CFTimeZoneRef zone);
QSCF_EXPORT CFTimeZoneRef CFTimeZoneCreateWithName(CFAllocatorRef allocator, CFStringRef name,
                                                   Boolean tryAbbreviations);
QSCF_EXPORT CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef allocator,
                                                                  CFTimeInterval secondsFromGMT);

/* Data */
QSCF_EXPORT CFTypeID CFDataGetTypeID(void);
QSCF_EXPORT CFDataRef CFDataCreate(CFAllocatorRef allocator, const uint8_t* bytes, CFIndex length);
QSCF_EXPORT CFIndex CFDataGetLength(CFDataRef data);
QSCF_EXPORT void CFDataGetBytes(CFDataRef data, CFRange range, uint8_t* buffer);

/* Keyed-archiver UIDs */
QSCF_EXPORT CFTypeID _CFKeyedArchiverUIDGetTypeID(void);
QSCF_EXPORT CFKeyedArchiverUIDRef _CFKeyedArchiverUIDCreate(CFAllocatorRef allocator, uint32_t value);
QSCF_EXPORT uint32_t _CFKeyedArchiverUIDGetValue(CFKeyedArchiverUIDRef uid);

/* Dictionaries: keys compared and hashed by value. */
QSCF_EXPORT CFTypeID CFDictionaryGetTypeID(void);
QSCF_EXPORT extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
QSCF_EXPORT extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
QSCF_EXPORT CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                             const CFDictionaryKeyCallBacks* keyCallBacks,
                                                             const CFDictionaryValueCallBacks* valueCallBacks);
QSCF_EXPORT CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values,
                                               CFIndex count, const CFDictionaryKeyCallBacks* keyCallBacks,
                                               const CFDictionaryValueCallBacks* valueCallBacks);
QSCF_EXPORT CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                                                 CFDictionaryRef dictionary);
QSCF_EXPORT CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary);
QSCF_EXPORT const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
QSCF_EXPORT void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value);
QSCF_EXPORT void CFDictionaryReplaceValue(CFMutableDictionaryRef dictionary, const void* key, const void* value);
QSCF_EXPORT void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys, const void** values);

/* Arrays */
QSCF_EXPORT CFTypeID CFArrayGetTypeID(void);
QSCF_EXPORT extern const CFArrayCallBacks kCFTypeArrayCallBacks;
QSCF_EXPORT CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                   const CFArrayCallBacks* callBacks);
QSCF_EXPORT CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex count,
                                     const CFArrayCallBacks* callBacks);
QSCF_EXPORT CFIndex CFArrayGetCount(CFArrayRef array);
QSCF_EXPORT const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);
QSCF_EXPORT void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
QSCF_EXPORT void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex index, const void* value);

/* Property lists: XML or binary, detected when reading. */
QSCF_EXPORT CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data,
                                                           CFOptionFlags options, CFPropertyListFormat* format,
                                                           CFErrorRef* error);
QSCF_EXPORT CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                               CFPropertyListFormat format, CFOptionFlags options,
                                               CFErrorRef* error);

/* Bridge to libplist. QSCFCreateFromPlist gives a new immutable object that
 * the caller owns, or null when the node cannot be represented;
 * QSCFCopyPlist gives a new node that the caller frees with plist_free, or
 * null for an object that is not a property list. */
QSCF_EXPORT CFPropertyListRef QSCFCreateFromPlist(plist_t node);
QSCF_EXPORT plist_t QSCFCopyPlist(CFPropertyListRef object);

#ifdef __cplusplus
}
#endif

#endif
