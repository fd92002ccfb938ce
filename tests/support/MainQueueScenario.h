#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Timer.h"

namespace mavu::testing {

// What every real main queue must do: serve work from another thread, a timer on the main
// thread, and a descriptor once it is readable (here after the timer wrote to it); a timer
// that can never be due stays silent. run() serves the queue until stop() or a bound of
// its own; stop() is safe from the queue's own work.
inline void expectServesWorkTimersAndDescriptors(dispatch::MainQueue& main,
                                                 const std::function<void()>& run,
                                                 const std::function<void()>& stop) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<std::string> events;  // touched only on the main thread
    auto watch = main.watchReadable(fds[0], [&] {
        char buffer[8];
        events.push_back("readable:" + std::to_string(read(fds[0], buffer, sizeof buffer)));
        stop();
    });
    auto never = dispatch::startOneShot(main, dispatch::MonotonicTime::max(),
                                        [&] { events.push_back("never"); });
    auto timer = dispatch::startOneShot(
        main, main.clock().monotonicNow() + std::chrono::milliseconds(10), [&] {
            events.push_back(main.isCurrent() ? "timer-on-main" : "timer-elsewhere");
            ASSERT_EQ(write(fds[1], "ab", 2), 2);
        });
    std::thread([&] { main.async([&] { events.push_back("from-thread"); }); }).join();
    run();
    // Work from the other thread and the timer may come in either order on a slow machine.
    EXPECT_THAT(events,
                ::testing::UnorderedElementsAre("from-thread", "timer-on-main", "readable:2"));
    EXPECT_EQ(events.back(), "readable:2");
    bool currentElsewhere = true;
    std::thread([&] { currentElsewhere = main.isCurrent(); }).join();
    EXPECT_FALSE(currentElsewhere);
    watch.reset();
    close(fds[0]);
    close(fds[1]);
}

}  // namespace mavu::testing
