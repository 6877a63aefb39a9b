#include "vortan/portmapping/serialqueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using vortan::SerialQueue;

namespace {

// Runs fn on a helper thread and waits for it with a bound. The helper keeps
// what fn holds alive if it outlasts the wait.
bool finishesWithin(std::function<void()> fn, std::chrono::milliseconds timeout = 10s)
{
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([fn = std::move(fn), done] {
        fn();
        done->set_value();
    }).detach();
    return finished.wait_for(timeout) == std::future_status::ready;
}

// Tasks run in order on one worker thread that is not the caller; sync()
// returns after every earlier task.
TEST(SerialQueueTest, RunsTasksInOrderOnOneWorkerAndSyncReturnsAfterEveryEarlierTask)
{
    auto queue = std::make_shared<SerialQueue>();
    auto order = std::make_shared<std::vector<int>>();
    auto threads = std::make_shared<std::vector<std::thread::id>>();
    auto sawWorker = std::make_shared<std::atomic<bool>>(true);
    for (int i = 0; i < 200; ++i) {
        queue->async([queue, order, threads, sawWorker, i] {
            order->push_back(i);
            threads->push_back(std::this_thread::get_id());
            if (!queue->isWorkerThread())
                *sawWorker = false;
        });
    }
    ASSERT_TRUE(finishesWithin([queue, order] { queue->sync([order] { order->push_back(-1); }); }));

    ASSERT_EQ(order->size(), 201u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ((*order)[i], i);
    EXPECT_EQ(order->back(), -1);
    EXPECT_FALSE(queue->isWorkerThread());
    for (auto id : *threads) {
        EXPECT_EQ(id, threads->front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
    EXPECT_TRUE(*sawWorker);
}

// sync() from a task runs at once instead of waiting on itself; a throwing
// task, queued or synchronous, does not stop the queue.
TEST(SerialQueueTest, SyncFromATaskRunsAtOnceAndAThrowingTaskDoesNotStopTheQueue)
{
    auto queue = std::make_shared<SerialQueue>();
    auto inner = std::make_shared<std::atomic<bool>>(false);
    auto ran = std::make_shared<std::atomic<bool>>(false);
    queue->async([] { throw std::runtime_error("task failed"); });
    ASSERT_TRUE(finishesWithin([queue, inner, ran] {
        queue->sync([queue, inner] { queue->sync([inner] { *inner = true; }); });
        queue->sync([] { throw std::runtime_error("task failed"); });
        queue->sync([ran] { *ran = true; });
    }));
    EXPECT_TRUE(*inner);
    EXPECT_TRUE(*ran);
}

TEST(SerialQueueTest, DestructionDoesNotWaitForTheRunningTaskAndDropsTheRest)
{
    struct State {
        std::promise<void> started, release, finished;
        std::atomic<bool> laterRan{false};
    };
    auto state = std::make_shared<State>();
    auto started = state->started.get_future();
    auto finished = state->finished.get_future();
    auto release = state->release.get_future().share();

    auto queue = std::make_unique<SerialQueue>();
    queue->async([state, release] {
        state->started.set_value();
        release.wait_for(10s);
        state->finished.set_value();
    });
    queue->async([state] { state->laterRan = true; });
    ASSERT_EQ(started.wait_for(10s), std::future_status::ready);

    queue.reset();
    // The destructor came back while the first task was still blocked.
    EXPECT_EQ(finished.wait_for(0s), std::future_status::timeout);

    state->release.set_value();
    ASSERT_EQ(finished.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(state->laterRan);
}

// stop() must not hang behind a gateway discovery: the bounded wait gives up,
// and the task it queued still runs later, owning what it uses.
TEST(SerialQueueTest, SyncForGivesUpBehindABlockedTaskWhichStillRunsLater)
{
    auto release = std::make_shared<std::promise<void>>();
    auto ran = std::make_shared<std::promise<void>>();
    auto queue = std::make_shared<SerialQueue>();
    queue->async([gate = release->get_future().share()] { gate.wait_for(10s); });
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue->syncFor([ran] { ran->set_value(); }, 100ms));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    auto later = ran->get_future();
    EXPECT_EQ(later.wait_for(0s), std::future_status::timeout);
    release->set_value();
    EXPECT_EQ(later.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(queue->syncFor([] {}, 10s));
}

}  // namespace
