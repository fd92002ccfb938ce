// The daemon's check of a client, with the real verifier program started for it.
#include "platform/clientcheck/IsolatedClientVerifier.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <future>

#include "platform/clientcheck/ProcessExecutable.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::clientcheck {
namespace {

using namespace std::chrono_literals;

class IsolatedClientVerifierTest : public ::testing::Test {
  protected:
    // A verifier program that notes its pid in "runs", then runs body, for 2 s at most.
    IsolatedClientVerifier::Setup verifier(const std::string& body) {
        return {{scratch.writeScript("verifier",
                                     "echo $$ >> '" + scratch.path("runs").string() + "'\n" + body),
                 MAVU_TEST_ANCHOR},
                2s,
                0ms};
    }
    std::string runs() const { return scratch.exists("runs") ? scratch.read("runs") : ""; }

    // The verdict on a process running program, its start time shifted by shift.
    bool check(IsolatedClientVerifier& verifier, const std::string& program,
               unsigned long long shift = 0) {
        testing::TalkingProcess process(program, {});
        EXPECT_TRUE(testing::eventually([&] {
            std::error_code ignored;
            return std::filesystem::equivalent("/proc/" + std::to_string(process.pid()) + "/exe",
                                               program, ignored);
        }));
        auto identity = identifyProcess(process.pid()).value_or(ProcessIdentity{});
        identity.startTime += shift;
        std::promise<bool> verdict;
        verifier.checkClient(identity, [&verdict](bool ok) { verdict.set_value(ok); });
        auto answer = verdict.get_future();
        EXPECT_EQ(answer.wait_for(10s), std::future_status::ready);
        return answer.get();
    }

    testing::TempDir scratch;
};

TEST_F(IsolatedClientVerifierTest, SignedProgramsAreAcceptedAndVerdictsKeptPerFile) {
    IsolatedClientVerifier checker(verifier("exec '" MAVU_TEST_VERIFIER "' \"$@\"\n"));
    const auto copy = scratch.writeExecutable("copy", testing::readFile(MAVU_TEST_SIGNED_SAMPLE));
    // Known files are not read again, a changed one is, and a pid that changed hands is
    // refused before anything is read.
    const std::tuple<std::string, unsigned long long, bool, long> steps[] = {
        {MAVU_TEST_SIGNED_SAMPLE, 0, true, 1},
        {MAVU_TEST_UNSIGNED_SAMPLE, 0, false, 2},
        {MAVU_TEST_SIGNED_SAMPLE, 0, true, 2},
        {MAVU_TEST_UNSIGNED_SAMPLE, 0, false, 2},
        {copy, 0, true, 3},
        {MAVU_TEST_SIGNED_SAMPLE, 1, false, 3},
    };
    for (const auto& [program, shift, accepted, verifierRuns] : steps) {
        EXPECT_EQ(check(checker, program, shift), accepted) << program;
        const auto text = runs();
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), verifierRuns) << program;
    }
    // A process that ended, or none at all, has no identity to check.
    const pid_t ended = testing::TalkingProcess(MAVU_TEST_SIGNED_SAMPLE, {}).pid();
    for (const pid_t pid : {ended, 0, -1}) {
        EXPECT_FALSE(identifyProcess(pid)) << pid;
    }
}

// A verifier stuck on one program (as one reading a file on a stalled mount would be)
// holds up no other check, and is killed at the limit.
TEST_F(IsolatedClientVerifierTest, AVerifierStuckPastTheLimitHoldsUpNoOtherCheckAndIsKilled) {
    const auto stalling =
        scratch.writeExecutable("stalling", testing::readFile(MAVU_TEST_SIGNED_SAMPLE));
    IsolatedClientVerifier checker(verifier("[ \"$(readlink /proc/self/fd/3)\" = '" + stalling +
                                            "' ] && exec sleep 60\nexec '" MAVU_TEST_VERIFIER
                                            "' \"$@\"\n"));
    const auto asked = std::chrono::steady_clock::now();
    auto stuck = std::async(std::launch::async, [&] { return check(checker, stalling); });
    ASSERT_TRUE(testing::eventually([&] { return !runs().empty(); }));
    EXPECT_TRUE(check(checker, MAVU_TEST_SIGNED_SAMPLE));
    EXPECT_EQ(stuck.wait_for(0s), std::future_status::timeout);
    EXPECT_FALSE(stuck.get());
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 2s);
    EXPECT_NE(::kill(std::stoi(runs()), 0), 0) << "the verifier still runs";
}

}  // namespace
}  // namespace mavu::clientcheck
