/* Takes the MobileDevice library's place in the framework loader's tests,
 * and in the session test, where a device function it lacks
 * (AMDeviceCopyValue) makes a call in the middle of a session throw. It
 * counts the calls of the session's last two steps. */
#include <string.h>

static int stopSessionCalls;
static int disconnectCalls;

__attribute__((visibility("default"))) int AMDeviceConnect(void* device)
{
    (void)device;
    return 0;
}

__attribute__((visibility("default"))) int AMDeviceIsPaired(void* device)
{
    (void)device;
    return 1;
}

__attribute__((visibility("default"))) int AMDeviceValidatePairing(void* device)
{
    (void)device;
    return 0;
}

__attribute__((visibility("default"))) int AMDeviceStartSession(void* device)
{
    (void)device;
    return 0;
}

__attribute__((visibility("default"))) int AMDeviceStopSession(void* device)
{
    (void)device;
    ++stopSessionCalls;
    return 0;
}

__attribute__((visibility("default"))) int AMDeviceDisconnect(void* device)
{
    (void)device;
    ++disconnectCalls;
    return 0;
}

__attribute__((visibility("default"))) int QSFakeCallCount(const char* function)
{
    if (strcmp(function, "AMDeviceStopSession") == 0)
        return stopSessionCalls;
    if (strcmp(function, "AMDeviceDisconnect") == 0)
        return disconnectCalls;
    return -1;
}
