/* The MobileDevice stand-in: the twelve device functions the application
 * resolves by name, exported with C linkage, plus the QSMDSim... functions
 * of our own with which tests drive the simulated backend. Values crossing
 * the interface are objects of the CoreFoundation stand-in; copied values
 * belong to the caller (+1). Results are 0 on success. Plain C. */
#ifndef QS_MOBILEDEVICESTANDIN_H
#define QS_MOBILEDEVICESTANDIN_H

#include "cftypes.h"
#include "mobiledevicetypes.h"

#define QSMD_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Attach and detach events reach `callback` with `context`, on a thread of
 * the stand-in, one at a time. The two numbers are unused. */
QSMD_EXPORT int AMDeviceNotificationSubscribe(am_device_notification_callback callback, unsigned int unused0,
                                              unsigned int unused1, void* context,
                                              am_device_notification** handle);
QSMD_EXPORT CFStringRef AMDeviceCopyDeviceIdentifier(am_device* device);
QSMD_EXPORT int AMDeviceConnect(am_device* device);
/* Non-zero when the host holds a pairing record of the device. */
QSMD_EXPORT int AMDeviceIsPaired(am_device* device);
QSMD_EXPORT int AMDevicePair(am_device* device);
QSMD_EXPORT int AMDeviceValidatePairing(am_device* device);
QSMD_EXPORT int AMDeviceStartSession(am_device* device);
/* A null domain is the default one; a null key gives the whole domain. */
QSMD_EXPORT CFPropertyListRef AMDeviceCopyValue(am_device* device, CFStringRef domain, CFStringRef key);
QSMD_EXPORT int AMDeviceSetValue(am_device* device, CFStringRef domain, CFStringRef key, CFPropertyListRef value);
/* On success *socket is a connected stream socket that the caller closes. */
QSMD_EXPORT int AMDeviceStartService(am_device* device, CFStringRef name, unsigned int* socket, void* unused);
QSMD_EXPORT int AMDeviceStopSession(am_device* device);
QSMD_EXPORT int AMDeviceDisconnect(am_device* device);

/* "sim" or "usbmux": the backend chosen when the library loaded. */
QSMD_EXPORT const char* QSMDBackendName(void);
/* Simulated backend only. Replaces the scenario (0, or -1 when the file is
 * unreadable or malformed, keeping the old one); device records of the old
 * scenario stay valid but stand for no device. */
QSMD_EXPORT int QSMDSimLoadScenario(const char* path);
/* Delivers the next scripted event on the calling thread: 1, or 0 when the
 * script is done. For scenarios whose events are not delivered on their own. */
QSMD_EXPORT int QSMDSimFireNextEvent(void);
/* The record of a scenario's device, or null. */
QSMD_EXPORT am_device* QSMDSimDevice(const char* udid);
/* How often the named device function was called since the scenario loaded. */
QSMD_EXPORT int QSMDSimCallCount(const char* function);

#ifdef __cplusplus
}
#endif

#endif
