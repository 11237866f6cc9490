// The "file_relay" peer: the device side of the file_relay service. It reads
// the request; when it asks for an array of source names it answers
// { Status: Acknowledged } (else { Error: InvalidSource } and closes), then
// sends the bytes of its option "Archive" (data) and closes the connection.
// Knobs for the failures of a real device:
//   Reply         any value: sent in place of the acknowledgment
//   NoReply       boolean: closes without answering
//   ReplyDelayMs  integer: pause before answering; -1 waits until the
//                 caller closes
//   SendBytes     integer: sends only that many bytes of the archive
//   StallAfter    integer: pauses after that many bytes of the archive ...
//   StallMs       integer: ... for that long; -1 until the caller closes
#include "simpeer.h"
#include "socketio.h"

#include <algorithm>

namespace {

// Pauses for `ms` (-1: for ever); false when the caller closed meanwhile or
// the stand-in stops.
bool pause(qsmd::SimPeerContext& ctx, long long ms)
{
    if (ms == 0)
        return true;
    return qsmd::waitFd(ctx.fd, false, ms < 0 ? -1 : int(ms), ctx.stop) == qsmd::IoWait::TimedOut;
}

bool asksForSources(const qsmd::Plist& request)
{
    plist_t node = request.get();
    plist_t sources = node && plist_get_node_type(node) == PLIST_DICT ? plist_dict_get_item(node, "Sources") : nullptr;
    if (!sources || plist_get_node_type(sources) != PLIST_ARRAY || plist_array_get_size(sources) == 0)
        return false;
    for (uint32_t i = 0; i < plist_array_get_size(sources); ++i) {
        if (plist_get_node_type(plist_array_get_item(sources, i)) != PLIST_STRING)
            return false;
    }
    return true;
}

bool answer(qsmd::SimPeerContext& ctx, const qsmd::Plist& request)
{
    if (plist_t reply = plist_dict_get_item(ctx.options, "Reply"))
        return qsmd::writePeerFrame(ctx, reply, false);
    const bool valid = asksForSources(request);
    plist_t reply = plist_new_dict();
    if (valid)
        plist_dict_set_item(reply, "Status", plist_new_string("Acknowledged"));
    else
        plist_dict_set_item(reply, "Error", plist_new_string("InvalidSource"));
    const bool sent = qsmd::writePeerFrame(ctx, reply, false);
    plist_free(reply);
    return sent && valid;
}

void runFileRelay(qsmd::SimPeerContext& ctx)
{
    qsmd::Plist request;
    if (!qsmd::readPeerFrame(ctx, request) || qsmd::peerOptionFlag(ctx, "NoReply", false))
        return;
    if (!pause(ctx, qsmd::peerOptionInt(ctx, "ReplyDelayMs", 0)) || !answer(ctx, request))
        return;
    const std::string archive = qsmd::peerOptionData(ctx, "Archive");
    const size_t size = std::min<size_t>(archive.size(), size_t(qsmd::peerOptionInt(ctx, "SendBytes", archive.size())));
    const size_t stallAfter = std::min<size_t>(size, size_t(qsmd::peerOptionInt(ctx, "StallAfter", size)));
    if (!qsmd::writePeerBytes(ctx, archive.data(), stallAfter))
        return;
    if (stallAfter < size && pause(ctx, qsmd::peerOptionInt(ctx, "StallMs", -1)))
        qsmd::writePeerBytes(ctx, archive.data() + stallAfter, size - stallAfter);
}

} // namespace

QSMD_SIM_PEER("file_relay", runFileRelay);
