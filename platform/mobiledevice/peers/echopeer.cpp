// The "echo" peer: sends every framed message back in the form it came in,
// until the caller closes the connection. For demonstrations and tests of
// the service framing.
#include "simpeer.h"

namespace {

void runEcho(qsmd::SimPeerContext& ctx)
{
    qsmd::Plist message;
    bool binary = false;
    while (qsmd::readPeerFrame(ctx, message, &binary)) {
        if (message && !qsmd::writePeerFrame(ctx, message.get(), binary))
            return;
    }
}

} // namespace

QSMD_SIM_PEER("echo", runEcho);
