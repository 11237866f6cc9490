// Hands a device connection that is not a plain socket (an SSL session over
// usbmux) to the caller as a socket descriptor: a socket pair whose far end
// a bridge thread pumps to and from the connection in both directions.
// Closing either side ends the bridge and closes the other.
#pragma once

#include "threadset.h"

#include <cstdint>
#include <memory>

namespace qsmd {

// One device connection, used only by the bridge thread.
class BridgeChannel
{
public:
    virtual ~BridgeChannel() = default;
    // Bytes sent (all of them), or -1 when the connection failed.
    virtual int send(const char* buf, uint32_t len) = 0;
    // Bytes received (> 0), 0 when nothing came within `ms`, -1 when the
    // connection closed or failed.
    virtual int receive(char* buf, uint32_t len, unsigned ms) = 0;
};

// Bytes moved per transfer.
constexpr uint32_t kBridgeChunk = 64 * 1024;

// The caller's end of a new bridge, run on a thread of `threads`, or -1
// when no socket pair could be made (the channel is then dropped).
int startSocketBridge(ThreadSet& threads, std::unique_ptr<BridgeChannel> channel);

} // namespace qsmd
