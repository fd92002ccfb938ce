#include "platform/ipc/BusHelperConnection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "tests/client/BusTestDaemon.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSystemBus.h"

namespace mavu::ipc {
namespace {

using namespace std::chrono_literals;
using testing::BusTestDaemon;
using testing::eventually;
using Mode = BusTestDaemon::Mode;

struct MessageAnswer {
    bool success = false;
    std::optional<std::string> message;
    std::optional<std::string> error;
};

template <class T>
T within(std::future<T>& future, std::chrono::milliseconds bound = 5s) {
    if (future.wait_for(bound) != std::future_status::ready) {
        ADD_FAILURE() << "no answer within " << bound.count() << " ms";
        return T{};
    }
    return future.get();
}

// Collects the reply or the error of one message call.
struct Call {
    std::promise<MessageAnswer> promise;
    std::future<MessageAnswer> future = promise.get_future();
    std::atomic<int> deliveries{0};

    ErrorHandler onError() {
        return [this](const ConnectionError& e) {
            if (deliveries++ == 0) {
                promise.set_value({false, std::nullopt, e.localizedDescription});
            }
        };
    }
    protocol::MessageReply onReply() {
        return [this](bool ok, std::optional<std::string> message) {
            if (deliveries++ == 0) {
                promise.set_value({ok, std::move(message), std::nullopt});
            }
        };
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
    void arm(HelperConnection& connection, Call& call) {
        connection.remoteObjectProxy(call.onError())
            ->armWithDurationSeconds(3600, true, call.onReply());
    }

    testing::TestSystemBus bus;
    std::atomic<int> invalidations{0};
    std::atomic<int> interruptions{0};
};

// The other members travel in the client's test against the real daemon.
TEST_F(BusConnectionTest, CarriesArgumentsAndReplies) {
    BusTestDaemon daemon(Mode::answer,
                         "MAVU's Keep Awake timer ended; the Mac now sleeps normally.");
    auto connection = open();
    auto proxy = connection->remoteObjectProxy(
        [](const ConnectionError& e) { ADD_FAILURE() << e.localizedDescription; });

    Call arm, disarm;
    proxy->armWithDurationSeconds(7200, true, arm.onReply());
    proxy->disarm(disarm.onReply());
    const auto armed = within(arm.future);
    EXPECT_TRUE(armed.success);
    EXPECT_EQ(armed.message, "MAVU's Keep Awake timer ended; the Mac now sleeps normally.");
    EXPECT_EQ(within(disarm.future).message, std::nullopt);

    const auto calls = daemon.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].member, "Arm");
    EXPECT_EQ(calls[0].seconds, 7200.0);
    EXPECT_TRUE(calls[0].external);
    EXPECT_EQ(invalidations + interruptions, 0);
}

TEST_F(BusConnectionTest, UndeliverableMessagesReachTheErrorHandlerWithTheBusMessage) {
    auto connection = open();
    Call unknown;
    arm(*connection, unknown);  // nobody owns the name and nothing can start it
    const auto answer = within(unknown.future);
    ASSERT_TRUE(answer.error);
    EXPECT_NE(answer.error->find("group.com.norvel.mavu.helper"), std::string::npos);

    BusTestDaemon daemon(Mode::fail);
    Call refused;
    arm(*connection, refused);
    EXPECT_EQ(within(refused.future).error, "The daemon refused.");
}

TEST_F(BusConnectionTest, LateAnswersArriveAndADepartureInterrupts) {
    auto daemon = std::make_unique<BusTestDaemon>(Mode::hold);
    auto connection = open();
    Call late, abandoned;
    arm(*connection, late);
    EXPECT_EQ(late.future.wait_for(300ms), std::future_status::timeout);
    daemon->answerHeld(true, "The battery is too low.");
    EXPECT_EQ(within(late.future).message, "The battery is too low.");

    arm(*connection, abandoned);
    ASSERT_TRUE(eventually([&] { return daemon->calls().size() == 2; }));
    daemon.reset();  // leaves the bus without answering
    EXPECT_TRUE(within(abandoned.future).error);
    EXPECT_TRUE(eventually([&] { return interruptions == 1; }));
    EXPECT_EQ(invalidations, 0);
}

TEST_F(BusConnectionTest, ALostBusInvalidatesWithoutEndingTheProcess) {
    auto connection = open();
    bus.stop();
    EXPECT_TRUE(eventually([&] { return invalidations == 1; }));
    Call afterwards;
    arm(*connection, afterwards);
    EXPECT_TRUE(within(afterwards.future).error);
    EXPECT_EQ(interruptions, 0);
}

TEST_F(BusConnectionTest, ClosingDropsPendingCallsAndSilencesHandlers) {
    auto daemon = std::make_unique<BusTestDaemon>(Mode::hold);
    auto connection = open();
    auto pending = std::make_shared<int>(0);
    std::weak_ptr<int> watch = pending;
    connection->remoteObjectProxy([pending](const ConnectionError&) {})->disarm({});
    pending.reset();
    ASSERT_TRUE(eventually([&] { return daemon->calls().size() == 1; }));
    connection->invalidate();
    EXPECT_TRUE(watch.expired());  // its callbacks are gone, never to be called
    daemon.reset();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(invalidations + interruptions, 0);
    Call afterwards;
    arm(*connection, afterwards);
    EXPECT_EQ(within(afterwards.future).error, "The connection to the helper was closed.");
}

TEST(BusConnector, AnUnreachableBusIsAFailureNotAnException) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/mavu-test-bus", 1);
    const auto attempt = BusHelperConnector().connect();
    EXPECT_FALSE(attempt.connection);
    EXPECT_FALSE(attempt.failure.empty());
}

}  // namespace
}  // namespace mavu::ipc
