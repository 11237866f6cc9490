// The MobileDevice functions as the device code calls them: each looked up
// by name in the loaded framework at every call. A name the framework does
// not provide is never called; the call throws a std::runtime_error that
// names it.
#pragma once

#include "cftypes.h"
#include "mobiledevicetypes.h"

namespace amd {

int notificationSubscribe(am_device_notification_callback callback, void* context);
CFStringRef copyDeviceIdentifier(am_device* dev);
int connect(am_device* dev);
int isPaired(am_device* dev);
int pair(am_device* dev);
int validatePairing(am_device* dev);
int startSession(am_device* dev);
CFPropertyListRef copyValue(am_device* dev, CFStringRef domain, CFStringRef key);
int setValue(am_device* dev, CFStringRef domain, CFStringRef key, CFPropertyListRef value);
int startService(am_device* dev, CFStringRef name, unsigned int* socket);
int stopSession(am_device* dev);
int disconnect(am_device* dev);

} // namespace amd
