#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/dispatch/Timer.h"
#include "platform/dispatch/Weak.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::dispatch {
namespace {

using testing::VirtualDispatch;
using namespace std::chrono_literals;

TEST(VirtualTimers, FireInDeadlineOrderAcrossQueues) {
    VirtualDispatch d;
    auto a = d.makeSerialQueue("a");
    auto b = d.makeSerialQueue("b");
    std::vector<std::string> order;
    const auto t0 = d.monotonicNow();
    auto late = startOneShot(*a, t0 + 30s, [&] { order.push_back("a30"); });
    auto early = startOneShot(*b, t0 + 10s, [&] { order.push_back("b10"); });
    auto mid = startOneShot(d.mainQueue(), t0 + 20s, [&] { order.push_back("main20"); });
    a->async([&] { order.push_back("a-now"); });

    d.advance(29.999);
    EXPECT_EQ(order, (std::vector<std::string>{"a-now", "b10", "main20"}));
    d.advance(0.001);
    EXPECT_EQ(order.back(), "a30");
}

TEST(VirtualTimers, RepeatingTimerKeepsExactCadence) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    std::vector<double> firedAt;
    auto timer = startRepeating(*q, 30s, [&] { firedAt.push_back(d.elapsedSeconds()); });
    d.advance(95.0);
    EXPECT_EQ(firedAt, (std::vector<double>{30.0, 60.0, 90.0}));
}

TEST(VirtualTimers, WorkEnqueuedByRunningWorkRunsWithinTheSameAdvance) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    std::vector<double> ranAt;
    auto timer = startOneShot(*q, d.monotonicNow() + 5s, [&] {
        q->async([&] { ranAt.push_back(d.elapsedSeconds()); });
        q->asyncAt(d.monotonicNow() + 3s, [&] { ranAt.push_back(d.elapsedSeconds()); });
    });
    d.advance(10.0);
    EXPECT_EQ(ranAt, (std::vector<double>{5.0, 8.0}));
    EXPECT_TRUE(q->isCurrent() == false);
}

TEST(TimerCancellation, CancelFromInsideItsOwnHandlerStopsRepeats) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    int fired = 0;
    auto timer = Timer::create(*q);
    timer->schedule(d.monotonicNow() + 1s, 1s);
    timer->setEventHandler([&] {
        if (++fired == 2) {
            timer->cancel();
        }
    });
    timer->resume();
    d.advance(10.0);
    EXPECT_EQ(fired, 2);
    EXPECT_TRUE(timer->isCancelled());
}

TEST(TimerCancellation, AlreadyDueTimerCancelledByEarlierWorkNeverFires) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    bool fired = false;
    auto timer = startOneShot(*q, d.monotonicNow() + 5s, [&] { fired = true; });
    // Both are due at 5 s; the work was enqueued first and runs first.
    q->asyncAt(d.monotonicNow() + 5s - 1ns, [&] {
        timer->setEventHandler([] {});
        timer->cancel();
    });
    d.advance(6.0);
    EXPECT_FALSE(fired);
}

TEST(TimerCancellation, RescheduleReplacesThePendingDeadline) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    std::vector<double> firedAt;
    auto timer =
        startOneShot(*q, d.monotonicNow() + 10s, [&] { firedAt.push_back(d.elapsedSeconds()); });
    d.advance(4.0);
    timer->schedule(d.monotonicNow() + 10s);
    d.advance(20.0);
    EXPECT_EQ(firedAt, (std::vector<double>{14.0}));
}

TEST(TimerCancellation, SaturatedDeadlineNeverFires) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    bool fired = false;
    auto timer = startOneShot(*q, addSaturating(d.monotonicNow(), fromSeconds(1e300)),
                              [&] { fired = true; });
    d.advance(1e9);
    EXPECT_FALSE(fired);
}

struct Owner {
    int ticks = 0;
};

TEST(WeakCallbacks, HandlerDoesNothingOnceItsOwnerIsGone) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    auto owner = std::make_shared<Owner>();
    std::weak_ptr<Owner> watch = owner;
    auto timer = startRepeating(*q, 1s, weakly(owner, [](Owner& o) { ++o.ticks; }));
    d.advance(2.0);
    EXPECT_EQ(owner->ticks, 2);
    owner.reset();
    d.advance(5.0);  // must not touch freed memory (ASan guards this)
    EXPECT_TRUE(watch.expired());
}

TEST(WeakCallbacks, TimerNobodyOwnsStops) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    int fired = 0;
    startRepeating(*q, 1s, [&] { ++fired; });
    d.advance(5.0);
    EXPECT_EQ(fired, 0);
}

TEST(WeakCallbacks, WorkOfADestroyedQueueIsDiscarded) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    bool ran = false;
    q->async([&] { ran = true; });
    q.reset();
    d.runUntilIdle();
    EXPECT_FALSE(ran);
}

TEST(Clocks, WallClockJumpMovesNoMonotonicDeadline) {
    VirtualDispatch d;
    auto q = d.makeSerialQueue("q");
    std::vector<double> firedAt;
    const auto wallBefore = d.wallNow();
    auto timer =
        startOneShot(*q, d.monotonicNow() + 60s, [&] { firedAt.push_back(d.elapsedSeconds()); });
    d.jumpWallClock(3600s);
    d.advance(59.0);
    EXPECT_TRUE(firedAt.empty());
    EXPECT_EQ(d.wallNow() - wallBefore, 3600s + 59s);
    d.jumpWallClock(-7200s);
    d.advance(1.0);
    EXPECT_EQ(firedAt, (std::vector<double>{60.0}));
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

TEST(MainQueueWatches, ReadableCallbackRunsOnTheMainQueueUntilTheHandleIsDropped) {
    VirtualDispatch d;
    int calls = 0;
    bool onMain = false;
    auto watch = d.mainQueue().watchReadable(7, [&] {
        ++calls;
        onMain = d.mainQueue().isCurrent();
    });
    d.signalReadable(7);
    d.signalReadable(8);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onMain);
    watch.reset();
    d.signalReadable(7);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace mavu::dispatch
