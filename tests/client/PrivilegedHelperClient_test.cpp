#include "app/system/PrivilegedHelperClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "tests/client/ScriptedDaemonService.h"
#include "tests/support/ScriptedHelperConnection.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::app {
namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;
using namespace services;

constexpr char kBlocked[] =
    "macOS blocked the helper until it is approved in System Settings → General → Login Items "
    "& Extensions. (Operation not permitted)";
constexpr char kCouldNotRegister[] = "Could not register helper: Operation not permitted";
constexpr char kOneTimeApproval[] =
    "One-time approval is required in System Settings → General → Login Items.";

std::string shown(bool value) {
    return value ? "1" : "0";
}
std::string shown(const PrivilegedHelperClient::ArmResult& result) {
    return shown(result.ok) + " " + result.message.value_or("-");
}
std::string shown(const std::optional<protocol::HelperVersion>& version) {
    return version ? version->shortVersion + "/" + version->build : "none";
}

struct Bed {
    // A completion that logs what it was given as "name value @virtual seconds".
    auto log(const std::string& name) {
        return [this, name](const auto&... value) {
            std::ostringstream line;
            line << name;
            ((line << ' ' << shown(value)), ...);
            line << " @" << dispatch.elapsedSeconds();
            heard.push_back(line.str());
        };
    }
    bool ensureReady() {
        std::optional<bool> ready;
        client->ensureHelperReady([&](bool value) { ready = value; });
        dispatch.advance(1.0);
        return ready.value();
    }
    std::optional<std::string> error() const { return client->lastError().get(); }

    Lines heard;  // outlives whatever could still deliver to it
    testing::VirtualDispatch dispatch;
    testing::ScriptedServiceManagement services{dispatch.mainQueue()};
    testing::ScriptedDaemonService& daemon = *services.daemon;
    std::shared_ptr<testing::ScriptedHelperConnector> connector =
        std::make_shared<testing::ScriptedHelperConnector>();
    std::shared_ptr<PrivilegedHelperClient> client =
        PrivilegedHelperClient::create(dispatch.mainQueue(), services, connector);
};

class HelperClientTest : public ::testing::Test, public Bed {};

// Statuses read in order, the register error's domain ("bus": the bus cannot be reached),
// then: ready, needs approval, the last error.
using Readiness = std::tuple<std::vector<int>, std::string, bool, bool, std::optional<std::string>>;

// An unregistered daemon is registered, and its status read again half a second later; an
// arm is sent only once the daemon is ready, else it fails when readiness is decided.
TEST(HelperClientReadiness, StatusRegistrationAndConnectionDecideReadiness) {
    const int kNotRegistered = kStatusNotRegistered, kApproval = kStatusRequiresApproval;
    const Readiness cases[] = {
        {{kStatusEnabled}, "", true, false, {}},
        {{kApproval}, "", false, true, "Approve MAVU in System Settings → General → Login Items."},
        {{7}, "", false, false, "Unknown helper status."},
        {{kStatusEnabled}, "bus", false, false, "Could not connect to the helper: No bus."},
        {{kNotRegistered, kStatusEnabled}, "SMAppServiceErrorDomain", true, false, kBlocked},
        {{kNotRegistered, kNotRegistered}, "NSPOSIXErrorDomain", false, true, kBlocked},
        {{kNotRegistered, kNotRegistered}, "other", false, false, kCouldNotRegister},
        {{kNotRegistered, kApproval}, "", false, true, kOneTimeApproval},
        {{kStatusNotFound, kStatusNotFound}, "", false, false, {}},
    };
    for (const auto& [statuses, domain, ready, approval, error] : cases) {
        SCOPED_TRACE(domain + " " + error.value_or("-"));
        Bed bed;
        bed.daemon.statuses = statuses;
        if (domain == "bus") {
            bed.connector->failure = "No bus.";
        } else if (!domain.empty()) {
            bed.daemon.registerError = ServiceError{domain, "Operation not permitted"};
        }
        bed.client->arm(3600, true, bed.log("arm"));
        bed.dispatch.advance(0.5);
        EXPECT_EQ(*bed.client->helperReady(), ready);
        EXPECT_EQ(*bed.client->helperNeedsApproval(), approval);
        EXPECT_EQ(bed.error(), error);
        EXPECT_EQ(bed.connector->sent.size(), ready ? 1u : 0u);
        EXPECT_EQ(bed.heard,
                  ready ? Lines{} : Lines{statuses.size() > 1 ? "arm 0 - @0.5" : "arm 0 - @0"});
    }
}

