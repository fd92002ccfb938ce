#include "app/system/PrivilegedHelperClient.h"

#include <gtest/gtest.h>

#include "tests/client/ScriptedDaemonService.h"
#include "tests/support/ScriptedHelperConnection.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::app {
namespace {

using ArmResult = PrivilegedHelperClient::ArmResult;
using services::kStatusEnabled;
using services::kStatusNotRegistered;
using services::kStatusRequiresApproval;
using testing::VirtualDispatch;

constexpr char kApprove[] = "Approve MAVU in System Settings → General → Login Items.";

// Every delivery of one completion, with the virtual time it came at.
template <class T>
struct Outcome {
    std::vector<T> values;
    double at = -1;
    auto callback(VirtualDispatch& dispatch) {
        return [this, &dispatch](T value) {
            values.push_back(std::move(value));
            at = dispatch.elapsedSeconds();
        };
    }
    auto done(VirtualDispatch& dispatch) {
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

    VirtualDispatch dispatch;
    testing::ScriptedServiceManagement services{dispatch.mainQueue()};
    testing::ScriptedDaemonService& daemon = *services.daemon;
    std::shared_ptr<testing::ScriptedHelperConnector> connector =
        std::make_shared<testing::ScriptedHelperConnector>();
    std::shared_ptr<PrivilegedHelperClient> client =
        PrivilegedHelperClient::create(dispatch.mainQueue(), services, connector);
};

TEST_F(HelperClientTest, SilentDaemonGivesEveryCallItsFallbackAfterThreeSeconds) {
    daemon.statuses = {kStatusRequiresApproval, kStatusEnabled};
    EXPECT_FALSE(ensureReady());
    const double start = dispatch.elapsedSeconds();

    Outcome<ArmResult> arm;
    Outcome<int> disarm, safeOff;
    Outcome<std::optional<protocol::HelperVersion>> version;
    client->arm(3600, true, arm.callback(dispatch));
    client->disarm(disarm.done(dispatch));
    client->forceSafeOff(safeOff.done(dispatch));
    client->helperVersion(version.callback(dispatch));
    dispatch.advance(2.999);
    ASSERT_EQ(connector->sent.size(), 4u);
    const auto& armSent = *connector->sent.back();  // after its readiness check
    EXPECT_EQ(armSent.member, "Arm");
    EXPECT_EQ(armSent.durationSeconds, 3600);
    EXPECT_TRUE(armSent.hasExternalDisplay);
    EXPECT_TRUE(arm.values.empty() && disarm.values.empty() && safeOff.values.empty() &&
                version.values.empty());

    dispatch.advance(10.0);
    EXPECT_EQ(arm.values, std::vector{ArmResult{}});
    EXPECT_EQ(disarm.values.size(), 1u);
    EXPECT_EQ(safeOff.values.size(), 1u);
    ASSERT_EQ(version.values.size(), 1u);
    EXPECT_FALSE(version.values[0]);
    for (double at : {arm.at, disarm.at, safeOff.at, version.at}) {
        EXPECT_DOUBLE_EQ(at - start, 3.0);
    }
    EXPECT_EQ(lastError(), kApprove);  // the time-out says nothing of its own
}

TEST_F(HelperClientTest, LateRepliesChangeLastErrorButNotTheResult) {
    Outcome<ArmResult> arm;
    client->arm(0, false, arm.callback(dispatch));
    dispatch.advance(3.0);
    connector->last().reply(false, "The battery is too low.");
    dispatch.advance(1.0);
    EXPECT_EQ(arm.values, std::vector{ArmResult{}});
    EXPECT_EQ(lastError(), "The battery is too low.");

    client->arm(0, false, arm.callback(dispatch));
    dispatch.advance(5.0);
    connector->last().reply(true);
    dispatch.runUntilIdle();
    EXPECT_EQ(lastError(), std::nullopt);

    client->arm(0, false, arm.callback(dispatch));
    dispatch.advance(5.0);
    connector->last().fail("The name was not provided.");
    dispatch.runUntilIdle();
    EXPECT_EQ(lastError(), "The name was not provided.");
    EXPECT_EQ(arm.values.size(), 3u);
}

TEST_F(HelperClientTest, AnswersAndDeliveryErrorsDecideAtOnce) {
    Outcome<ArmResult> arm;
    client->arm(7200, false, arm.callback(dispatch));
    dispatch.runUntilIdle();
    connector->last().reply(true, "The lid is open.");
    connector->last().reply(false, "ignored: the result is decided once");
    dispatch.runUntilIdle();
    EXPECT_EQ(arm.values, (std::vector{ArmResult{true, "The lid is open."}}));

    client->arm(7200, false, arm.callback(dispatch));
    dispatch.runUntilIdle();
    connector->last().fail("Access denied.");
    dispatch.runUntilIdle();
    EXPECT_EQ(arm.values.back(), ArmResult{});
    EXPECT_EQ(lastError(), "Access denied.");
    EXPECT_DOUBLE_EQ(arm.at, 0.0);

    Outcome<int> disarm;
    client->disarm(disarm.done(dispatch));
    connector->last().reply(false, "Could not release the hold.");
    client->disarm(disarm.done(dispatch));
    connector->last().fail("Disconnected.");  // no message of its own
    Outcome<std::optional<protocol::HelperVersion>> version;
    client->helperVersion(version.callback(dispatch));
    connector->last().replyVersion("1.2", "42");
    dispatch.runUntilIdle();
    EXPECT_EQ(disarm.values.size(), 2u);
    EXPECT_EQ(lastError(), "Could not release the hold.");
    ASSERT_TRUE(version.values.at(0));
    EXPECT_EQ(version.values[0]->shortVersion, "1.2");
    EXPECT_EQ(version.values[0]->build, "42");
}

TEST_F(HelperClientTest, ArmingWhileApprovalIsRequiredSendsNothing) {
    daemon.statuses = {kStatusRequiresApproval};
    Outcome<ArmResult> arm;
    client->arm(3600, false, arm.callback(dispatch));
    dispatch.runUntilIdle();
    EXPECT_EQ(arm.values, std::vector{ArmResult{}});
    EXPECT_TRUE(connector->sent.empty());
    EXPECT_EQ(lastError(), kApprove);
    EXPECT_TRUE(*client->helperNeedsApproval());
    EXPECT_FALSE(*client->helperReady());
    EXPECT_EQ(services.daemonPlistNames,
              std::vector<std::string>{"group.com.norvel.mavu.helper.plist"});
}

struct RegistrationCase {
    std::string domain;
    int statusAfterSettle;
    bool ready;
    bool needsApproval;
    std::optional<std::string> lastError;
};

class RegistrationTest : public HelperClientTest,
                         public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(RegistrationTest, RegistersThenReadsTheStatusAgainAfterHalfASecond) {
    const auto& c = GetParam();
    daemon.statuses = {kStatusNotRegistered, c.statusAfterSettle};
    if (!c.domain.empty()) {
        daemon.registerError = services::ServiceError{c.domain, "Operation not permitted"};
    }
    Outcome<bool> ready;
    client->ensureHelperReady(ready.callback(dispatch));
    dispatch.advance(0.499);
    EXPECT_TRUE(ready.values.empty());
    dispatch.advance(0.001);
    EXPECT_EQ(ready.values, std::vector{c.ready});
    EXPECT_EQ(daemon.registerCalls, 1);
    EXPECT_EQ(*client->helperReady(), c.ready);
    EXPECT_EQ(*client->helperNeedsApproval(), c.needsApproval);
    EXPECT_EQ(lastError(), c.lastError);
    EXPECT_EQ(client->connection() != nullptr, c.ready);
}

const char kBlocked[] =
    "macOS blocked the helper until it is approved in System Settings → General → Login Items "
    "& Extensions. (Operation not permitted)";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RegistrationTest,
    ::testing::Values(
        RegistrationCase{"SMAppServiceErrorDomain", kStatusEnabled, true, false, kBlocked},
        RegistrationCase{"NSPOSIXErrorDomain", kStatusNotRegistered, false, true, kBlocked},
        RegistrationCase{"org.freedesktop.DBus.Error.Failed", kStatusNotRegistered, false, false,
                         "Could not register helper: Operation not permitted"},
        RegistrationCase{"", kStatusRequiresApproval, false, true,
                         "One-time approval is required in System Settings → General → Login "
                         "Items."},
        RegistrationCase{"", services::kStatusNotFound, false, false, std::nullopt}));

TEST_F(HelperClientTest, UnknownStatusAndUnreachableBusAreSaid) {
    daemon.statuses = {7};
    EXPECT_FALSE(ensureReady());
    EXPECT_EQ(lastError(), "Unknown helper status.");

    daemon.statuses = {kStatusEnabled};
    connector->failure = "Failed to open bus (No such file or directory)";
    EXPECT_FALSE(ensureReady());
    EXPECT_FALSE(*client->helperReady());
    EXPECT_EQ(lastError(),
              "Could not connect to the helper: Failed to open bus (No such file or "
              "directory)");
    Outcome<int> disarm;
    client->disarm(disarm.done(dispatch));  // no proxy: the fallback comes at once
    dispatch.runUntilIdle();
    EXPECT_EQ(disarm.values.size(), 1u);
}

TEST_F(HelperClientTest, InterruptionKeepsReadinessInvalidationClearsIt) {
    ASSERT_TRUE(ensureReady());
    auto first = client->connection();
    EXPECT_TRUE(connector->latest().resumed);
    connector->latest().interrupt();
    dispatch.runUntilIdle();
    EXPECT_EQ(client->connection(), nullptr);
    EXPECT_TRUE(*client->helperReady());

    client->heartbeat(false);  // the next call reconnects
    ASSERT_EQ(connector->connections.size(), 2u);
    EXPECT_EQ(client->connection(), connector->connections[1]);

    connector->connections[0]->failFromBus();  // a late word from the old connection
    dispatch.runUntilIdle();
    EXPECT_EQ(client->connection(), connector->connections[1]);
    EXPECT_TRUE(*client->helperReady());

    connector->latest().failFromBus();
    dispatch.runUntilIdle();
    EXPECT_EQ(client->connection(), nullptr);
    EXPECT_FALSE(*client->helperReady());
}

TEST_F(HelperClientTest, UninstallEndsEveryLaterAttempt) {
    ASSERT_TRUE(ensureReady());
    daemon.unregisterError = services::ServiceError{"SMAppServiceErrorDomain", "Not allowed"};
    Outcome<bool> removed;
    client->uninstallHelper(removed.callback(dispatch));
    dispatch.runUntilIdle();
    EXPECT_EQ(removed.values, std::vector{false});
    EXPECT_EQ(lastError(), "Could not remove the helper: Not allowed");
    EXPECT_FALSE(*client->isUninstalled());

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
    EXPECT_EQ(pending.values, std::vector{ArmResult{}});  // dropped, not stranded
    EXPECT_LT(pending.at, 3.0);

    const int reads = daemon.statusReads;
    EXPECT_FALSE(ensureReady());
    EXPECT_EQ(daemon.statusReads, reads);
    EXPECT_EQ(lastError(), "MAVU was uninstalled. Quit and reopen MAVU to use it again.");
}

TEST_F(HelperClientTest, RestartUnregistersAndRegistersAgain) {
    ASSERT_TRUE(ensureReady());
    daemon.unregisterError = services::ServiceError{"NSPOSIXErrorDomain", "Busy"};
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
    connector->sent[1]->reply(false, "MAVU's Keep Awake timer ended; the Mac now sleeps normally.");
    EXPECT_TRUE(messages.empty());
    dispatch.runUntilIdle();
    EXPECT_EQ(messages, std::vector<std::string>{
                            "MAVU's Keep Awake timer ended; the Mac now sleeps normally."});
    EXPECT_EQ(dispatch.pendingCount(), 0u);  // no time-out behind a heartbeat
}

TEST_F(HelperClientTest, PublishedFieldsAnnounceTheirValueThenEveryAssignment) {
    std::vector<bool> seen;
    auto subscription = client->helperReady().subscribe([&](bool v) { seen.push_back(v); });
    ensureReady();
    ensureReady();
    EXPECT_EQ(seen, (std::vector{false, true, true}));
    subscription.reset();
    connector->latest().failFromBus();
    dispatch.runUntilIdle();
    EXPECT_EQ(seen.size(), 3u);
}

}  // namespace
}  // namespace mavu::app
