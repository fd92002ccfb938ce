#include "platform/ipc/BusHelperConnection.h"

#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "tests/support/ChildProcess.h"
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
            .implementedAs([this](Held&& result, double seconds, bool external) {
                std::lock_guard lock(mutex_);
                held_.push_back(std::move(result));
                args_.emplace_back(seconds, external);
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
        for (auto& result : held) {
            result.returnResults(ok, std::vector{message});
        }
    }
    std::vector<std::pair<double, bool>> args() {
        std::lock_guard lock(mutex_);
        return args_;
    }

  private:
    std::unique_ptr<sdbus::IConnection> connection_ =
        sdbus::createSystemBusConnection(protocol::kBusName);
    std::unique_ptr<sdbus::IObject> object_ =
        sdbus::createObject(*connection_, protocol::kObjectPath);
    std::mutex mutex_;
    std::vector<Held> held_;
    std::vector<std::pair<double, bool>> args_;
};

struct Answer {
    bool success = false;
    std::optional<std::string> message;
    std::optional<std::string> error;
};

// Collects the first reply or error of one call.
struct Call {
    std::promise<Answer> promise;
    std::future<Answer> future = promise.get_future();
    std::atomic<int> deliveries{0};

    void settle(Answer a) {
        if (deliveries++ == 0) {
            promise.set_value(std::move(a));
        }
    }
    Answer within(std::chrono::milliseconds bound = 5s) {
        if (future.wait_for(bound) != std::future_status::ready) {
            ADD_FAILURE() << "no answer within " << bound.count() << " ms";
            return {};
        }
        return future.get();
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
                call.settle({false, std::nullopt, e.localizedDescription});
            })
            ->armWithDurationSeconds(seconds, true, [&call](bool ok, auto message) {
                call.settle({ok, std::move(message), std::nullopt});
            });
    }

    testing::TestSystemBus bus;
    std::atomic<int> invalidations{0};
    std::atomic<int> interruptions{0};
};

TEST_F(BusConnectionTest, LateAnswersArriveWithTheirArgumentsAndADepartureInterrupts) {
    auto connection = open();
    Call unknown;
    arm(*connection, unknown);  // nobody owns the name and nothing can start it
    const auto undelivered = unknown.within();
    ASSERT_TRUE(undelivered.error);
    EXPECT_NE(undelivered.error->find("group.com.norvel.mavu.helper"), std::string::npos);

    auto daemon = std::make_unique<HoldingDaemon>();
    Call late, abandoned;
    arm(*connection, late, 7200);
    EXPECT_EQ(late.future.wait_for(300ms), std::future_status::timeout);
    daemon->answer(true, "The battery is too low.");
    const auto answered = late.within();
    EXPECT_TRUE(answered.success);
    EXPECT_EQ(answered.message, "The battery is too low.");
    EXPECT_EQ(daemon->args(), (std::vector<std::pair<double, bool>>{{7200.0, true}}));

    arm(*connection, abandoned);
    ASSERT_TRUE(eventually([&] { return daemon->args().size() == 2; }));
    daemon.reset();  // leaves the bus without answering
    EXPECT_TRUE(abandoned.within().error);
    EXPECT_TRUE(eventually([&] { return interruptions == 1; }));
    EXPECT_EQ(invalidations, 0);
}

TEST_F(BusConnectionTest, ALostBusInvalidatesWithoutEndingTheProcess) {
    auto connection = open();
    bus.stop();
    EXPECT_TRUE(eventually([&] { return invalidations == 1; }));
    Call afterwards;
    arm(*connection, afterwards);
    EXPECT_TRUE(afterwards.within().error);
    EXPECT_EQ(interruptions, 0);
}

TEST_F(BusConnectionTest, ClosingDropsPendingCallsAndSilencesHandlers) {
    auto daemon = std::make_unique<HoldingDaemon>();
    auto connection = open();
    auto pending = std::make_shared<int>(0);
    std::weak_ptr<int> watch = pending;
    connection->remoteObjectProxy([pending](const ConnectionError&) {})
        ->armWithDurationSeconds(60, false, {});
    pending.reset();
    ASSERT_TRUE(eventually([&] { return daemon->args().size() == 1; }));
    connection->invalidate();
    EXPECT_TRUE(watch.expired());  // its callbacks are gone, never to be called
    daemon.reset();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(invalidations + interruptions, 0);
    Call afterwards;
    arm(*connection, afterwards);
    EXPECT_EQ(afterwards.within().error, "The connection to the helper was closed.");
}

TEST(BusConnector, AnUnreachableBusIsAFailureNotAnException) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/mavu-test-bus", 1);
    const auto attempt = BusHelperConnector().connect();
    EXPECT_FALSE(attempt.connection);
    EXPECT_FALSE(attempt.failure.empty());
}

}  // namespace
}  // namespace mavu::ipc
