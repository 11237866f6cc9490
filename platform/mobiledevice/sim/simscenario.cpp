#include "simscenario.h"

#include <fstream>
#include <iterator>

namespace qsmd {

plist_t item(plist_t dict, const char* key, plist_type type)
{
    plist_t node = dict ? plist_dict_get_item(dict, key) : nullptr;
    return node && plist_get_node_type(node) == type ? node : nullptr;
}

std::string text(plist_t dict, const char* key)
{
    std::string out;
    if (plist_t node = item(dict, key, PLIST_STRING)) {
        char* s = nullptr;
        plist_get_string_val(node, &s);
        out = s ? s : "";
        free(s);
    }
    return out;
}

bool flag(plist_t dict, const char* key, bool def)
{
    plist_t node = item(dict, key, PLIST_BOOLEAN);
    if (!node)
        return def;
    uint8_t v = 0;
    plist_get_bool_val(node, &v);
    return v != 0;
}

bool integer(plist_t dict, const char* key, long long& out)
{
    plist_t node = item(dict, key, PLIST_UINT);
    if (!node)
        return false;
    uint64_t v = 0;
    plist_get_uint_val(node, &v);
    out = static_cast<long long>(v);
    return true;
}

namespace {

// Calls `fn(key, node)` for each entry of a dictionary.
template <typename Fn>
void forEachEntry(plist_t dict, Fn fn)
{
    if (!dict)
        return;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &key, &value);
        if (!key)
            break;
        fn(std::string(key), value);
        free(key);
    }
    free(it);
}

Plist copyDict(plist_t node)
{
    return adoptPlist(node ? plist_copy(node) : plist_new_dict());
}

bool parseDevice(plist_t dict, SimDevice& d, std::string& error)
{
    d.udid = text(dict, "UniqueDeviceID");
    if (d.udid.empty()) {
        error = "a device has no UniqueDeviceID";
        return false;
    }
    d.paired = flag(dict, "Paired", true);
    d.ignored = flag(dict, "Ignored", false);
    d.values = copyDict(item(dict, "Values", PLIST_DICT));
    d.backupTool = copyDict(item(dict, "BackupTool", PLIST_DICT));
    forEachEntry(item(dict, "Domains", PLIST_DICT), [&](const std::string& name, plist_t value) {
        if (plist_get_node_type(value) == PLIST_DICT)
            d.domains[name] = copyDict(value);
    });
    plist_t results = item(dict, "Results", PLIST_DICT);
    forEachEntry(results, [&](const std::string& name, plist_t) {
        long long v = 0;
        if (integer(results, name.c_str(), v))
            d.results[name] = v;
    });
    forEachEntry(item(dict, "Services", PLIST_DICT), [&](const std::string& name, plist_t value) {
        if (plist_get_node_type(value) != PLIST_DICT)
            return;
        SimService s;
        s.peer = text(value, "Peer");
        if (s.peer.empty())
            s.peer = name;
        s.options = copyDict(value);
        d.services[name] = s;
    });
    return true;
}

bool parseEvent(plist_t dict, const SimScenario& sc, SimEvent& e, std::string& error)
{
    const std::string kind = text(dict, "Event");
    if (kind == "attach")
        e.code = 1;
    else if (kind == "detach")
        e.code = 2;
    else if (!integer(dict, "Code", e.code)) {
        error = "an event is neither attach nor detach and has no Code";
        return false;
    }
    e.udid = text(dict, "Device");
    if (!sc.device(e.udid)) {
        error = "an event names the unknown device \"" + e.udid + "\"";
        return false;
    }
    integer(dict, "DelayMs", e.delayMs);
    return true;
}

} // namespace

Plist adoptPlist(plist_t node)
{
    return Plist(node, [](void* p) { plist_free(static_cast<plist_t>(p)); });
}

const SimDevice* SimScenario::device(const std::string& udid) const
{
    for (const SimDevice& d : devices)
        if (d.udid == udid)
            return &d;
    return nullptr;
}

bool SimScenario::parse(plist_t root, SimScenario& out, std::string& error)
{
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        error = "the scenario is not a dictionary";
        return false;
    }
    SimScenario sc;
    plist_t devices = item(root, "Devices", PLIST_ARRAY);
    for (uint32_t i = 0; devices && i < plist_array_get_size(devices); ++i) {
        SimDevice d;
        if (!parseDevice(plist_array_get_item(devices, i), d, error))
            return false;
        if (sc.device(d.udid)) {
            error = "the device \"" + d.udid + "\" is listed twice";
            return false;
        }
        sc.devices.push_back(d);
    }
    plist_t events = item(root, "Events", PLIST_ARRAY);
    for (uint32_t i = 0; events && i < plist_array_get_size(events); ++i) {
        SimEvent e;
        if (!parseEvent(plist_array_get_item(events, i), sc, e, error))
            return false;
        sc.events.push_back(e);
    }
    sc.manualEvents = flag(root, "ManualEvents", false);
    out = sc;
    return true;
}

bool SimScenario::load(const std::string& path, SimScenario& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    if (in) {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size < 0 || size > kMaxScenarioBytes) {
            error = "the scenario file " + path + " is too large";
            return false;
        }
        in.seekg(0);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!in || bytes.empty()) {
        error = "cannot read the scenario file " + path;
        return false;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), uint32_t(bytes.size()), &root);
    const Plist owner = adoptPlist(root);
    if (!root) {
        error = "the scenario file " + path + " is no property list";
        return false;
    }
    return parse(root, out, error);
}

} // namespace qsmd
