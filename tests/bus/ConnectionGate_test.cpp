#include "helper/bus/ConnectionGate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "tests/support/LogCapture.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::helper {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Both checks answer when the test says so, as the real ones answer from other threads:
// the signature check is asked by pid, polkit by bus name.
struct PendingChecks final : clientcheck::ClientVerifier, polkit::Authority {
    void checkClient(const clientcheck::ProcessIdentity& process,
                     ClientVerifier::Answer answer) override {
        EXPECT_EQ(process.startTime, static_cast<unsigned long long>(process.pid) * 10);
        ask(std::to_string(process.pid), std::move(answer));
    }
    void checkAuthorization(const std::string& busName, Authority::Answer answer) override {
        ask(busName, std::move(answer));
    }
    void ask(const std::string& key, std::function<void(bool)> answer) {
        asked.push_back(key);
        pending[key] = std::move(answer);
    }
    void answer(const std::string& key, bool ok) { std::exchange(pending.at(key), nullptr)(ok); }
    std::vector<std::string> asked;
    std::map<std::string, std::function<void(bool)>> pending;
};

constexpr pid_t kVanished = 666;

class ConnectionGateTest : public ::testing::Test {
  protected:
    // Records what each call was told, by name.
    void call(const std::string& connection, std::optional<pid_t> pid, const std::string& name) {
        gate->whenDecided(
            connection, [pid] { return pid; },
            [this, name](bool admitted) { told.push_back(name + (admitted ? " in" : " out")); });
    }

    testing::VirtualDispatch dispatch;
    PendingChecks checks;
    std::shared_ptr<ConnectionGate> gate = ConnectionGate::create(
        dispatch.mainQueue(), checks, checks,
        [](pid_t pid) -> std::optional<clientcheck::ProcessIdentity> {
            return pid == kVanished ? std::nullopt
                                    : std::optional(clientcheck::ProcessIdentity{pid, pid * 10ull});
        });
    testing::LogCapture log;
    std::vector<std::string> told;
};

TEST_F(ConnectionGateTest, CallsWaitInOrderForBothChecksAndLaterOnesUseTheDecision) {
    // A call arriving while the waiting ones are let through queues behind them.
    gate->whenDecided(
        ":1.7", [] { return 42; },
        [this](bool) {
            told.push_back("arm in");
            call(":1.7", 42, "heartbeat");
        });
    call(":1.7", 42, "status");
    call(":1.8", 43, "other");
    EXPECT_THAT(told, IsEmpty());
    EXPECT_THAT(checks.asked, ElementsAre(":1.7", "42", ":1.8", "43"));

    checks.answer("42", true);
    EXPECT_THAT(told, IsEmpty());
    // Another connection's decision does not wait for the first one's.
    checks.answer(":1.8", true);
    checks.answer("43", true);
    checks.answer(":1.7", true);
    EXPECT_THAT(told, ElementsAre("other in", "arm in", "status in", "heartbeat in"));

    call(":1.7", 42, "disarm");
    EXPECT_THAT(told.back(), "disarm in");
    EXPECT_EQ(checks.asked.size(), 4u);
    EXPECT_THAT(log.lines(), IsEmpty());

    // A decision does not outlive its connection.
    gate->connectionClosed(":1.7");
    gate->connectionClosed(":1.99");
    EXPECT_EQ(gate->rememberedConnections(), 1u);
    call(":1.7", 42, "again");
    EXPECT_EQ(checks.asked.size(), 6u);
}

TEST_F(ConnectionGateTest, EitherCheckRefusingOrNoAnswerInTimeRefusesAndLogsOnce) {
    call(":1.1", 11, "no signature");
    call(":1.2", 12, "no polkit");
    call(":1.3", 13, "no answer");
    call(":1.4", std::nullopt, "no pid");
    call(":1.5", kVanished, "gone");
    checks.answer("11", false);
    checks.answer(":1.2", false);
    call(":1.1", 11, "no signature again");
    dispatch.advance(ConnectionGate::kCheckLimit - std::chrono::milliseconds(1));
    EXPECT_THAT(told, ElementsAre("no pid out", "gone out", "no signature out", "no polkit out",
                                  "no signature again out"));
    dispatch.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(told.back(), "no answer out");
    // Late answers change nothing.
    checks.answer(":1.3", true);
    checks.answer("13", true);
    call(":1.3", 13, "after");
    EXPECT_EQ(told.back(), "after out");

    std::vector<std::string> rejected;
    for (const char* pid : {"-1", "666", "11", "12", "13"}) {
        rejected.push_back(
            std::string("MAVUHelper: rejected XPC connection from unauthorized pid ") + pid);
    }
    EXPECT_EQ(log.lines(), rejected);
}

}  // namespace
}  // namespace mavu::helper
