#include "simbackend.h"

#include "simpeer.h"

#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qsmd {

struct SimBackend::State : DeviceState
{
    bool present = false; // part of the current scenario
    bool connected = false;
    bool session = false;
    bool paired = false;
    SimDevice config;
};

SimBackend::SimBackend() = default;

SimBackend::~SimBackend()
{
    m_events.stopAll();
    m_peers.stopAll();
}

bool SimBackend::loadScenario(const std::string& path, std::string& error)
{
    SimScenario scenario;
    if (!SimScenario::load(path, scenario, error))
        return false;
    m_events.stopAll();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.forEach([](am_device* record) { static_cast<State*>(record->state)->present = false; });
    for (const SimDevice& d : scenario.devices) {
        am_device* record = m_records.find(d.udid);
        if (!record) {
            auto state = std::make_unique<State>();
            state->udid = d.udid;
            record = m_records.add(std::move(state));
        }
        State* s = stateOf<State>(record);
        s->present = true;
        s->connected = s->session = false;
        s->paired = d.paired;
        s->config = d;
        record->word = d.ignored ? 0 : 1;
    }
    m_scenario = scenario;
    m_nextEvent = 0;
    m_calls.clear();
    if (!m_scenario.manualEvents && !m_subscribers.empty())
        deliverEventsInBackground();
    return true;
}

bool SimBackend::takeNextEvent(SimEvent& event, am_device*& record)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nextEvent >= m_scenario.events.size())
        return false;
    event = m_scenario.events[m_nextEvent++];
    record = m_records.find(event.udid);
    return true;
}

bool SimBackend::fireNextEvent()
{
    SimEvent event;
    am_device* record = nullptr;
    if (!takeNextEvent(event, record))
        return false;
    m_subscribers.notify(record, uint32_t(event.code));
    return true;
}

void SimBackend::deliverEventsInBackground()
{
    m_events.start([this](const std::atomic<bool>& stop) {
        SimEvent event;
        am_device* record = nullptr;
        while (!stop.load() && takeNextEvent(event, record)) {
            for (long long waited = 0; waited < event.delayMs && !stop.load(); waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!stop.load())
                m_subscribers.notify(record, uint32_t(event.code));
        }
    });
}

am_device* SimBackend::device(const std::string& udid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.find(udid);
}

int SimBackend::callCount(const std::string& function)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_calls.find(function);
    return it == m_calls.end() ? 0 : it->second;
}

int SimBackend::subscribe(am_device_notification_callback callback, void* context)
{
    const bool first = m_subscribers.empty();
    m_subscribers.add(callback, context);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (first && !m_scenario.manualEvents)
        deliverEventsInBackground();
    return 0;
}

SimBackend::State* SimBackend::enter(am_device* device, const char* function)
{
    ++m_calls[function];
    State* s = stateOf<State>(device);
    return s->present ? s : nullptr;
}

template <typename Apply>
int SimBackend::connectedStep(am_device* device, const char* function, Apply apply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    State* s = enter(device, function);
    int result = 0;
    if (!s || !s->connected)
        return kQSMDErrorNotConnected;
    if (injected(s, function, result))
        return result;
    return apply(s);
}

bool SimBackend::injected(State* s, const char* function, int& result)
{
    auto it = s->config.results.find(function);
    if (it == s->config.results.end())
        return false;
    result = int(it->second);
    return true;
}

int SimBackend::connect(am_device* device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    State* s = enter(device, "AMDeviceConnect");
    int result = 0;
    if (!s)
        return kQSMDErrorDeviceGone;
    if (injected(s, "AMDeviceConnect", result))
        return result;
    s->connected = true;
    return 0;
}

int SimBackend::isPaired(am_device* device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    State* s = enter(device, "AMDeviceIsPaired");
    return s && s->paired ? 1 : 0;
}

int SimBackend::pair(am_device* device)
{
    return connectedStep(device, "AMDevicePair", [](State* s) {
        s->paired = true;
        return 0;
    });
}

int SimBackend::validatePairing(am_device* device)
{
    return connectedStep(device, "AMDeviceValidatePairing",
                         [](State* s) { return s->paired ? 0 : int(kQSMDErrorInvalidArgument); });
}

int SimBackend::startSession(am_device* device)
{
    return connectedStep(device, "AMDeviceStartSession", [](State* s) {
        s->session = true;
        return 0;
    });
}

plist_t SimBackend::copyValue(am_device* device, const char* domain, const char* key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    State* s = enter(device, "AMDeviceCopyValue");
    if (!s || !s->connected)
        return nullptr;
    plist_t dict = s->config.values.get();
    if (domain && *domain) {
        auto it = s->config.domains.find(domain);
        dict = it == s->config.domains.end() ? nullptr : it->second.get();
    }
    plist_t value = dict && key ? plist_dict_get_item(dict, key) : dict;
    return value ? plist_copy(value) : nullptr;
}

int SimBackend::setValue(am_device* device, const char* domain, const char* key, plist_t value)
{
    const Plist owner = adoptPlist(value);
    std::lock_guard<std::mutex> lock(m_mutex);
    State* s = enter(device, "AMDeviceSetValue");
    int result = 0;
    if (!s || !s->session)
        return kQSMDErrorNoSession;
    if (injected(s, "AMDeviceSetValue", result))
        return result;
    if (!key || !value)
        return kQSMDErrorInvalidArgument;
    Plist& dict = domain && *domain ? s->config.domains[domain] : s->config.values;
    if (!dict)
        dict = adoptPlist(plist_new_dict());
    plist_dict_set_item(dict.get(), key, plist_copy(value));
    return 0;
}

int SimBackend::startService(am_device* device, const char* service, int* fd)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    State* s = enter(device, "AMDeviceStartService");
    int result = 0;
    if (!s || !s->session)
        return kQSMDErrorNoSession;
    if (injected(s, "AMDeviceStartService", result))
        return result;
    auto it = s->config.services.find(service ? service : "");
    const SimPeer peer = it == s->config.services.end() ? nullptr : findSimPeer(it->second.peer);
    if (!peer)
        return kQSMDErrorServiceUnknown;
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return kQSMDErrorInternal;
    const Plist options = adoptPlist(plist_copy(it->second.options.get()));
    const std::string udid = s->udid;
    lock.unlock();
    const int peerFd = sv[1];
    m_peers.start([peer, peerFd, options, udid](const std::atomic<bool>& stop) {
        SimPeerContext ctx{peerFd, options.get(), udid, stop};
        peer(ctx);
        close(peerFd);
    });
    *fd = sv[0];
    return 0;
}

int SimBackend::stopSession(am_device* device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    State* s = enter(device, "AMDeviceStopSession");
    if (!s || !s->session)
        return kQSMDErrorNoSession;
    s->session = false;
    return 0;
}

int SimBackend::disconnect(am_device* device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    State* s = enter(device, "AMDeviceDisconnect");
    if (!s || !s->connected)
        return kQSMDErrorNotConnected;
    s->connected = s->session = false;
    return 0;
}

} // namespace qsmd
