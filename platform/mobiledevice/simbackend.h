// The simulated backend: the devices, values, results and events of a
// scenario (see simscenario.h), and services answered by registered peers
// (see simpeer.h) on threads over socket pairs.
#pragma once

#include "backend.h"
#include "simscenario.h"
#include "threadset.h"

#include <map>
#include <mutex>
#include <string>

namespace qsmd {

class SimBackend : public Backend
{
public:
    SimBackend();
    ~SimBackend() override;

    bool loadScenario(const std::string& path, std::string& error);
    bool fireNextEvent();
    am_device* device(const std::string& udid);
    int callCount(const std::string& function);

    const char* name() const override { return "sim"; }
    int subscribe(am_device_notification_callback callback, void* context) override;
    int connect(am_device* device) override;
    int isPaired(am_device* device) override;
    int pair(am_device* device) override;
    int validatePairing(am_device* device) override;
    int startSession(am_device* device) override;
    plist_t copyValue(am_device* device, const char* domain, const char* key) override;
    int setValue(am_device* device, const char* domain, const char* key, plist_t value) override;
    int startService(am_device* device, const char* service, int* fd) override;
    int stopSession(am_device* device) override;
    int disconnect(am_device* device) override;

private:
    struct State;
    // Counts the call; the device's state when it is part of the scenario.
    State* enter(am_device* device, const char* function);
    // The injected result of the function on this device, when one is set.
    bool injected(State* s, const char* function, int& result);
    // A step that needs a connection: the injected result, or `apply`'s.
    template <typename Apply>
    int connectedStep(am_device* device, const char* function, Apply apply);
    void deliverEventsInBackground();
    bool takeNextEvent(SimEvent& event, am_device*& record);

    std::mutex m_mutex;
    SimScenario m_scenario;
    size_t m_nextEvent = 0;
    std::map<std::string, int> m_calls;
    DeviceRecords m_records;
    Subscribers m_subscribers;
    ThreadSet m_peers;
    ThreadSet m_events; // last member: stopped first
};

} // namespace qsmd
