// Timers in virtual time: their cadence, catching up, rescheduling and cancelling.
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

class TimerTest : public ::testing::Test {
  protected:
    // Work that notes the virtual time it ran at in ranAt.
    Work note() {
        return [this] { ranAt.push_back(d.elapsedSeconds()); };
    }

    testing::VirtualDispatch d;
    std::shared_ptr<Queue> q = d.makeSerialQueue("q");
    Times ranAt;
};

TEST_F(TimerTest, RepeatsOnItsCadenceAndRescheduleReplacesThePendingDeadline) {
    auto repeating = startRepeating(*q, 30s, note());
    d.advance(95.0);
    EXPECT_EQ(ranAt, (Times{30.0, 60.0, 90.0}));
    repeating.reset();

    ranAt.clear();
    auto oneShot = startOneShot(*q, d.monotonicNow() + 10s, note());
    d.advance(4.0);
    oneShot->schedule(d.monotonicNow() + 10s);
    d.advance(20.0);
    EXPECT_EQ(ranAt, (Times{109.0}));
}

// Fallen behind by three and a half intervals: it fires once, then keeps the old cadence.
TEST_F(TimerTest, ATimerThatFellBehindFiresOnceAndCatchesUp) {
    auto timer = Timer::create(*q);
    timer->schedule(d.monotonicNow() - 3500ms, 1s);
    timer->setEventHandler(note());
    timer->resume();
    d.advance(2.0);
    EXPECT_EQ(ranAt, (Times{0.0, 0.5, 1.5}));
}

TEST_F(TimerTest, AZeroRepeatIntervalMakesAOneShot) {
    auto timer = Timer::create(*q);
    timer->schedule(d.monotonicNow() + 1s, 0s);
    timer->setEventHandler(note());
    timer->resume();
    d.advance(5.0);
    EXPECT_EQ(ranAt, (Times{1.0}));
}

TEST_F(TimerTest, CancelFromInsideItsOwnHandlerStopsRepeats) {
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

TEST_F(TimerTest, CancelledUnownedOrUnreachableDeadlinesNeverFire) {
    // Due at 5 s, but work enqueued earlier for the same moment cancels it first.
    auto cancelled = startOneShot(*q, d.monotonicNow() + 5s, note());
    q->asyncAt(d.monotonicNow() + 5s - 1ns, [&] { cancelled->cancel(); });
    auto saturated = startOneShot(*q, addSaturating(d.monotonicNow(), fromSeconds(1e300)), note());
    startRepeating(*q, 1s, note());  // owned by nobody: it stops
    auto resumedAfterCancel = Timer::create(*q);
    resumedAfterCancel->schedule(d.monotonicNow() + 1s);
    resumedAfterCancel->setEventHandler(note());
    resumedAfterCancel->cancel();
    resumedAfterCancel->resume();
    d.advance(1e9);
    EXPECT_TRUE(ranAt.empty());
}

TEST_F(TimerTest, AWeakHandlerDoesNothingOnceItsOwnerIsGone) {
    auto ticks = std::make_shared<int>(0);
    auto timer = startRepeating(*q, 1s, weakly(ticks, [](int& count) { ++count; }));
    d.advance(2.0);
    EXPECT_EQ(*ticks, 2);
    ticks.reset();
    d.advance(5.0);  // must not touch freed memory (ASan guards this)
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

}  // namespace
}  // namespace mavu::dispatch
