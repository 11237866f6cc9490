#include "amdevicecalls.h"

#include "mobiledevice_loader.h"

namespace amd {
namespace {

template <typename Sig, typename... Args>
auto call(const char* name, Args... args)
{
    return reinterpret_cast<Sig*>(mobiledevice_loader_mfThrow(name))(args...);
}

using DeviceFn = int(am_device*);

} // namespace

int notificationSubscribe(am_device_notification_callback callback, void* context)
{
    am_device_notification* handle = nullptr;
    return call<int(am_device_notification_callback, unsigned, unsigned, void*, am_device_notification**)>(
        "AMDeviceNotificationSubscribe", callback, 0u, 0u, context, &handle);
}

CFStringRef copyDeviceIdentifier(am_device* dev)
{
    return call<CFStringRef(am_device*)>("AMDeviceCopyDeviceIdentifier", dev);
}

int connect(am_device* dev)
{
    return call<DeviceFn>("AMDeviceConnect", dev);
}

int isPaired(am_device* dev)
{
    return call<DeviceFn>("AMDeviceIsPaired", dev);
}

int pair(am_device* dev)
{
    return call<DeviceFn>("AMDevicePair", dev);
}

int validatePairing(am_device* dev)
{
    return call<DeviceFn>("AMDeviceValidatePairing", dev);
}

int startSession(am_device* dev)
{
    return call<DeviceFn>("AMDeviceStartSession", dev);
}

CFPropertyListRef copyValue(am_device* dev, CFStringRef domain, CFStringRef key)
{
    return call<CFPropertyListRef(am_device*, CFStringRef, CFStringRef)>("AMDeviceCopyValue", dev, domain, key);
}

int setValue(am_device* dev, CFStringRef domain, CFStringRef key, CFPropertyListRef value)
{
    return call<int(am_device*, CFStringRef, CFStringRef, CFPropertyListRef)>("AMDeviceSetValue", dev, domain, key,
                                                                             value);
}

int startService(am_device* dev, CFStringRef name, unsigned int* socket)
{
    return call<int(am_device*, CFStringRef, unsigned int*, void*)>("AMDeviceStartService", dev, name, socket,
                                                                     static_cast<void*>(nullptr));
}

int stopSession(am_device* dev)
{
    return call<DeviceFn>("AMDeviceStopSession", dev);
}

int disconnect(am_device* dev)
{
    return call<DeviceFn>("AMDeviceDisconnect", dev);
}

} // namespace amd
