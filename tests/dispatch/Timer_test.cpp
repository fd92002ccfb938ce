// Timers in virtual time: their cadence, catching up, rescheduling and cancelling.
#include "platform/dispatch/Timer.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST_F(TimerTest, FiresOnItsCadenceAndATimerThatFellBehindFiresOnceThenKeepsIt) {
    const std::tuple<Duration, std::optional<Duration>, double, Times> cases[] = {
        {30s, 30s, 95, {30, 60, 90}},
        {-3500ms, 1s, 2, {0, 0.5, 1.5}},  // three and a half intervals behind
        {1s, 0s, 5, {1}},                 // a zero repeat interval makes a one-shot
        {1s, std::nullopt, 5, {1}},
    };
    for (const auto& [first, repeat, span, expected] : cases) {
        ranAt.clear();
        const double start = d.elapsedSeconds();
        auto timer = Timer::create(*q);
        timer->schedule(d.monotonicNow() + first, repeat);
        timer->setEventHandler([&] { ranAt.push_back(d.elapsedSeconds() - start); });
        timer->resume();
        timer->resume();  // a second resume arms nothing more
        d.advance(span);
        EXPECT_EQ(ranAt, expected);
    }
}

TEST_F(TimerTest, RescheduleReplacesTheDeadlineCancelIsFinalAndUnreachableDeadlinesNeverFire) {
    auto oneShot = startOneShot(*q, d.monotonicNow() + 10s, note());
    d.advance(4.0);
    oneShot->schedule(d.monotonicNow() + 10s);
    d.advance(20.0);
    EXPECT_EQ(ranAt, (Times{14.0}));

    auto repeating = Timer::create(*q);
    repeating->schedule(d.monotonicNow() + 1s, 1s);
    repeating->setEventHandler([&] {
        if (ranAt.size() == 2) {
            repeating->cancel();  // from inside its own handler
        }
        note()();
    });
    repeating->resume();
    d.advance(10.0);
    EXPECT_EQ(ranAt, (Times{14.0, 25.0, 26.0}));
    EXPECT_TRUE(repeating->isCancelled());
    repeating->schedule(d.monotonicNow() + 1s);
    repeating->resume();
    d.advance(10.0);
    EXPECT_EQ(ranAt.size(), 3u);
    ranAt.clear();

    // Due at 5 s, but work enqueued earlier for the same moment cancels it first.
    auto cancelled = startOneShot(*q, d.monotonicNow() + 5s, note());
    q->asyncAt(d.monotonicNow() + 5s - 1ns, [&] { cancelled->cancel(); });
    auto saturated = startOneShot(*q, addSaturating(d.monotonicNow(), fromSeconds(1e300)), note());
    startRepeating(*q, 1s, note());  // owned by nobody: it stops
    auto ticks = std::make_shared<int>(0);
    auto weakHandler = startRepeating(*q, 1s, weakly(ticks, [](int& count) { ++count; }));
    d.advance(2.0);
    EXPECT_EQ(*ticks, 2);
    ticks.reset();
    d.advance(5.0);  // the weak handler must not touch freed memory (ASan guards this)
    weakHandler.reset();
    d.advance(1e9);
    EXPECT_TRUE(ranAt.empty());
}

}  // namespace
}  // namespace mavu::dispatch
