#include "devicerecords.h"

#include <cstddef>

static_assert(offsetof(am_device, word) == QSMD_DEVICE_WORD_OFFSET, "the device word sits at its documented offset");

namespace qsmd {

am_device* DeviceRecords::find(const std::string& udid)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_records.find(udid);
    return it == m_records.end() ? nullptr : it->second.record.get();
}

am_device* DeviceRecords::add(std::unique_ptr<DeviceState> state)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Entry entry;
    entry.record = std::make_unique<am_device>();
    entry.record->word = 1;
    entry.record->state = state.get();
    entry.state = std::move(state);
    am_device* record = entry.record.get();
    m_records[entry.state->udid] = std::move(entry);
    return record;
}

void Subscribers::add(am_device_notification_callback callback, void* context)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_list.emplace_back(callback, context);
}

bool Subscribers::empty()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_list.empty();
}

void Subscribers::notify(am_device* device, uint32_t code)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (auto& s : m_list) {
        am_device_notification_callback_info info{device, code};
        s.first(&info, s.second);
    }
}

} // namespace qsmd
