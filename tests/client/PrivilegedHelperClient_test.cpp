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
  protected:
    bool ensureReady() {
        Outcome<bool> ready;
        client->ensureHelperReady(ready.callback(dispatch));
        dispatch.advance(1.0);
        return ready.values.at(0);
    }
    std::optional<std::string> lastError() const { return client->lastError().get(); }

    testing::VirtualDispatch dispatch;
    testing::ScriptedServiceManagement services{dispatch.mainQueue()};
    testing::ScriptedDaemonService& daemon = *services.daemon;
    std::shared_ptr<testing::ScriptedHelperConnector> connector =
        std::make_shared<testing::ScriptedHelperConnector>();
    std::shared_ptr<PrivilegedHelperClient> client =
        PrivilegedHelperClient::create(dispatch.mainQueue(), services, connector);
};

struct ReadinessCase {
    std::vector<int> statuses;
    std::string registerErrorDomain;
    std::optional<std::string> connectFailure;
    bool ready;
    bool needsApproval;
    std::optional<std::string> lastError;
};

// An unregistered daemon is registered, and its status read again half a second later; an
// arm is sent only once the daemon is ready.
TEST(HelperClientReadiness, StatusRegistrationAndConnectionDecideReadiness) {
    const ReadinessCase cases[] = {
        {{kStatusEnabled}, "", {}, true, false, {}},
        {{kStatusRequiresApproval}, "", {}, false, true, kApprove},
        {{7}, "", {}, false, false, "Unknown helper status."},
        {{kStatusEnabled},
         "",
         "Failed to open bus",
         false,
         false,
         "Could not connect to the helper: Failed to open bus"},
        {{kStatusNotRegistered, kStatusEnabled},
         "SMAppServiceErrorDomain",
         {},
         true,
         false,
         kBlocked},
        {{kStatusNotRegistered, kStatusNotRegistered},
         "NSPOSIXErrorDomain",
         {},
         false,
         true,
         kBlocked},
        {{kStatusNotRegistered, kStatusNotRegistered},
         "org.freedesktop.DBus.Error.Failed",
         {},
         false,
         false,
         "Could not register helper: Operation not permitted"},
        {{kStatusNotRegistered, kStatusRequiresApproval},
         "",
         {},
         false,
         true,
         "One-time approval is required in System Settings → General → Login Items."},
        {{kStatusNotFound, kStatusNotFound}, "", {}, false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.registerErrorDomain + " " + c.lastError.value_or("-"));
        testing::VirtualDispatch dispatch;
        testing::ScriptedServiceManagement services{dispatch.mainQueue()};
        auto connector = std::make_shared<testing::ScriptedHelperConnector>();
        auto client = PrivilegedHelperClient::create(dispatch.mainQueue(), services, connector);
        auto& daemon = *services.daemon;
        daemon.statuses = c.statuses;
        if (!c.registerErrorDomain.empty()) {
            daemon.registerError = ServiceError{c.registerErrorDomain, "Operation not permitted"};
        }
        connector->failure = c.connectFailure;
        const bool registers = c.statuses.size() > 1;

        Outcome<ArmResult> arm;
        client->arm(3600, true, arm.callback(dispatch));
        dispatch.advance(0.375);
        EXPECT_EQ(arm.values.empty(), registers || c.ready);
        dispatch.advance(0.125);
        EXPECT_EQ(daemon.registerCalls, registers ? 1 : 0);
        EXPECT_EQ(*client->helperReady(), c.ready);
        EXPECT_EQ(*client->helperNeedsApproval(), c.needsApproval);
        EXPECT_EQ(client->lastError().get(), c.lastError);
        if (c.ready) {
            ASSERT_EQ(connector->sent.size(), 1u);
            EXPECT_EQ(connector->last().member, "Arm");
            EXPECT_EQ(connector->last().durationSeconds, 3600);
            EXPECT_TRUE(connector->last().hasExternalDisplay);
            EXPECT_TRUE(connector->latest().resumed);
        } else {
            EXPECT_EQ(arm.values, Arms{ArmResult{}});
            EXPECT_TRUE(connector->sent.empty());
            EXPECT_EQ(client->connection(), nullptr);
        }
        EXPECT_EQ(services.daemonPlistNames,
                  std::vector<std::string>{"group.com.norvel.mavu.helper.plist"});
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

TEST_F(HelperClientTest, UninstallEndsEveryLaterAttempt) {
    ASSERT_TRUE(ensureReady());
    daemon.unregisterError = ServiceError{"SMAppServiceErrorDomain", "Not allowed"};
    Outcome<bool> removed;
    client->uninstallHelper(removed.callback(dispatch));
    dispatch.runUntilIdle();
    EXPECT_EQ(removed.values, std::vector{false});
    EXPECT_EQ(lastError(), "Could not remove the helper: Not allowed");
    EXPECT_FALSE(*client->isUninstalled());
    EXPECT_TRUE(*client->helperReady());

    daemon.unregisterError.reset();
    Outcome<ArmResult> pending;
    client->arm(0, false, pending.callback(dispatch));
    dispatch.runUntilIdle();
    client->uninstallHelper(removed.callback(dispatch));
    dispatch.runUntilIdle();
    EXPECT_EQ(removed.values.back(), true);
    EXPECT_TRUE(*client->isUninstalled());
    EXPECT_FALSE(*client->helperReady());
    EXPECT_TRUE(connector->connections[0]->invalidatedByOwner);
    EXPECT_EQ(pending.values, Arms{ArmResult{}});  // dropped, not stranded
    EXPECT_LT(pending.at, 3.0);

    const int reads = daemon.statusReads;
    EXPECT_FALSE(ensureReady());
    EXPECT_EQ(daemon.statusReads, reads);
    EXPECT_EQ(lastError(), "MAVU was uninstalled. Quit and reopen MAVU to use it again.");
}

TEST_F(HelperClientTest, RestartUnregistersAndRegistersAgain) {
    ASSERT_TRUE(ensureReady());
    daemon.unregisterError = ServiceError{"NSPOSIXErrorDomain", "Busy"};
    Outcome<bool> restarted;
    client->restartHelper(restarted.callback(dispatch));
    dispatch.runUntilIdle();
    EXPECT_EQ(restarted.values, std::vector{false});
    EXPECT_EQ(lastError(), "Could not stop the helper: Busy");
    EXPECT_EQ(client->connection(), connector->connections[0]);

    daemon.unregisterError.reset();
    daemon.statuses = {kStatusNotRegistered, kStatusEnabled};
    client->restartHelper(restarted.callback(dispatch));
    dispatch.advance(1.0);
    EXPECT_EQ(restarted.values.back(), true);
    EXPECT_EQ(daemon.registerCalls, 1);
    EXPECT_TRUE(connector->connections[0]->invalidatedByOwner);
    EXPECT_EQ(client->connection(), connector->connections.at(1));
    EXPECT_TRUE(*client->helperReady());
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
