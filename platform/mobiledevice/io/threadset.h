// The stand-in's background threads (simulated peers, SSL bridges): each
// gets the set's stop flag; finished ones are joined when the next one
// starts, and all are stopped and joined when the set goes (library unload).
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace qsmd {

class ThreadSet
{
public:
    ThreadSet() = default;
    ~ThreadSet();
    ThreadSet(const ThreadSet&) = delete;
    ThreadSet& operator=(const ThreadSet&) = delete;

    // Runs `job` on a new thread; the job ends soon after the flag is set.
    void start(std::function<void(const std::atomic<bool>& stop)> job);
    void stopAll();

private:
    struct Entry
    {
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void joinFinished();

    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::list<std::unique_ptr<Entry>> m_entries;
};

} // namespace qsmd
