// The daemon's check of a client, with the real verifier program started for it.
#include "platform/clientcheck/IsolatedClientVerifier.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>

#include "platform/clientcheck/ProcessExecutable.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::clientcheck {
namespace {

using namespace std::chrono_literals;

class IsolatedClientVerifierTest : public ::testing::Test {
  protected:
    // A verifier that notes each run, then is the real one.
    IsolatedClientVerifier::Setup counted(std::chrono::milliseconds limit = 2s) {
        const auto program =
            scratch.writeScript("verifier", "echo run >> '" + scratch.path("runs").string() +
                                                "'\nexec '" + MAVU_TEST_VERIFIER + "' \"$@\"\n");
        return {{program, MAVU_TEST_ANCHOR}, limit, 0ms};
    }
    int runs() const {
        const auto text = scratch.exists("runs") ? scratch.read("runs") : "";
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    // The verdict on a process running program, and how long it took.
    std::pair<bool, std::chrono::steady_clock::duration> check(IsolatedClientVerifier& verifier,
                                                               const std::string& program,
                                                               unsigned long long startShift = 0) {
        const pid_t pid = testing::startProcess(program, {});
        EXPECT_TRUE(testing::eventually([&] {
            std::error_code ignored;
            return std::filesystem::equivalent("/proc/" + std::to_string(pid) + "/exe", program,
                                               ignored);
        }));
        auto identity = identifyProcess(pid).value_or(ProcessIdentity{});
        identity.startTime += startShift;
        std::promise<bool> verdict;
        const auto asked = std::chrono::steady_clock::now();
        verifier.checkClient(identity, [&verdict](bool ok) { verdict.set_value(ok); });
        auto answer = verdict.get_future();
        const bool answered = answer.wait_for(10s) == std::future_status::ready;
        const auto took = std::chrono::steady_clock::now() - asked;
        testing::endProcess(pid, SIGKILL);
        EXPECT_TRUE(answered);
        return {answered && answer.get(), took};
    }

    testing::TempDir scratch;
};

TEST_F(IsolatedClientVerifierTest, SignedProgramsAreAcceptedAndVerdictsKeptPerFile) {
    IsolatedClientVerifier verifier(counted());
    EXPECT_TRUE(check(verifier, MAVU_TEST_SIGNED_SAMPLE).first);
    EXPECT_FALSE(check(verifier, MAVU_TEST_UNSIGNED_SAMPLE).first);
    EXPECT_EQ(runs(), 2);
    // Known files are not read again; a changed one is.
    EXPECT_TRUE(check(verifier, MAVU_TEST_SIGNED_SAMPLE).first);
    EXPECT_FALSE(check(verifier, MAVU_TEST_UNSIGNED_SAMPLE).first);
    EXPECT_EQ(runs(), 2);
    const auto copy = scratch.writeExecutable("copy", testing::readFile(MAVU_TEST_SIGNED_SAMPLE));
    EXPECT_TRUE(check(verifier, copy).first);
    EXPECT_EQ(runs(), 3);
    // A pid that changed hands is refused before anything is read.
    EXPECT_FALSE(check(verifier, MAVU_TEST_SIGNED_SAMPLE, 1).first);
    EXPECT_EQ(runs(), 3);
}

TEST_F(IsolatedClientVerifierTest, AVerifierStuckPastTheLimitIsKilledAndRefuses) {
    const auto pidFile = scratch.path("stuck.pid").string();
    IsolatedClientVerifier verifier(
        {{scratch.writeScript("verifier", "echo $$ > '" + pidFile + "'\nexec sleep 60\n"),
          MAVU_TEST_ANCHOR},
         300ms,
         0ms});
    const auto [accepted, took] = check(verifier, MAVU_TEST_SIGNED_SAMPLE);
    EXPECT_FALSE(accepted);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2s);
    const pid_t stuck = std::stoi(testing::readFile(pidFile));
    EXPECT_NE(::kill(stuck, 0), 0) << "the verifier still runs";
}

}  // namespace
}  // namespace mavu::clientcheck
