#include "helper/bus/ConnectionGate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/LogCapture.h"

namespace mavu::helper {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ScriptedVerifier final : public codesign::ClientVerifier {
  public:
    bool isAuthorizedClient(const codesign::ProcessIdentity& process) override {
        asked.push_back(process);
        return answer;
    }
    bool answer = true;
    std::vector<codesign::ProcessIdentity> asked;
};

constexpr pid_t kVanished = 666;

std::optional<codesign::ProcessIdentity> fakeIdentify(pid_t pid) {
    if (pid == kVanished) {
        return std::nullopt;
    }
    return codesign::ProcessIdentity{pid, static_cast<unsigned long long>(pid) * 10};
}

class ConnectionGateTest : public ::testing::Test {
  protected:
    // Counts the credential lookups, which are bus round trips in the daemon.
    ConnectionGate::CredentialsPid pidOf(std::optional<pid_t> pid) {
        return [this, pid] {
            ++lookups;
            return pid;
        };
    }

    ScriptedVerifier verifier;
    ConnectionGate gate{verifier, fakeIdentify};
    testing::LogCapture log;
    int lookups = 0;
};

TEST_F(ConnectionGateTest, EachConnectionIsCheckedOnceWithThePinnedIdentity) {
    EXPECT_TRUE(gate.admits(":1.7", pidOf(42)));
    EXPECT_TRUE(gate.admits(":1.7", pidOf(42)));
    verifier.answer = false;
    EXPECT_FALSE(gate.admits(":1.8", pidOf(4242)));
    EXPECT_FALSE(gate.admits(":1.8", pidOf(4242)));
    // A verifier that would now say yes is not asked again for the refused connection.
    verifier.answer = true;
    EXPECT_FALSE(gate.admits(":1.8", pidOf(4242)));
    EXPECT_TRUE(gate.admits(":1.7", pidOf(42)));

    EXPECT_EQ(lookups, 2);
    ASSERT_EQ(verifier.asked.size(), 2u);
    EXPECT_EQ(verifier.asked[0].pid, 42);
    EXPECT_EQ(verifier.asked[0].startTime, 420u);
    EXPECT_THAT(log.lines(),
                ElementsAre("MAVUHelper: rejected XPC connection from unauthorized pid 4242"));

    // A decision does not outlive its connection, though unique names are never reused.
    EXPECT_EQ(gate.rememberedConnections(), 2u);
    gate.connectionClosed(":1.7");
    gate.connectionClosed(":1.8");
    gate.connectionClosed(":1.99");
    EXPECT_EQ(gate.rememberedConnections(), 0u);
    verifier.answer = false;
    EXPECT_FALSE(gate.admits(":1.7", pidOf(42)));
    EXPECT_EQ(verifier.asked.size(), 3u);
}

TEST_F(ConnectionGateTest, ConnectionWhoseProcessCannotBeIdentifiedIsRefused) {
    EXPECT_FALSE(gate.admits(":1.3", pidOf(std::nullopt)));
    EXPECT_FALSE(gate.admits(":1.4", pidOf(kVanished)));

    EXPECT_THAT(verifier.asked, IsEmpty());
    EXPECT_THAT(log.lines(),
                ElementsAre("MAVUHelper: rejected XPC connection from unauthorized pid -1",
                            "MAVUHelper: rejected XPC connection from unauthorized pid 666"));
}

}  // namespace
}  // namespace mavu::helper
