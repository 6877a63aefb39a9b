#include "vortan/portmapping/serialqueue.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using vortan::SerialQueue;

namespace {

// Runs fn on a helper thread and waits for it at most 10 s; the helper keeps
// what fn holds alive if it outlasts the wait.
bool finishesWithin(std::function<void()> fn)
{
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(fn));
    auto done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    return done.wait_for(10s) == std::future_status::ready;
}

// Tasks run in order on one worker thread that is not the caller; sync()
// returns after every earlier task.
TEST(SerialQueueTest, RunsTasksInOrderOnOneWorkerAndSyncReturnsAfterEveryEarlierTask)
{
    auto queue = std::make_shared<SerialQueue>();
    auto order = std::make_shared<std::vector<int>>();
    for (int i = 0; i < 200; ++i)
        queue->async([queue, order, i] { order->push_back(queue->isWorkerThread() ? i : -1); });
    ASSERT_TRUE(finishesWithin([queue, order] { queue->sync([order] { order->push_back(200); }); }));

    std::vector<int> expected(201);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(*order, expected);
    EXPECT_FALSE(queue->isWorkerThread());
}

// sync() from a task runs at once instead of waiting on itself; a throwing
// task, queued or synchronous, does not stop the queue.
TEST(SerialQueueTest, SyncFromATaskRunsAtOnceAndAThrowingTaskDoesNotStopTheQueue)
{
    auto queue = std::make_shared<SerialQueue>();
    auto ran = std::make_shared<std::vector<int>>();
    queue->async([] { throw std::runtime_error("task failed"); });
    ASSERT_TRUE(finishesWithin([queue, ran] {
        queue->sync([queue, ran] { queue->sync([ran] { ran->push_back(1); }); });
        queue->sync([] { throw std::runtime_error("task failed"); });
        queue->sync([ran] { ran->push_back(2); });
    }));
    EXPECT_EQ(*ran, (std::vector<int>{1, 2}));
}

// A delayed task waits for its time, then runs behind what is queued by then.
TEST(SerialQueueTest, ADelayedTaskRunsOnceItsDelayHasPassed)
{
    auto queue = std::make_shared<SerialQueue>();
    auto order = std::make_shared<std::vector<int>>();
    const auto start = std::chrono::steady_clock::now();
    queue->asyncAfter(300ms, [order] { order->push_back(2); });
    queue->asyncAfter(100ms, [order] { order->push_back(1); });
    queue->async([order] { order->push_back(0); });
    std::vector<int> seen;
    ASSERT_TRUE(vortan::test::waitFor([&] { return queue->syncFor([&] { seen = *order; }, 1s) && seen.size() == 3; }));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
}

// Neither a bounded wait (stop() behind a gateway discovery) nor destruction
// waits for a blocked task. What the wait queued still runs later, owning
// what it uses; what is still queued at destruction is dropped.
TEST(SerialQueueTest, NeitherABoundedWaitNorDestructionWaitsForABlockedTask)
{
    struct Seen {
        std::atomic<int> started{0}, finished{0}, waitedFor{0}, dropped{0};
    };
    auto seen = std::make_shared<Seen>();
    std::promise<void> release;
    auto block = [gate = release.get_future().share(), seen] {
        ++seen->started;
        gate.wait_for(10s);
        ++seen->finished;
    };
    auto kept = std::make_shared<SerialQueue>();
    auto dropped = std::make_unique<SerialQueue>();
    kept->async(block);
    dropped->async(block);
    dropped->async([seen] { ++seen->dropped; });
    ASSERT_TRUE(vortan::test::waitFor([&] { return seen->started == 2; }));

    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(kept->syncFor([seen] { ++seen->waitedFor; }, 100ms));
    dropped.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_EQ(seen->finished + seen->waitedFor, 0);
    release.set_value();
    EXPECT_TRUE(kept->syncFor([] {}, 10s));
    ASSERT_TRUE(vortan::test::waitFor([&] { return seen->finished == 2; }));
    EXPECT_EQ(seen->waitedFor, 1);
    EXPECT_EQ(seen->dropped, 0);
}

}  // namespace
