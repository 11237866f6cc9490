#include "threadset.h"

namespace qsmd {

ThreadSet::~ThreadSet()
{
    stopAll();
}

void ThreadSet::start(std::function<void(const std::atomic<bool>& stop)> job)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    joinFinished();
    m_entries.push_back(std::make_unique<Entry>());
    Entry* entry = m_entries.back().get();
    entry->thread = std::thread([this, entry, job = std::move(job)] {
        job(m_stop);
        entry->finished.store(true);
    });
}

void ThreadSet::stopAll()
{
    m_stop.store(true);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_entries)
        entry->thread.join();
    m_entries.clear();
    m_stop.store(false);
}

void ThreadSet::joinFinished()
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if ((*it)->finished.load()) {
            (*it)->thread.join();
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace qsmd
