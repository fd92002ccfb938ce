#include "app/system/PrivilegedHelperClient.h"

#include <gtest/gtest.h>

#include "tests/client/ScriptedDaemonService.h"
#include "tests/support/ScriptedHelperConnection.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::app {
namespace {

using ArmResult = PrivilegedHelperClient::ArmResult;
using Arms = std::vector<ArmResult>;
using Version = std::optional<protocol::HelperVersion>;
using namespace services;

constexpr char kApprove[] = "Approve MAVU in System Settings → General → Login Items.";
constexpr char kBlocked[] =
    "macOS blocked the helper until it is approved in System Settings → General → Login Items "
    "& Extensions. (Operation not permitted)";

// Every delivery of one completion, with the virtual time of the last.
template <class T>
struct Outcome {
    std::vector<T> values;
    double at = -1;
    auto callback(testing::VirtualDispatch& dispatch) {
        return [this, &dispatch](T value) {
            values.push_back(std::move(value));
            at = dispatch.elapsedSeconds();
        };
    }
    auto done(testing::VirtualDispatch& dispatch) {
        return [record = callback(dispatch)] { record(T{}); };
    }
};

class HelperClientTest : public ::testing::Test {
  public:
    struct Bed {
        testing::VirtualDispatch dispatch;
        testing::ScriptedServiceManagement services{dispatch.mainQueue()};
        testing::ScriptedDaemonService& daemon = *services.daemon;
        std::shared_ptr<testing::ScriptedHelperConnector> connector =
            std::make_shared<testing::ScriptedHelperConnector>();
        std::shared_ptr<PrivilegedHelperClient> client =
            PrivilegedHelperClient::create(dispatch.mainQueue(), services, connector);
    };

  protected:
    bool ensureReady() {
        Outcome<bool> ready;
        client->ensureHelperReady(ready.callback(dispatch));
        dispatch.advance(1.0);
        return ready.values.at(0);
    }
    std::optional<std::string> lastError() const { return client->lastError().get(); }

