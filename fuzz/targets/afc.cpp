// AFC replies, read from a socket pair whose other end holds the input and is
// then shut: each request of a round of file operations takes the next reply.
#include "fuzzsupport.h"

#include "mobiledevice_afc_packets.h"

#include <stdexcept>

namespace {

void operation(unsigned int socket, int which)
{
    switch (which % 6) {
    case 0: {
        _AFCHeader header;
        int status = 0;
        (void)mobiledevice_afc_read_data(socket, header, &status);
        break;
    }
    case 1:
        (void)mobiledevice_afc_read_dir(socket, QStringLiteral("/"));
        break;
    case 2:
        (void)mobiledevice_afc_file_info(socket, QStringLiteral("/a"));
        break;
    case 3:
        (void)mobiledevice_afc_open_file(socket, QStringLiteral("/a"), kAfcModeRead);
        break;
    case 4: {
        QByteArray buffer(4096, '\0');
        (void)mobiledevice_afc_file_read(socket, 1, buffer.data(), unsigned(buffer.size()));
        break;
    }
    default:
        (void)mobiledevice_afc_file_lock(socket, 1, 2);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const fuzz::InputSocket socket(data, size);
    // The first byte chooses where in the round the requests begin.
    const int first = size ? data[0] : 0;
    for (int i = 0; i < 64 && fuzz::pendingBytes(socket.fd()) > 0; ++i) {
        try {
            operation(unsigned(socket.fd()), first + i);
        } catch (const std::runtime_error&) {
        }
    }
    return 0;
}
