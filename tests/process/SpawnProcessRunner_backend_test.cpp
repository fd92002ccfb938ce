#include "platform/process/SpawnProcessRunner.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::process {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The daemon's runs of its power tool (environment and all) are the system tests'; here
// what those never pass or print.
TEST(SpawnProcessRunner, PassesArgumentsVerbatimAndReportsStatusAndOutput) {
    testing::TempDir dir;
    SpawnProcessRunner runner;
    const auto tool = dir.writeScript("args", "for a in \"$@\"; do echo \"[$a]\"; done; exit $1\n");
    const auto result = runner.run(tool, {"3", "two words", "$HOME", ";", "*", ""}, 5s);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.output, "[3]\n[two words]\n[$HOME]\n[;]\n[*]\n[]\n");

    // More than a pipe holds, on both streams, is read while it runs.
    const auto big = runner.run(dir.writeScript("big",
                                                "head -c 1048576 /dev/zero | tr '\\0' x\n"
                                                "head -c 1048576 /dev/zero >&2\n"),
                                {}, 5s);
    EXPECT_TRUE(big.succeeded());
    EXPECT_GE(big.output.size(), 1048576u);

    const auto killed = runner.run(dir.writeScript("self", "kill -TERM $$\n"), {}, 5s);
    EXPECT_TRUE(killed.launched && !killed.exitStatus);
}

// A child left in the background holding the pipes is not waited for; one still running
// at the limit is killed with everything it started.
TEST(SpawnProcessRunner, BackgroundChildrenNeitherDelayTheResultNorOutliveTheLimit) {
    testing::TempDir dir;
    SpawnProcessRunner runner;
    for (const auto& [script, limit, timedOut] : {std::tuple{"sleep 30 & echo $!\n", 20s, false},
                                                  {"sleep 30 & echo $!\nwait\n", 1s, true}}) {
        const auto start = Clock::now();
        const auto result = runner.run(dir.writeScript("detach", script), {}, limit);
        EXPECT_LT(Clock::now() - start, 5s);
        EXPECT_GE(Clock::now() - start, timedOut ? limit : 0s);
        EXPECT_EQ(result.timedOut, timedOut);
        EXPECT_EQ(result.succeeded(), !timedOut);
        const pid_t background = std::atoi(result.output.c_str());
        ASSERT_GT(background, 0);
        if (!timedOut) {
            ::kill(background, SIGKILL);
            continue;
        }
        // Gone, or a zombie nobody has reaped yet.
        EXPECT_TRUE(testing::eventually([&] {
            std::ifstream stat("/proc/" + std::to_string(background) + "/stat");
            std::string pidField, name, state;
            return !(stat >> pidField >> name >> state) || state == "Z";
        }));
    }
}

}  // namespace
}  // namespace mavu::process