    Bed bed;
    testing::VirtualDispatch& dispatch = bed.dispatch;
    testing::ScriptedDaemonService& daemon = bed.daemon;
    std::shared_ptr<testing::ScriptedHelperConnector>& connector = bed.connector;
    std::shared_ptr<PrivilegedHelperClient>& client = bed.client;
};

// Statuses read in order, the register error's domain ("bus": the bus cannot be reached),
// then: ready, needs approval, the last error.
using Readiness = std::tuple<std::vector<int>, std::string, bool, bool, std::optional<std::string>>;

// An unregistered daemon is registered, and its status read again half a second later; an
// arm is sent only once the daemon is ready.
TEST(HelperClientReadiness, StatusRegistrationAndConnectionDecideReadiness) {
    const int kNotRegistered = kStatusNotRegistered, kApproval = kStatusRequiresApproval;
    const Readiness cases[] = {
        {{kStatusEnabled}, "", true, false, {}},
        {{kApproval}, "", false, true, kApprove},
        {{7}, "", false, false, "Unknown helper status."},
        {{kStatusEnabled}, "bus", false, false, "Could not connect to the helper: No bus."},
        {{kNotRegistered, kStatusEnabled}, "SMAppServiceErrorDomain", true, false, kBlocked},
        {{kNotRegistered, kNotRegistered}, "NSPOSIXErrorDomain", false, true, kBlocked},
        {{kNotRegistered, kNotRegistered},
         "org.freedesktop.DBus.Error.Failed",
         false,
         false,
         "Could not register helper: Operation not permitted"},
        {{kNotRegistered, kApproval},
         "",
         false,
         true,
         "One-time approval is required in System Settings → General → Login Items."},
        {{kStatusNotFound, kStatusNotFound}, "", false, false, {}},
    };
    for (const auto& [statuses, domain, ready, approval, error] : cases) {
        SCOPED_TRACE(domain + " " + error.value_or("-"));
        HelperClientTest::Bed bed;
        bed.daemon.statuses = statuses;
        if (domain == "bus") {
            bed.connector->failure = "No bus.";
        } else if (!domain.empty()) {
            bed.daemon.registerError = ServiceError{domain, "Operation not permitted"};
        }
        const bool registers = statuses.size() > 1;
        Outcome<ArmResult> arm;
        bed.client->arm(3600, true, arm.callback(bed.dispatch));
        bed.dispatch.advance(0.375);
        EXPECT_EQ(arm.values.empty(), registers || ready);
        bed.dispatch.advance(0.125);
        EXPECT_EQ(bed.daemon.registerCalls, registers ? 1 : 0);
        EXPECT_EQ(*bed.client->helperReady(), ready);
        EXPECT_EQ(*bed.client->helperNeedsApproval(), approval);
        EXPECT_EQ(bed.client->lastError().get(), error);
        EXPECT_EQ(bed.connector->sent.size(), ready ? 1u : 0u);
        EXPECT_EQ(arm.values, ready ? Arms{} : Arms{ArmResult{}});
        EXPECT_EQ(bed.client->connection() != nullptr, ready);
    }
}

TEST_F(HelperClientTest, SilentDaemonGivesEveryCallItsFallbackAfterThreeSeconds) {
    Outcome<ArmResult> arm;
    Outcome<int> disarm, safeOff;
    Outcome<Version> version;
    client->arm(3600, true, arm.callback(dispatch));
    dispatch.runUntilIdle();
    client->disarm(disarm.done(dispatch));
    client->forceSafeOff(safeOff.done(dispatch));
    client->helperVersion(version.callback(dispatch));
    dispatch.advance(2.875);
    EXPECT_EQ(connector->sent.size(), 4u);
    EXPECT_TRUE(arm.values.empty() && disarm.values.empty() && safeOff.values.empty() &&
                version.values.empty());

    dispatch.advance(10.0);
    EXPECT_EQ(arm.values, Arms{ArmResult{}});
    EXPECT_EQ(disarm.values.size(), 1u);
    EXPECT_EQ(safeOff.values.size(), 1u);
    ASSERT_EQ(version.values.size(), 1u);
    EXPECT_FALSE(version.values[0]);
    for (double at : {arm.at, disarm.at, safeOff.at, version.at}) {
        EXPECT_DOUBLE_EQ(at, 3.0);
    }
    EXPECT_EQ(lastError(), std::nullopt);  // the time-out says nothing of its own

    // A late answer still tells why, but the result stays the time-out's.
    connector->sent[0]->reply(false, "The battery is too low.");
    dispatch.runUntilIdle();
    EXPECT_EQ(lastError(), "The battery is too low.");
    connector->sent[1]->reply(false, "Could not release the hold.");
    dispatch.runUntilIdle();
    EXPECT_EQ(lastError(), "Could not release the hold.");
    EXPECT_EQ(arm.values.size(), 1u);
}

TEST_F(HelperClientTest, AnswersAndDeliveryErrorsDecideAtOnceAndOnlyOnce) {
    Outcome<ArmResult> arm;
    const auto armNow = [&] {
        client->arm(7200, false, arm.callback(dispatch));
        dispatch.runUntilIdle();
        return &connector->last();
    };
    auto* message = armNow();
    message->reply(true, "The lid is open.");
    message->reply(false, "ignored: the result is decided once");
    armNow()->fail("Access denied.");
    dispatch.runUntilIdle();
    EXPECT_EQ(arm.values, (Arms{{true, "The lid is open."}, {}}));
    EXPECT_EQ(lastError(), "Access denied.");
    EXPECT_DOUBLE_EQ(arm.at, 0.0);
    armNow()->reply(true);
    dispatch.runUntilIdle();
    EXPECT_EQ(lastError(), std::nullopt);

    Outcome<int> disarm;
    client->disarm(disarm.done(dispatch));
    connector->last().reply(false, "Could not release the hold.");
    client->disarm(disarm.done(dispatch));
    connector->last().fail("Disconnected.");  // no message of its own
    client->disarm(disarm.done(dispatch));
    connector->last().reply(true, "ignored: a disarm that worked");
    Outcome<Version> version;
    client->helperVersion(version.callback(dispatch));
    connector->last().replyVersion("1.2", "42");
    dispatch.runUntilIdle();
    EXPECT_EQ(disarm.values.size(), 3u);
    EXPECT_DOUBLE_EQ(disarm.at, 0.0);
    EXPECT_EQ(lastError(), "Could not release the hold.");
    ASSERT_TRUE(version.values.at(0));
    EXPECT_EQ(version.values[0]->shortVersion, "1.2");
    EXPECT_EQ(version.values[0]->build, "42");
}

TEST_F(HelperClientTest, InterruptionKeepsReadinessInvalidationClearsIt) {
    ASSERT_TRUE(ensureReady());
    connector->latest().interrupt();
    dispatch.runUntilIdle();
    EXPECT_EQ(client->connection(), nullptr);
    EXPECT_TRUE(*client->helperReady());

    client->heartbeat(false);  // the next call reconnects
    ASSERT_EQ(connector->connections.size(), 2u);
    EXPECT_EQ(client->connection(), connector->connections[1]);

    // Late words from the old connection change nothing.
    connector->connections[0]->failFromBus();
    connector->connections[0]->interrupt();
    dispatch.runUntilIdle();
    EXPECT_EQ(client->connection(), connector->connections[1]);
    EXPECT_TRUE(*client->helperReady());

    connector->latest().failFromBus();
    dispatch.runUntilIdle();
    EXPECT_EQ(client->connection(), nullptr);
    EXPECT_FALSE(*client->helperReady());

    connector->failure = "Failed to open bus";
    Outcome<int> disarm;
    client->disarm(disarm.done(dispatch));  // no proxy: the fallback comes at once
    dispatch.runUntilIdle();
    EXPECT_EQ(disarm.values.size(), 1u);
}

// A failed unregistering says why and keeps the connection; a restart registers and
// connects again; an uninstall drops pending calls and ends every later attempt.
TEST_F(HelperClientTest, RestartAndUninstallUnregisterTheDaemon) {
    ASSERT_TRUE(ensureReady());
    Outcome<bool> done;
    const auto failing = [&](auto operation, std::string domain, std::string prefix) {
        daemon.unregisterError = ServiceError{domain, "Busy"};
        (client.get()->*operation)(done.callback(dispatch));
        dispatch.runUntilIdle();
        EXPECT_EQ(done.values.back(), false);
        EXPECT_EQ(lastError(), prefix + "Busy");
        EXPECT_TRUE(*client->helperReady());
        daemon.unregisterError.reset();
    };
    failing(&PrivilegedHelperClient::restartHelper, "NSPOSIXErrorDomain",
            "Could not stop the helper: ");
    daemon.statuses = {kStatusNotRegistered, kStatusEnabled};
    client->restartHelper(done.callback(dispatch));
    dispatch.advance(1.0);
    EXPECT_EQ(done.values.back(), true);
    EXPECT_EQ(daemon.registerCalls, 1);
    EXPECT_TRUE(connector->connections.at(0)->invalidatedByOwner);
    EXPECT_EQ(client->connection(), connector->connections.at(1));
    EXPECT_TRUE(*client->helperReady());

    failing(&PrivilegedHelperClient::uninstallHelper, "SMAppServiceErrorDomain",
            "Could not remove the helper: ");
    EXPECT_FALSE(*client->isUninstalled());
    Outcome<ArmResult> pending;
    client->arm(0, false, pending.callback(dispatch));
    dispatch.runUntilIdle();
    client->uninstallHelper(done.callback(dispatch));
    dispatch.runUntilIdle();
    EXPECT_EQ(done.values.back(), true);
    EXPECT_TRUE(*client->isUninstalled());
    EXPECT_FALSE(*client->helperReady());
    EXPECT_TRUE(connector->connections[1]->invalidatedByOwner);
    EXPECT_EQ(pending.values, Arms{ArmResult{}});  // dropped, not stranded
    EXPECT_LT(pending.at, 4.0);

    const int reads = daemon.statusReads;
    EXPECT_FALSE(ensureReady());
    EXPECT_EQ(daemon.statusReads, reads);
    EXPECT_EQ(lastError(), "MAVU was uninstalled. Quit and reopen MAVU to use it again.");
}

TEST_F(HelperClientTest, HeartbeatPassesOnlyMessagesOnTheMainQueue) {
    std::vector<std::string> messages;
    auto onMessage = [&](const std::string& m) { messages.push_back(m); };
    client->heartbeat(true, onMessage);
    client->heartbeat(false, onMessage);
    ASSERT_EQ(connector->sent.size(), 2u);
    EXPECT_TRUE(connector->sent[0]->hasExternalDisplay);
    connector->sent[0]->reply(true);
    connector->sent[1]->reply(false, "The timer ended.");
    EXPECT_TRUE(messages.empty());
    dispatch.runUntilIdle();
    EXPECT_EQ(messages, std::vector<std::string>{"The timer ended."});
    EXPECT_EQ(dispatch.pendingCount(), 0u);  // no time-out behind a heartbeat
}

}  // namespace
}  // namespace mavu::app
