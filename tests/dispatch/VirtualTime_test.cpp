#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/dispatch/Timer.h"
#include "platform/dispatch/Weak.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::dispatch {
namespace {

using namespace std::chrono_literals;
using Times = std::vector<double>;

class VirtualTime : public ::testing::Test {
  protected:
    // Work that notes the virtual time it ran at in ranAt.
    Work note() {
        return [this] { ranAt.push_back(d.elapsedSeconds()); };
    }

    testing::VirtualDispatch d;
    std::shared_ptr<Queue> q = d.makeSerialQueue("q");
    Times ranAt;
};

TEST_F(VirtualTime, TimersFireInDeadlineOrderAcrossQueues) {
    auto other = d.makeSerialQueue("other");
    std::vector<std::string> order;
    const auto t0 = d.monotonicNow();
    auto late = startOneShot(*q, t0 + 30s, [&] { order.push_back("q30"); });
    auto early = startOneShot(*other, t0 + 10s, [&] { order.push_back("other10"); });
    auto mid = startOneShot(d.mainQueue(), t0 + 20s, [&] { order.push_back("main20"); });
    q->async([&] { order.push_back("q-now"); });

    d.advance(29.999);
    EXPECT_EQ(order, (std::vector<std::string>{"q-now", "other10", "main20"}));
    d.advance(0.001);
    EXPECT_EQ(order.back(), "q30");
}

TEST_F(VirtualTime, RepeatingTimerKeepsExactCadence) {
    auto timer = startRepeating(*q, 30s, note());
    d.advance(95.0);
    EXPECT_EQ(ranAt, (Times{30.0, 60.0, 90.0}));
}

TEST_F(VirtualTime, WorkEnqueuedByRunningWorkRunsWithinTheSameAdvance) {
    auto timer = startOneShot(*q, d.monotonicNow() + 5s, [&] {
        EXPECT_TRUE(q->isCurrent());
        q->async(note());
        q->asyncAt(d.monotonicNow() + 3s, note());
    });
    d.advance(10.0);
    EXPECT_EQ(ranAt, (Times{5.0, 8.0}));
    EXPECT_FALSE(q->isCurrent());
}

TEST_F(VirtualTime, CancelFromInsideItsOwnHandlerStopsRepeats) {
    auto timer = Timer::create(*q);
    timer->schedule(d.monotonicNow() + 1s, 1s);
    timer->setEventHandler([&] {
        if (ranAt.size() == 1) {
            timer->cancel();
        }
        note()();
    });
    timer->resume();
    d.advance(10.0);
    EXPECT_EQ(ranAt, (Times{1.0, 2.0}));
    EXPECT_TRUE(timer->isCancelled());
}

TEST_F(VirtualTime, CancelledOrUnreachableDeadlinesNeverFire) {
    // Due at 5 s, but work enqueued earlier for the same moment cancels it first.
    auto cancelled = startOneShot(*q, d.monotonicNow() + 5s, note());
    q->asyncAt(d.monotonicNow() + 5s - 1ns, [&] {
        cancelled->setEventHandler([] {});
        cancelled->cancel();
    });
    auto saturated = startOneShot(*q, addSaturating(d.monotonicNow(), fromSeconds(1e300)), note());
    startRepeating(*q, 1s, note());  // owned by nobody: it stops
    d.advance(10.0);
    ASSERT_TRUE(ranAt.empty());
    d.advance(1e9);
    EXPECT_TRUE(ranAt.empty());
}

TEST_F(VirtualTime, RescheduleReplacesThePendingDeadline) {
    auto timer = startOneShot(*q, d.monotonicNow() + 10s, note());
    d.advance(4.0);
    timer->schedule(d.monotonicNow() + 10s);
    d.advance(20.0);
    EXPECT_EQ(ranAt, (Times{14.0}));
}

TEST_F(VirtualTime, HandlerDoesNothingOnceItsOwnerIsGone) {
    auto ticks = std::make_shared<int>(0);
    std::weak_ptr<int> watch = ticks;
    auto timer = startRepeating(*q, 1s, weakly(ticks, [](int& count) { ++count; }));
    d.advance(2.0);
    EXPECT_EQ(*ticks, 2);
    ticks.reset();
    d.advance(5.0);  // must not touch freed memory (ASan guards this)
    EXPECT_TRUE(watch.expired());
}

TEST_F(VirtualTime, WorkOfADestroyedQueueIsDiscarded) {
    q->async(note());
    q.reset();
    d.runUntilIdle();
    EXPECT_TRUE(ranAt.empty());
}

TEST_F(VirtualTime, WallClockJumpMovesNoMonotonicDeadline) {
    const auto wallBefore = d.wallNow();
    auto timer = startOneShot(*q, d.monotonicNow() + 60s, note());
    d.jumpWallClock(3600s);
    d.advance(59.0);
    EXPECT_TRUE(ranAt.empty());
    EXPECT_EQ(d.wallNow() - wallBefore, 3600s + 59s);
    d.jumpWallClock(-7200s);
    d.advance(1.0);
    EXPECT_EQ(ranAt, (Times{60.0}));
    d.setWallClock(wallBefore);
    EXPECT_EQ(d.wallNow(), wallBefore);
    EXPECT_EQ(d.elapsedSeconds(), 60.0);
}

TEST(Clocks, SecondsConversionSaturatesAndRejectsNaN) {
    EXPECT_EQ(fromSeconds(std::nan("")), Duration::zero());
    EXPECT_EQ(fromSeconds(1e300), Duration::max());
    EXPECT_EQ(fromSeconds(-1e300), Duration::min());
    EXPECT_EQ(fromSeconds(1.5), 1500ms);
    const auto t = MonotonicTime{} + 1h;
    EXPECT_EQ(addSaturating(t, Duration::max()), MonotonicTime::max());
    EXPECT_EQ(addSaturating(MonotonicTime{} - 1h, Duration::min()), MonotonicTime::min());
    EXPECT_EQ(addSaturating(t, 1s), t + 1s);
}

TEST_F(VirtualTime, ReadableCallbackRunsOnTheMainQueueUntilTheHandleIsDropped) {
    auto watch = d.mainQueue().watchReadable(7, [&] {
        EXPECT_TRUE(d.mainQueue().isCurrent());
        note()();
    });
    d.signalReadable(7);
    d.signalReadable(8);
    EXPECT_EQ(ranAt.size(), 1u);
    watch.reset();
    d.signalReadable(7);
    EXPECT_EQ(ranAt.size(), 1u);
}

}  // namespace
}  // namespace mavu::dispatch
