// Simulated service peers: the device side of a service started on a
// simulated device, run on a thread of the stand-in over one end of a socket
// pair. Each peer lives in a file of its own under peers/ and registers
// itself by name at load time:
//
//   static void runMyPeer(qsmd::SimPeerContext& ctx) { ... }
//   QSMD_SIM_PEER("my_peer", runMyPeer);
//
// A scenario's service names its peer with "Peer"; the peer reads its
// options from that service's dictionary. The peer returns when it is done,
// when the caller closes the connection (a read fails) or when `stop` is set
// (the library unloads); the runner then closes `fd`.
#pragma once

#include "simscenario.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace qsmd {

struct SimPeerContext
{
    int fd;                       // the device's end of the connection
    plist_t options;              // the service's dictionary (never null)
    std::string udid;             // the simulated device
    const std::atomic<bool>& stop;
};

using SimPeer = void (*)(SimPeerContext& ctx);

// Registers a peer; a later registration of a name replaces the earlier one.
bool registerSimPeer(const char* name, SimPeer peer);
// The peer of that name, or null.
SimPeer findSimPeer(const std::string& name);

#define QSMD_SIM_PEER(name, fn) static const bool qsmdSimPeerRegistered_##fn = qsmd::registerSimPeer(name, fn)

// Service framing from the device side: a 4-byte big-endian length, then a
// property list (XML or binary).
constexpr uint32_t kSimMaxFrame = 64u * 1024 * 1024;
// The next message (null when the body is no property list), or false when
// the connection ended or the frame is longer than kSimMaxFrame. `binary`
// tells the body's form.
bool readPeerFrame(SimPeerContext& ctx, Plist& message, bool* binary = nullptr);
bool writePeerFrame(SimPeerContext& ctx, plist_t message, bool binary);
bool writePeerBytes(SimPeerContext& ctx, const char* bytes, size_t len);

// Reads the option `key` of the service: text, data, boolean, integer.
std::string peerOptionText(const SimPeerContext& ctx, const char* key);
std::string peerOptionData(const SimPeerContext& ctx, const char* key);
bool peerOptionFlag(const SimPeerContext& ctx, const char* key, bool def);
long long peerOptionInt(const SimPeerContext& ctx, const char* key, long long def);

} // namespace qsmd
