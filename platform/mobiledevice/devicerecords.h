// The device records the stand-in hands out, one per unique device id, and
// the subscribers of attach and detach events. A record is never freed while
// the library is loaded, so a notification queued for another thread still
// points at a valid record after the device went away.
#pragma once

#include "mobiledevicetypes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qsmd {

// What a backend keeps per device; each backend derives its own.
struct DeviceState
{
    virtual ~DeviceState() = default;
    std::string udid;
};

} // namespace qsmd

// The record behind an am_device*: the word at QSMD_DEVICE_WORD_OFFSET, then
// the backend's state.
struct am_device
{
    unsigned char reserved[QSMD_DEVICE_WORD_OFFSET];
    uint32_t word;
    uint32_t padding;
    qsmd::DeviceState* state;
};

namespace qsmd {

class DeviceRecords
{
public:
    // The record of `udid`, or null.
    am_device* find(const std::string& udid);
    // Adds a record for the state's udid (which must not have one yet).
    am_device* add(std::unique_ptr<DeviceState> state);
    template <typename Fn>
    void forEach(Fn fn)
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        for (auto& entry : m_records)
            fn(entry.second.record.get());
    }

private:
    struct Entry
    {
        std::unique_ptr<am_device> record;
        std::unique_ptr<DeviceState> state;
    };
    std::recursive_mutex m_mutex;
    std::map<std::string, Entry> m_records;
};

// The callbacks given to AMDeviceNotificationSubscribe; events reach them
// one at a time.
class Subscribers
{
public:
    void add(am_device_notification_callback callback, void* context);
    bool empty();
    void notify(am_device* device, uint32_t code);

private:
    std::recursive_mutex m_mutex;
    std::vector<std::pair<am_device_notification_callback, void*>> m_list;
};

template <typename T>
T* stateOf(am_device* device)
{
    return static_cast<T*>(device->state);
}

} // namespace qsmd
