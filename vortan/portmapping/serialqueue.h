#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace vortan {

// One worker thread that runs tasks one at a time, first in, first out.
//
// The worker is detached from the start and shares the queue with this
// object, so destroying the queue (or ending the process) never waits for a
// task in progress, which may be a gateway discovery that lasts seconds.
// Destruction drops the tasks that have not started; the running one
// finishes on its own and the worker then ends.
class SerialQueue {
public:
    using Task = std::function<void()>;

    SerialQueue();
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Queues a task and returns at once.
    void async(Task task);
    // Queues a task once `delay` has passed (behind what is queued by then)
    // and returns at once. Destruction drops it like any task not started.
    void asyncAfter(std::chrono::milliseconds delay, Task task);
    // Queues a task and returns once it and every task queued before it have
    // run. From the worker itself the task runs at once, to avoid waiting on
    // itself.
    void sync(Task task);
    // sync() that waits at most `limit`: whether the task has run by then.
    // A task not run yet stays queued and runs later; it owns what it uses.
    bool syncFor(Task task, std::chrono::milliseconds limit);

    // Whether the calling thread is this queue's worker.
    bool isWorkerThread() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

}  // namespace vortan
