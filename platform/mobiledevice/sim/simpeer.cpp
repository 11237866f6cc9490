#include "simpeer.h"

#include "socketio.h"

#include <map>
#include <mutex>

namespace qsmd {
namespace {

struct Registry
{
    std::mutex mutex;
    std::map<std::string, SimPeer> peers;
};

Registry& registry()
{
    static Registry r;
    return r;
}

} // namespace

bool registerSimPeer(const char* name, SimPeer peer)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.peers[name] = peer;
    return true;
}

SimPeer findSimPeer(const std::string& name)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.peers.find(name);
    return it == r.peers.end() ? nullptr : it->second;
}

bool readPeerFrame(SimPeerContext& ctx, Plist& message, bool* binary)
{
    unsigned char header[4];
    if (!readExact(ctx.fd, reinterpret_cast<char*>(header), 4, ctx.stop))
        return false;
    const uint32_t len = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 | uint32_t(header[2]) << 8 | header[3];
    if (len > kSimMaxFrame)
        return false;
    std::string body(len, '\0');
    if (!readExact(ctx.fd, &body[0], len, ctx.stop))
        return false;
    plist_t node = nullptr;
    if (len > 0)
        plist_from_memory(body.data(), len, &node);
    if (binary)
        *binary = len > 0 && plist_is_binary(body.data(), len);
    message = node ? adoptPlist(node) : Plist();
    return true;
}

bool writePeerFrame(SimPeerContext& ctx, plist_t message, bool binary)
{
    char* body = nullptr;
    uint32_t len = 0;
    if (binary)
        plist_to_bin(message, &body, &len);
    else
        plist_to_xml(message, &body, &len);
    const std::string bytes = body ? std::string(body, len) : std::string();
    free(body);
    const unsigned char header[4] = {uint8_t(len >> 24), uint8_t(len >> 16), uint8_t(len >> 8), uint8_t(len)};
    return writePeerBytes(ctx, reinterpret_cast<const char*>(header), 4)
           && writePeerBytes(ctx, bytes.data(), bytes.size());
}

bool writePeerBytes(SimPeerContext& ctx, const char* bytes, size_t len)
{
    return writeAll(ctx.fd, bytes, len, ctx.stop);
}

std::string peerOptionText(const SimPeerContext& ctx, const char* key)
{
    plist_t node = plist_dict_get_item(ctx.options, key);
    char* s = nullptr;
    if (node && plist_get_node_type(node) == PLIST_STRING)
        plist_get_string_val(node, &s);
    const std::string out = s ? s : "";
    free(s);
    return out;
}

std::string peerOptionData(const SimPeerContext& ctx, const char* key)
{
    plist_t node = plist_dict_get_item(ctx.options, key);
    char* bytes = nullptr;
    uint64_t len = 0;
    if (node && plist_get_node_type(node) == PLIST_DATA)
        plist_get_data_val(node, &bytes, &len);
    const std::string out = bytes ? std::string(bytes, len) : std::string();
    free(bytes);
    return out;
}

bool peerOptionFlag(const SimPeerContext& ctx, const char* key, bool def)
{
    plist_t node = plist_dict_get_item(ctx.options, key);
    if (!node || plist_get_node_type(node) != PLIST_BOOLEAN)
        return def;
    uint8_t v = 0;
    plist_get_bool_val(node, &v);
    return v != 0;
}

long long peerOptionInt(const SimPeerContext& ctx, const char* key, long long def)
{
    plist_t node = plist_dict_get_item(ctx.options, key);
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return def;
    uint64_t v = 0;
    plist_get_uint_val(node, &v);
    return static_cast<long long>(v);
}

} // namespace qsmd
