#include "platform/ipc/BusHelperConnection.h"

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "tests/support/TestSystemBus.h"

namespace mavu::ipc {
namespace {

using namespace std::chrono_literals;
using testing::eventually;

// Owns the daemon's name and holds every Arm until the test answers it or leaves the bus:
// the answers the real daemon gives at once travel in the client's system test.
class HoldingDaemon {
  public:
    using Held = sdbus::Result<bool, std::vector<std::string>>;
    HoldingDaemon() {
        object_->registerMethod("Arm")
            .onInterface(protocol::kInterface)
            .implementedAs([this](Held&& result, double seconds, bool) {
                std::lock_guard lock(mutex_);
                held_.push_back(std::move(result));
                seconds_.push_back(seconds);
            });
        object_->finishRegistration();
        connection_->enterEventLoopAsync();
    }
    ~HoldingDaemon() { connection_->leaveEventLoop(); }
    void answer(bool ok, const std::string& message) {
        std::vector<Held> held;
        {
            std::lock_guard lock(mutex_);  // never send while holding what a handler takes
            held.swap(held_);
        }
        held.back().returnResults(ok, std::vector{message});
    }
    std::vector<double> seconds() {
        std::lock_guard lock(mutex_);
        return seconds_;
    }

  private:
    std::unique_ptr<sdbus::IConnection> connection_ =
        sdbus::createSystemBusConnection(protocol::kBusName);
    std::unique_ptr<sdbus::IObject> object_ =
        sdbus::createObject(*connection_, protocol::kObjectPath);
    std::mutex mutex_;
    std::vector<Held> held_;
    std::vector<double> seconds_;
};

// The first reply ("ok message") or error of one call.
struct Call {
    std::promise<std::string> promise;
    std::future<std::string> future = promise.get_future();
    std::atomic<int> deliveries{0};

    void settle(std::string answer) {
        if (deliveries++ == 0) {
            promise.set_value(std::move(answer));
        }
    }
    std::string within(std::chrono::milliseconds bound = 5s) {
        return future.wait_for(bound) == std::future_status::ready ? future.get() : "no answer";
    }
};

class BusConnectionTest : public ::testing::Test {
  protected:
    std::shared_ptr<HelperConnection> open() {
        auto attempt = BusHelperConnector().connect();
        EXPECT_TRUE(attempt.connection) << attempt.failure;
        attempt.connection->setInvalidationHandler([this] { invalidations++; });
        attempt.connection->setInterruptionHandler([this] { interruptions++; });
        attempt.connection->resume();
        return attempt.connection;
    }
    void arm(HelperConnection& connection, Call& call, double seconds = 3600) {
        connection
            .remoteObjectProxy([&call](const ConnectionError& e) {
                call.settle("error " + e.localizedDescription);
            })
            ->armWithDurationSeconds(seconds, true, [&call](bool ok, auto message) {
                call.settle(std::to_string(ok) + " " + message.value_or("-"));
            });
    }

    testing::TestSystemBus bus;
    std::atomic<int> invalidations{0};
    std::atomic<int> interruptions{0};
};

// Late answers keep their arguments; the daemon leaving interrupts; closing drops what is
// pending and hears nothing more; a lost bus invalidates.
TEST_F(BusConnectionTest, AnswersArriveLateADepartureInterruptsClosingDropsALostBusInvalidates) {
    auto daemon = std::make_unique<HoldingDaemon>();
    auto connection = open();
    Call late, abandoned, closed, lost;
    arm(*connection, late, 7200);
    EXPECT_EQ(late.within(300ms), "no answer");
    daemon->answer(true, "The battery is too low.");
    EXPECT_EQ(late.within(), "1 The battery is too low.");
    EXPECT_EQ(daemon->seconds(), std::vector{7200.0});
    arm(*connection, abandoned);
    ASSERT_TRUE(eventually([&] { return daemon->seconds().size() == 2; }));
    daemon.reset();  // leaves the bus without answering
    EXPECT_EQ(abandoned.within().rfind("error ", 0), 0u);
    EXPECT_TRUE(eventually([&] { return interruptions == 1; }));

    daemon = std::make_unique<HoldingDaemon>();
    auto pending = std::make_shared<int>(0);
    std::weak_ptr<int> watch = pending;
    connection->remoteObjectProxy([pending](const ConnectionError&) {})
        ->armWithDurationSeconds(60, false, {});
    pending.reset();
    ASSERT_TRUE(eventually([&] { return daemon->seconds().size() == 1; }));
    connection->invalidate();
    EXPECT_TRUE(watch.expired());  // its callbacks are gone, never to be called
    daemon.reset();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(invalidations + interruptions, 1);
    arm(*connection, closed);
    EXPECT_EQ(closed.within(), "error The connection to the helper was closed.");

    auto second = open();
    bus.stop();
    EXPECT_TRUE(eventually([&] { return invalidations == 1; }));
    arm(*second, lost);
    EXPECT_EQ(lost.within().rfind("error ", 0), 0u);
    EXPECT_EQ(interruptions, 1);
}

}  // namespace
}  // namespace mavu::ipc
