#include "vortan/portmapping/serialqueue.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace vortan {

struct SerialQueue::Shared {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Task> tasks;  // guarded by lock
    std::multimap<std::chrono::steady_clock::time_point, Task> later;  // guarded by lock
    bool closed = false;     // guarded by lock
    std::thread::id worker;  // written once, before any task is queued
};

namespace {

// A failing task must not take the worker (and every later task) with it;
// the tasks of this queue report nothing to anyone, so the failure ends here.
void runGuarded(SerialQueue::Task& task) noexcept
{
    try {
        task();
    } catch (...) {
    }
}

}  // namespace

SerialQueue::SerialQueue() : m_shared(std::make_shared<Shared>())
{
    std::thread worker([shared = m_shared] {
        std::unique_lock lock(shared->lock);
        for (;;) {
            auto& later = shared->later;
            while (!later.empty() && later.begin()->first <= std::chrono::steady_clock::now()) {
                shared->tasks.push_back(std::move(later.begin()->second));
                later.erase(later.begin());
            }
            if (shared->closed)
                return;
            if (shared->tasks.empty()) {
                if (later.empty()) {
                    shared->wake.wait(lock);
                } else {
                    // A copy: wait_until reads it again after waking, when the
                    // destructor may have freed the entry.
                    const auto due = later.begin()->first;
                    shared->wake.wait_until(lock, due);
                }
                continue;
            }
            Task task = std::move(shared->tasks.front());
            shared->tasks.pop_front();
            lock.unlock();
            runGuarded(task);
            task = nullptr;  // release what the task holds outside the lock
            lock.lock();
        }
    });
    m_shared->worker = worker.get_id();
    worker.detach();
}

SerialQueue::~SerialQueue()
{
    std::deque<Task> dropped;
    std::multimap<std::chrono::steady_clock::time_point, Task> droppedLater;
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->closed = true;
        dropped.swap(m_shared->tasks);
        droppedLater.swap(m_shared->later);
    }
    m_shared->wake.notify_all();
}

void SerialQueue::async(Task task)
{
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->tasks.push_back(std::move(task));
    }
    m_shared->wake.notify_one();
}

void SerialQueue::asyncAfter(std::chrono::milliseconds delay, Task task)
{
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->later.emplace(std::chrono::steady_clock::now() + delay, std::move(task));
    }
    m_shared->wake.notify_one();
}

void SerialQueue::sync(Task task)
{
    syncFor(std::move(task), std::chrono::milliseconds::max());
}

bool SerialQueue::syncFor(Task task, std::chrono::milliseconds limit)
{
    if (isWorkerThread()) {
        runGuarded(task);
        return true;
    }
    // Shared with the task: a wait that gives up leaves it to the worker.
    struct Done {
        std::mutex lock;
        std::condition_variable signal;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    async([task = std::move(task), done]() mutable {
        runGuarded(task);
        {
            std::lock_guard lock(done->lock);
            done->done = true;
        }
        done->signal.notify_all();
    });
    std::unique_lock lock(done->lock);
    if (limit == std::chrono::milliseconds::max()) {
        done->signal.wait(lock, [&] { return done->done; });
        return true;
    }
    return done->signal.wait_for(lock, limit, [&] { return done->done; });
}

bool SerialQueue::isWorkerThread() const
{
    return std::this_thread::get_id() == m_shared->worker;
}

}  // namespace vortan
