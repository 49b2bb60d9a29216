// The hand-over from worker threads to the user-interface thread: calls run
// there in order while the worker waits, and an owner can always stop its
// worker, also while the worker waits for a call the owner will never run.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "interfaces/handover.h"
#include "tests/support/testutil_interfaces.h"

TEST(HandoverTest, CallsRunOnTheOwnerThreadInOrderWhileTheWorkerWaits)
{
    EnsureApp();
    TUiHandover handover;
    const auto owner = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<int> returned{0};
    bool allOnOwner = true;
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i) {
            const bool ran = handover.Call([&, i] {
                allOnOwner = allOnOwner && std::this_thread::get_id() == owner;
                order.push_back(i);
            });
            // The call has run by the time Call returns.
            if (ran && int(order.size()) == i + 1) ++returned;
        }
    });
    ASSERT_TRUE(WaitFor([&] { return returned == 20; }));
    worker.join();
    EXPECT_TRUE(allOnOwner);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
    // On the owner thread a call runs at once.
    bool direct = false;
    EXPECT_TRUE(handover.Call([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(HandoverTest, CancelDropsTheWaitingCallAndLaterCallsStillRun)
{
    EnsureApp();
    TUiHandover handover;
    std::atomic<int> result{-1};
    bool ran = false;
    // The owner does not process events, so the call waits until cancelled.
    std::thread worker([&] { result = handover.Call([&] { ran = true; }) ? 1 : 0; });
    while (result == -1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        handover.Cancel();
    }
    worker.join();
    EXPECT_EQ(result, 0);
    Pump(20);
    EXPECT_FALSE(ran);

    std::atomic<bool> later{false};
    std::thread again([&] { later = handover.Call([] {}); });
    EXPECT_TRUE(WaitFor([&] { return bool(later); }));
    again.join();
}

TEST(HandoverTest, StopReleasesTheWorkerAndRefusesItsNextCalls)
{
    EnsureApp();
    // A worker loop like the radio and serial workers': it hands over until
    // told to end. Stopping and joining from the owner thread, which runs no
    // events meanwhile, must not wait for ever however the two interleave.
    for (int round = 0; round < 50; ++round) {
        TUiHandover handover;
        std::atomic<bool> terminated{false};
        std::atomic<int> calls{0};
        std::thread worker([&] {
            while (!terminated) {
                if (!handover.Call([] {})) std::this_thread::yield();
                ++calls;
            }
        });
        while (calls == 0 && round % 2 == 0) Pump(1);
        terminated = true;
        handover.Stop();
        worker.join();
        bool ran = false;
        std::thread late([&] { ran = handover.Call([] {}); });
        late.join();
        EXPECT_FALSE(ran);
        EXPECT_FALSE(handover.Call([] {}));
    }
}