TEST_F(HelperClientTest, EachCallIsDecidedOnceByItsAnswerItsFailureOrThreeSecondsOfSilence) {
    client->arm(3600, true, log("arm"));
    dispatch.runUntilIdle();
    client->disarm(log("disarm"));
    client->forceSafeOff(log("safeoff"));
    client->helperVersion(log("version"));
    dispatch.advance(3.0);
    EXPECT_THAT(heard, ElementsAre("arm 0 - @3", "disarm @3", "safeoff @3", "version none @3"));
    EXPECT_EQ(error(), std::nullopt);  // the time-out says nothing of its own
    // A late answer still tells why, but the result stays the time-out's.
    connector->sent[0]->reply(false, "The battery is too low.");
    dispatch.runUntilIdle();
    EXPECT_EQ(error(), "The battery is too low.");

    heard.clear();
    const auto armNow = [&] {
        client->arm(7200, false, log("arm"));
        dispatch.runUntilIdle();
        return &connector->last();
    };
    auto* message = armNow();
    message->reply(true, "The lid is open.");
    message->reply(false, "ignored: the result is decided once");
    armNow()->fail("Access denied.");
    dispatch.runUntilIdle();
    EXPECT_EQ(error(), "Access denied.");
    armNow()->reply(true);
    dispatch.runUntilIdle();
    EXPECT_EQ(error(), std::nullopt);
    client->disarm(log("disarm"));
    connector->last().reply(false, "Could not release the hold.");
    client->disarm(log("disarm"));
    connector->last().fail("Disconnected.");  // no message of its own
    client->disarm(log("disarm"));
    connector->last().reply(true, "ignored: a disarm that worked");
    client->helperVersion(log("version"));
    connector->last().replyVersion("1.2", "42");
    dispatch.runUntilIdle();
    EXPECT_THAT(heard, ElementsAre("arm 1 The lid is open. @3", "arm 0 - @3", "arm 1 - @3",
                                   "disarm @3", "disarm @3", "disarm @3", "version 1.2/42 @3"));
    EXPECT_EQ(error(), "Could not release the hold.");
}

TEST_F(HelperClientTest, InterruptionKeepsReadinessInvalidationClearsItHeartbeatsPassMessages) {
    ASSERT_TRUE(ensureReady());
    connector->latest().interrupt();
    dispatch.runUntilIdle();
    EXPECT_EQ(client->connection(), nullptr);
    EXPECT_TRUE(*client->helperReady());

    // The next call reconnects. A heartbeat hands only a message on, on the main queue,
    // and no time-out waits behind it.
    Lines messages;
    for (const bool external : {true, false}) {
        client->heartbeat(external, [&](const std::string& m) { messages.push_back(m); });
    }
    ASSERT_EQ(connector->connections.size(), 2u);
    EXPECT_EQ(client->connection(), connector->connections[1]);
    connector->sent[0]->reply(true);
    connector->sent[1]->reply(false, "The timer ended.");
    EXPECT_THAT(messages, ElementsAre());
    dispatch.runUntilIdle();
    EXPECT_THAT(messages, ElementsAre("The timer ended."));
    EXPECT_EQ(dispatch.pendingCount(), 0u);

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
    client->disarm(log("disarm"));  // no proxy: the fallback comes at once
    dispatch.runUntilIdle();
    EXPECT_THAT(heard, ElementsAre("disarm @1"));
}

// A failed unregistering says why and keeps the connection; a restart registers and
// connects again; an uninstall drops pending calls and ends every later attempt.
TEST_F(HelperClientTest, RestartAndUninstallUnregisterTheDaemon) {
    ASSERT_TRUE(ensureReady());
    daemon.unregisterError = ServiceError{"NSPOSIXErrorDomain", "Busy"};
    client->restartHelper(log("restart"));
    dispatch.runUntilIdle();
    EXPECT_EQ(error(), "Could not stop the helper: Busy");
    client->uninstallHelper(log("uninstall"));
    dispatch.runUntilIdle();
    EXPECT_EQ(error(), "Could not remove the helper: Busy");
    EXPECT_TRUE(*client->helperReady());
    EXPECT_FALSE(*client->isUninstalled());
    daemon.unregisterError.reset();

    daemon.statuses = {kStatusNotRegistered, kStatusEnabled};
    client->restartHelper(log("restart"));
    dispatch.advance(1.0);
    EXPECT_EQ(daemon.registerCalls, 1);
    EXPECT_TRUE(connector->connections.at(0)->invalidatedByOwner);
    EXPECT_EQ(client->connection(), connector->connections.at(1));
    EXPECT_TRUE(*client->helperReady());

    client->arm(0, false, log("arm"));
    dispatch.runUntilIdle();
    client->uninstallHelper(log("uninstall"));
    dispatch.runUntilIdle();
    EXPECT_THAT(heard, ElementsAre("restart 0 @1", "uninstall 0 @1", "restart 1 @1.5", "arm 0 - @2",
                                   "uninstall 1 @2"));
    EXPECT_TRUE(*client->isUninstalled());
    EXPECT_FALSE(*client->helperReady());
    EXPECT_TRUE(connector->connections[1]->invalidatedByOwner);

    daemon.statuses = {7};  // never read again
    EXPECT_FALSE(ensureReady());
    EXPECT_EQ(error(), "MAVU was uninstalled. Quit and reopen MAVU to use it again.");
}

}  // namespace
}  // namespace mavu::app
