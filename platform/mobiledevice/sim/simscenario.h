// The scenario of the simulated device backend, read from the property-list
// file (XML or binary) that QUILLSPROUT_DEVICE_SIM names. Shared by the
// MobileDevice stand-in and the backup tool stand-in.
//
// Format: a dictionary
//   Devices        array of device dictionaries:
//     UniqueDeviceID string, required, unique
//     Paired         boolean, default true: whether the host holds a pairing
//     Ignored        boolean, default false: the record's device word is 0,
//                    so the application ignores its notifications
//     Values         dictionary: the default lockdown domain
//     Domains        dictionary: domain name -> dictionary of its values
//     Results        dictionary: device function name (AMDeviceConnect,
//                    AMDevicePair, AMDeviceValidatePairing,
//                    AMDeviceStartSession, AMDeviceSetValue,
//                    AMDeviceStartService) -> integer result returned by
//                    every call of it on this device instead of working
//     Services       dictionary: service name -> dictionary with
//                      Peer  string, the registered peer that answers
//                            (default: the service name)
//                    and any options of that peer
//     BackupTool     dictionary: what the backup tool stand-in does for
//                    this device (platform/backuptool/simbackup.h)
//   Events         array of dictionaries, delivered in order:
//     Event          "attach" or "detach" (or Code, any integer message code)
//     Device         the UniqueDeviceID it concerns
//     DelayMs        integer, default 0: pause before it
//   ManualEvents   boolean, default false: when true the events wait for
//                  QSMDSimFireNextEvent; otherwise a thread delivers them
//                  once the application subscribes.
// Integers are read as signed 64-bit values (libplist keeps them unsigned).
#pragma once

#include <plist/plist.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qsmd {

// A libplist node with its owner; copies share it.
using Plist = std::shared_ptr<void>;
Plist adoptPlist(plist_t node);

// Readers of a dictionary's entries (the dictionary may be null): a missing
// key or a value of another type gives null, the empty text, `def` or false.
plist_t item(plist_t dict, const char* key, plist_type type);
std::string text(plist_t dict, const char* key);
bool flag(plist_t dict, const char* key, bool def);
bool integer(plist_t dict, const char* key, long long& out);

// The largest scenario file read.
constexpr long long kMaxScenarioBytes = 64LL * 1024 * 1024;

struct SimService
{
    std::string peer;
    Plist options; // the service's dictionary
};

struct SimDevice
{
    std::string udid;
    bool paired = true;
    bool ignored = false;
    Plist values;                          // dictionary, never null
    std::map<std::string, Plist> domains;  // each a dictionary
    std::map<std::string, long long> results;
    std::map<std::string, SimService> services;
    Plist backupTool; // dictionary, never null
};

struct SimEvent
{
    long long code = 0;
    std::string udid;
    long long delayMs = 0;
};

struct SimScenario
{
    std::vector<SimDevice> devices;
    std::vector<SimEvent> events;
    bool manualEvents = false;

    const SimDevice* device(const std::string& udid) const;
    // False with `error` set when the file is unreadable or malformed.
    static bool load(const std::string& path, SimScenario& out, std::string& error);
    static bool parse(plist_t root, SimScenario& out, std::string& error);
};

} // namespace qsmd
