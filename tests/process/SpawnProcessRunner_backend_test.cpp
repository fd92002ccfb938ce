#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "platform/process/SpawnProcessRunner.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::process {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SpawnProcessRunnerTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    SpawnProcessRunner runner;
};

TEST_F(SpawnProcessRunnerTest, PassesArgumentsAndEnvironmentVerbatimAndReportsStatusAndOutput) {
    ::setenv("MAVU_HARDWARE_ROOT", "/tmp/fake-laptop", 1);
    const auto tool = dir.writeScript(
        "args", "echo \"$MAVU_HARDWARE_ROOT\"; for a in \"$@\"; do echo \"[$a]\"; done; exit $1\n");
    const auto result = runner.run(tool, {"3", "two words", "$HOME", ";", "*", ""}, 5s);
    ::unsetenv("MAVU_HARDWARE_ROOT");
    EXPECT_TRUE(result.launched);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.output, "/tmp/fake-laptop\n[3]\n[two words]\n[$HOME]\n[;]\n[*]\n[]\n");
    EXPECT_TRUE(runner.run(tool, {"0"}, 5s).succeeded());

    // More than a pipe holds, on both streams, is read while it runs.
    const auto big = runner.run(dir.writeScript("big",
                                                "head -c 1048576 /dev/zero | tr '\\0' x\n"
                                                "head -c 1048576 /dev/zero >&2\n"),
                                {}, 5s);
    EXPECT_TRUE(big.succeeded());
    EXPECT_EQ(big.output.substr(0, 4), "xxxx");
    EXPECT_GE(big.output.size(), 1048576u);

    const auto killed = runner.run(dir.writeScript("self", "kill -TERM $$\n"), {}, 5s);
    EXPECT_TRUE(killed.launched);
    EXPECT_FALSE(killed.exitStatus.has_value());
    EXPECT_FALSE(killed.succeeded());
}

TEST_F(SpawnProcessRunnerTest, BackgroundChildrenNeitherDelayTheResultNorOutliveTheLimit) {
    // A child left running in the background, holding the pipes, is not waited for.
    auto start = Clock::now();
    auto result = runner.run(dir.writeScript("detach", "sleep 30 & echo $!\n"), {}, 20s);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_TRUE(result.succeeded());
    pid_t background = std::atoi(result.output.c_str());
    ASSERT_GT(background, 0);
    ::kill(background, SIGKILL);

    // One still running at the limit is killed with everything it started.
    start = Clock::now();
    result = runner.run(dir.writeScript("hang", "sleep 30 & echo $!\nwait\n"), {}, 500ms);
    EXPECT_GE(Clock::now() - start, 500ms);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_TRUE(result.launched);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.exitStatus.has_value());
    EXPECT_FALSE(result.succeeded());
    background = std::atoi(result.output.c_str());
    ASSERT_GT(background, 0);
    // Gone, or a zombie nobody has reaped yet.
    EXPECT_TRUE(testing::eventually([&] {
        std::ifstream stat("/proc/" + std::to_string(background) + "/stat");
        std::string pidField, name, state;
        return !(stat >> pidField >> name >> state) || state == "Z";
    }));
}

}  // namespace
}  // namespace mavu::process
