#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "platform/dispatch/RealDispatch.h"
#include "platform/dispatch/Timer.h"
#include "tests/support/MainQueueScenario.h"

namespace mavu::dispatch {
namespace {

using namespace std::chrono_literals;

// Every wait here is bounded; together they stay well under two seconds.
bool ready(std::future<void>& future) {
    return future.wait_for(2s) == std::future_status::ready;
}

// Two producers keep their order and never overlap; a timer fires on the queue, a cancelled
// one never again; work may release the queue's last reference.
TEST(RealSerialQueue, KeepsOrderRunsOneAtATimeAndServesTimers) {
    SystemClock clock;
    auto queue = std::make_shared<SerialQueue>("contention", clock);
    auto* raw = queue.get();
    constexpr int perProducer = 5000;
    std::vector<std::pair<int, int>> seen;  // only touched on the queue
    std::atomic<int> inFlight{0};
    std::atomic<bool> overlapped{false};
    auto produce = [&](int producer) {
        for (int i = 0; i < perProducer; ++i) {
            raw->async([&, producer, i] {
                overlapped = inFlight.fetch_add(1) != 0 || overlapped;
                seen.emplace_back(producer, i);
                inFlight.fetch_sub(1);
            });
        }
    };
    std::thread a(produce, 0), b(produce, 1);
    a.join();
    b.join();

    std::atomic<int> repeats{0};
    std::atomic<bool> onQueue{false};
    auto repeating = Timer::create(*raw);
    repeating->schedule(clock.monotonicNow() + 5ms, 5ms);
    repeating->setEventHandler([&] {
        onQueue = raw->isCurrent();
        if (++repeats == 3) {
            repeating->cancel();
        }
    });
    repeating->resume();

    std::promise<void> released, enqueued;
    auto releasedFuture = released.get_future();
    std::shared_future<void> enqueuedFuture = enqueued.get_future().share();
    raw->asyncAt(
        clock.monotonicNow() + 200ms, [q = std::move(queue), &released, enqueuedFuture]() mutable {
            enqueuedFuture.wait();  // asyncAt() has returned; nobody else touches the queue
            q.reset();              // the last reference: destroyed on its own thread
            released.set_value();
        });
    enqueued.set_value();
    ASSERT_TRUE(ready(releasedFuture));
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(seen.size(), 2u * perProducer);
    int next[2] = {0, 0};
    for (auto [producer, i] : seen) {
        ASSERT_EQ(i, next[producer]++) << "producer " << producer << " reordered";
    }
    EXPECT_EQ(repeats.load(), 3);
    EXPECT_TRUE(onQueue);
}

TEST(RealRunLoop, ServesWorkTimersAndReadableDescriptorsUntilStopped) {
    RealDispatch d;
    RunLoop& loop = d.mainLoop();
    std::promise<void> returned;
    auto returnedFuture = returned.get_future();
    std::thread watchdog([&] {
        // Keeps a broken loop from hanging the suite.
        if (returnedFuture.wait_for(1500ms) != std::future_status::ready) {
            loop.stop();
        }
    });
    testing::expectServesWorkTimersAndDescriptors(
        loop, [&] { loop.run(); }, [&] { loop.stop(); });
    returned.set_value();
    watchdog.join();
}

}  // namespace
}  // namespace mavu::dispatch
