#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "platform/dispatch/RealDispatch.h"

namespace mavu::dispatch {
namespace {

using namespace std::chrono_literals;

// Two producers keep their order and never overlap; work due later runs on the queue's own
// thread and may release the queue's last reference.
TEST(RealSerialQueue, KeepsOrderRunsOneAtATimeAndServesDeadlines) {
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

    std::atomic<bool> onQueue{false};
    std::promise<void> released, enqueued;
    auto releasedFuture = released.get_future();
    std::shared_future<void> enqueuedFuture = enqueued.get_future().share();
    raw->asyncAt(clock.monotonicNow() + 200ms, [q = std::move(queue), &released, &onQueue,
                                                enqueuedFuture]() mutable {
        enqueuedFuture.wait();  // asyncAt() has returned; nobody else touches the queue
        onQueue = q->isCurrent();
        q.reset();  // the last reference: destroyed on its own thread
        released.set_value();
    });
    enqueued.set_value();
    ASSERT_EQ(releasedFuture.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(seen.size(), 2u * perProducer);
    int next[2] = {0, 0};
    for (auto [producer, i] : seen) {
        ASSERT_EQ(i, next[producer]++) << "producer " << producer << " reordered";
    }
    EXPECT_TRUE(onQueue);
}

}  // namespace
}  // namespace mavu::dispatch
