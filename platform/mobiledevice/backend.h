// One way of reaching devices behind the exported device functions: the
// simulated backend (QUILLSPROUT_DEVICE_SIM names a scenario) or usbmux (real
// devices). Values are libplist nodes here; the exports convert them.
#pragma once

#include "devicerecords.h"

#include <plist/plist.h>

namespace qsmd {

class Backend
{
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    virtual int subscribe(am_device_notification_callback callback, void* context) = 0;
    virtual int connect(am_device* device) = 0;
    virtual int isPaired(am_device* device) = 0;
    virtual int pair(am_device* device) = 0;
    virtual int validatePairing(am_device* device) = 0;
    virtual int startSession(am_device* device) = 0;
    // A new node that the caller frees, or null. Null domain: the default
    // one; null key: the whole domain.
    virtual plist_t copyValue(am_device* device, const char* domain, const char* key) = 0;
    // Takes `value` over.
    virtual int setValue(am_device* device, const char* domain, const char* key, plist_t value) = 0;
    virtual int startService(am_device* device, const char* service, int* fd) = 0;
    virtual int stopSession(am_device* device) = 0;
    virtual int disconnect(am_device* device) = 0;
};

// The backend of this process, chosen at the first call.
Backend& backend();
// The simulated backend, or null when the real one runs.
class SimBackend;
SimBackend* simBackend();

std::unique_ptr<Backend> makeUsbmuxBackend();

} // namespace qsmd
