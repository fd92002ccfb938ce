#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <thread>
#include <vector>

#include "platform/dispatch/Timer.h"
#include "platform/dispatch/qt/QtMainQueue.h"

namespace mavu::dispatch {
namespace {

using namespace std::chrono_literals;

TEST(QtMainQueue, ServesWorkTimersAndDescriptorsOnTheEventLoop) {
    int argc = 1;
    char name[] = "qt-main-queue-test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtDispatch d;
    MainQueue& main = d.mainQueue();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);

    std::vector<std::string> events;  // touched only on the main thread
    auto watch = main.watchReadable(fds[0], [&] {
        char buffer[8];
        events.push_back("readable:" + std::to_string(read(fds[0], buffer, sizeof buffer)));
        app.quit();
    });
    auto never = startOneShot(main, MonotonicTime::max(), [&] { events.push_back("never"); });
    auto timer = startOneShot(main, d.clock().monotonicNow() + 20ms, [&] {
        events.push_back(main.isCurrent() ? "timer-on-main" : "timer-elsewhere");
        ASSERT_EQ(write(fds[1], "x", 1), 1);
    });
    std::thread other([&] { main.async([&] { events.push_back("from-thread"); }); });
    other.join();
    // Bounds a broken queue; the test normally ends in a few tens of milliseconds.
    QTimer::singleShot(1500, &app, [&] { app.quit(); });
    app.exec();

    EXPECT_EQ(events, (std::vector<std::string>{"from-thread", "timer-on-main", "readable:1"}));
    bool currentElsewhere = true;
    std::thread([&] { currentElsewhere = main.isCurrent(); }).join();
    EXPECT_FALSE(currentElsewhere);
    EXPECT_TRUE(main.isCurrent());
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
}  // namespace mavu::dispatch
