#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/process/SpawnProcessRunner.h"
#include "tests/support/TempDir.h"

namespace mavu::process {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A process that is gone or a zombie nobody has reaped yet, waited for at most 2 s.
bool endsSoon(pid_t pid) {
    const auto deadline = Clock::now() + 2s;
    do {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pidField, name, state;
        if (!(stat >> pidField >> name >> state) || state == "Z") {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    } while (Clock::now() < deadline);
    return false;
}

class SpawnProcessRunnerTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    SpawnProcessRunner runner;
};

TEST_F(SpawnProcessRunnerTest, PassesArgumentsVerbatimAndReportsStatusAndOutput) {
    const auto tool = dir.writeScript("args", "for a in \"$@\"; do echo \"[$a]\"; done; exit 3\n");
    const auto result = runner.run(tool, {"two words", "$HOME", ";", "*", ""}, 5s);
    EXPECT_TRUE(result.launched);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.output, "[two words]\n[$HOME]\n[;]\n[*]\n[]\n");

    const auto killed = runner.run(dir.writeScript("self", "kill -TERM $$\n"), {}, 5s);
    EXPECT_TRUE(killed.launched);
    EXPECT_FALSE(killed.exitStatus.has_value());
    EXPECT_FALSE(killed.succeeded());
}

TEST_F(SpawnProcessRunnerTest, ChildSeesTheEnvironmentOfItsCaller) {
    ::setenv("MAVU_HARDWARE_ROOT", "/tmp/fake-laptop", 1);
    const auto result =
        runner.run(dir.writeScript("env", "printf %s \"$MAVU_HARDWARE_ROOT\"\n"), {}, 5s);
    ::unsetenv("MAVU_HARDWARE_ROOT");
    EXPECT_EQ(result.output, "/tmp/fake-laptop");
    EXPECT_TRUE(result.succeeded());
}

TEST_F(SpawnProcessRunnerTest, BackgroundChildHoldingThePipesDoesNotDelayTheResult) {
    const auto tool = dir.writeScript("detach", "sleep 30 & echo $!\n");
    const auto start = Clock::now();
    const auto result = runner.run(tool, {}, 20s);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_TRUE(result.succeeded());
    const pid_t background = std::atoi(result.output.c_str());
    ASSERT_GT(background, 0);
    ::kill(background, SIGKILL);
}

TEST_F(SpawnProcessRunnerTest, ChildStillRunningAtTheLimitIsKilledWithWhatItStarted) {
    const auto tool = dir.writeScript("hang", "sleep 30 & echo $!\nwait\n");
    const auto start = Clock::now();
    const auto result = runner.run(tool, {}, 500ms);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 500ms);
    EXPECT_LT(took, 5s);
    EXPECT_TRUE(result.launched);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.exitStatus.has_value());
    EXPECT_FALSE(result.succeeded());
    const pid_t background = std::atoi(result.output.c_str());
    ASSERT_GT(background, 0);
    EXPECT_TRUE(endsSoon(background));
}

}  // namespace
}  // namespace mavu::process
