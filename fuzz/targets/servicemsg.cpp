// Framed property-list messages of a device service, read from a socket pair
// whose other end holds the input and is then shut.
#include "fuzzsupport.h"

#include "mobiledevice_service.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const fuzz::InputSocket socket(data, size);
    for (int i = 0; i < 64 && fuzz::pendingBytes(socket.fd()) > 0; ++i) {
        try {
            fuzz::walk(mobiledevice_recmsg(unsigned(socket.fd()), CFType(), 100));
        } catch (const std::runtime_error&) {
            break;
        }
    }
    return 0;
}
