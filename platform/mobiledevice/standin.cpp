// The exported device functions: argument checks, conversion between the
// CoreFoundation stand-in's objects and libplist nodes, and the call into the
// backend chosen when the library is first used.
#include "mobiledevicestandin.h"

#include "backend.h"
#include "cfstandin.h"
#include "simbackend.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qsmd {
namespace {

// The longest name or key accepted from a caller, in bytes.
constexpr CFIndex kMaxNameBytes = 64 * 1024;

struct Chosen
{
    Chosen()
    {
        const char* scenario = std::getenv("QUILLSPROUT_DEVICE_SIM");
        if (scenario && *scenario) {
            auto s = std::make_unique<SimBackend>();
            std::string error;
            if (!s->loadScenario(scenario, error))
                std::fprintf(stderr, "Simulated devices: %s\n", error.c_str());
            sim = s.get();
            active = std::move(s);
        } else {
            active = makeUsbmuxBackend();
        }
    }
    std::unique_ptr<Backend> active;
    SimBackend* sim = nullptr;
};

Chosen& chosen()
{
    static Chosen c;
    return c;
}

// The UTF-8 text of a string object; false for null, a non-string or an
// overlong text.
bool utf8(CFStringRef string, std::string& out)
{
    if (!string || CFGetTypeID(string) != CFStringGetTypeID())
        return false;
    const CFRange all{0, CFStringGetLength(string)};
    CFIndex needed = 0;
    CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &needed);
    if (needed < 0 || needed > kMaxNameBytes)
        return false;
    out.assign(size_t(needed), '\0');
    CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, reinterpret_cast<uint8_t*>(&out[0]), needed,
                     &needed);
    return true;
}

// An optional string argument: null stays null; a non-string is refused.
bool optionalUtf8(CFStringRef string, std::string& out, const char*& pointer)
{
    pointer = nullptr;
    if (!string)
        return true;
    if (!utf8(string, out))
        return false;
    pointer = out.c_str();
    return true;
}

} // namespace

Backend& backend()
{
    return *chosen().active;
}

SimBackend* simBackend()
{
    return chosen().sim;
}

} // namespace qsmd

using qsmd::backend;

extern "C" {

int AMDeviceNotificationSubscribe(am_device_notification_callback callback, unsigned int, unsigned int,
                                  void* context, am_device_notification** handle)
{
    if (!callback)
        return kQSMDErrorInvalidArgument;
    if (handle)
        *handle = nullptr;
    return backend().subscribe(callback, context);
}

CFStringRef AMDeviceCopyDeviceIdentifier(am_device* device)
{
    if (!device)
        return nullptr;
    const std::string& udid = device->state->udid;
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const uint8_t*>(udid.data()), CFIndex(udid.size()),
                                   kCFStringEncodingUTF8, false);
}

int AMDeviceConnect(am_device* device)
{
    return device ? backend().connect(device) : kQSMDErrorInvalidArgument;
}

int AMDeviceIsPaired(am_device* device)
{
    return device ? backend().isPaired(device) : 0;
}

int AMDevicePair(am_device* device)
{
    return device ? backend().pair(device) : kQSMDErrorInvalidArgument;
}

int AMDeviceValidatePairing(am_device* device)
{
    return device ? backend().validatePairing(device) : kQSMDErrorInvalidArgument;
}

int AMDeviceStartSession(am_device* device)
{
    return device ? backend().startSession(device) : kQSMDErrorInvalidArgument;
}

CFPropertyListRef AMDeviceCopyValue(am_device* device, CFStringRef domain, CFStringRef key)
{
    std::string domainText, keyText;
    const char* d = nullptr;
    const char* k = nullptr;
    if (!device || !qsmd::optionalUtf8(domain, domainText, d) || !qsmd::optionalUtf8(key, keyText, k))
        return nullptr;
    plist_t node = backend().copyValue(device, d, k);
    CFPropertyListRef value = node ? QSCFCreateFromPlist(node) : nullptr;
    plist_free(node);
    return value;
}

int AMDeviceSetValue(am_device* device, CFStringRef domain, CFStringRef key, CFPropertyListRef value)
{
    std::string domainText, keyText;
    const char* d = nullptr;
    const char* k = nullptr;
    if (!device || !value || !qsmd::optionalUtf8(domain, domainText, d) || !qsmd::optionalUtf8(key, keyText, k))
        return kQSMDErrorInvalidArgument;
    plist_t node = QSCFCopyPlist(value);
    if (!node)
        return kQSMDErrorInvalidArgument;
    return backend().setValue(device, d, k, node);
}

int AMDeviceStartService(am_device* device, CFStringRef name, unsigned int* socket, void*)
{
    std::string service;
    if (!device || !socket || !qsmd::utf8(name, service))
        return kQSMDErrorInvalidArgument;
    int fd = -1;
    const int result = backend().startService(device, service.c_str(), &fd);
    if (result == 0)
        *socket = unsigned(fd);
    return result;
}

int AMDeviceStopSession(am_device* device)
{
    return device ? backend().stopSession(device) : kQSMDErrorInvalidArgument;
}

int AMDeviceDisconnect(am_device* device)
{
    return device ? backend().disconnect(device) : kQSMDErrorInvalidArgument;
}

const char* QSMDBackendName(void)
{
    return backend().name();
}

int QSMDSimLoadScenario(const char* path)
{
    qsmd::SimBackend* sim = qsmd::simBackend();
    std::string error;
    if (!sim || !path)
        return -1;
    if (sim->loadScenario(path, error))
        return 0;
    std::fprintf(stderr, "Simulated devices: %s\n", error.c_str());
    return -1;
}

int QSMDSimFireNextEvent(void)
{
    qsmd::SimBackend* sim = qsmd::simBackend();
    return sim && sim->fireNextEvent() ? 1 : 0;
}

am_device* QSMDSimDevice(const char* udid)
{
    qsmd::SimBackend* sim = qsmd::simBackend();
    return sim && udid ? sim->device(udid) : nullptr;
}

int QSMDSimCallCount(const char* function)
{
    qsmd::SimBackend* sim = qsmd::simBackend();
    return sim && function ? sim->callCount(function) : 0;
}

} // extern "C"
