// The UI thread's queue: work from any thread runs on the owning thread, in the order posted.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/task_queue.h"

namespace {

using cefcompat::CTaskQueue;

// Runs this thread's message loop until |done| is set (by a task) or the queue's window goes.
void PumpUntil(const std::atomic<bool>& done)
{
    MSG msg;
    while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
}

TEST(TaskQueueTest, TasksFromOtherThreadsRunOnTheOwningThreadInTheOrderPosted)
{
    CTaskQueue queue;
    ASSERT_TRUE(queue.IsValid());
    std::vector<int> order;
    std::atomic<bool> done{false};
    bool allOnOwner = true;
    bool allPosted = true;
    const DWORD owner = GetCurrentThreadId();
    std::thread poster([&]() {
        for (int i = 0; i < 200 && allPosted; ++i) {
            allPosted = queue.Post([&, i]() {
                allOnOwner = allOnOwner && queue.IsCurrentThread();
                order.push_back(i);
            });
        }
        // A failed post must still end the pump, or the test would hang instead of failing.
        if (!allPosted || !queue.Post([&]() { done = true; })) {
            allPosted = false;
            done = true;
            PostThreadMessageW(owner, WM_NULL, 0, 0);
        }
    });
    PumpUntil(done);
    poster.join();
    ASSERT_TRUE(allPosted);
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_TRUE(allOnOwner);
}

TEST(TaskQueueTest, ATaskPostedDuringATaskRunsAfterIt)
{
    CTaskQueue queue;
    std::vector<int> order;
    std::atomic<bool> done{false};
    queue.Post([&]() {
        queue.Post([&]() {
            order.push_back(2);
            done = true;
        });
        order.push_back(1);
    });
    PumpUntil(done);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(TaskQueueTest, DelayedTasksRunAfterImmediateOnesAndInDueOrder)
{
    CTaskQueue queue;
    std::vector<int> order;
    std::atomic<bool> done{false};
    queue.PostDelayed(
        [&]() {
            order.push_back(3);
            done = true;
        },
        60);
    queue.PostDelayed([&]() { order.push_back(2); }, 20);
    queue.Post([&]() { order.push_back(1); });
    PumpUntil(done);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(TaskQueueTest, AClosedQueueRefusesWorkAndDropsWhatWasPending)
{
    CTaskQueue queue;
    bool ran = false;
    queue.Post([&]() { ran = true; });
    queue.Close();
    EXPECT_FALSE(queue.Post([&]() { ran = true; }));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_FALSE(ran);
}

} // namespace
