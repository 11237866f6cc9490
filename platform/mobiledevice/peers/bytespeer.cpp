// The "bytes" peer: writes the raw bytes of its option "Send" (data) as they
// stand, then closes the connection, or with "Close" false waits for the
// caller to close it. It stands for a device that answers with broken,
// truncated or oversized frames.
#include "simpeer.h"

namespace {

void runBytes(qsmd::SimPeerContext& ctx)
{
    const std::string bytes = qsmd::peerOptionData(ctx, "Send");
    if (!qsmd::writePeerBytes(ctx, bytes.data(), bytes.size()))
        return;
    if (qsmd::peerOptionFlag(ctx, "Close", true))
        return;
    qsmd::Plist ignored;
    while (qsmd::readPeerFrame(ctx, ignored)) {
    }
}

} // namespace

QSMD_SIM_PEER("bytes", runBytes);
