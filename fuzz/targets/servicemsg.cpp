// Framed property-list messages of a device service, read from a socket pair
// whose other end holds the input and is then shut.
#include "fuzzsupport.h"

#include "mobiledevice_service.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        std::abort();
    const int buffer = 1 << 20;
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    if (size && send(fds[1], data, size, 0) != ssize_t(size))
        std::abort();
    shutdown(fds[1], SHUT_WR);
    for (int i = 0; i < 64 && fuzz::pendingBytes(fds[0]) > 0; ++i) {
        try {
            fuzz::walk(mobiledevice_recmsg(unsigned(fds[0]), CFType(), 100));
        } catch (const std::runtime_error&) {
            break;
        }
    }
    close(fds[0]);
    close(fds[1]);
    return 0;
}
