#include <gtest/gtest.h>

#include <chrono>

#include "helper/PowerController.h"
#include "platform/process/SpawnProcessRunner.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace mavu::helper {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The real tool runs; what its report means is the unit test's business.
class PowerControllerTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    process::SpawnProcessRunner runner;
    testing::LogCapture log;
};

TEST_F(PowerControllerTest, RunReportsTheExitStatusAndOnlyAMissingToolIsLogged) {
    PowerController power(runner, dir.writeScript("pmset",
                                                  "echo \"$*\" > \"${0%/*}/args\"\n"
                                                  "[ \"$3\" = 1 ] && exit 1\nexit 0\n"));
    EXPECT_TRUE(power.runPmset({"-a", "disablesleep", "0"}));
    EXPECT_EQ(dir.read("args"), "-a disablesleep 0\n");
    EXPECT_FALSE(power.runPmset({"-a", "disablesleep", "1"}));
    EXPECT_TRUE(log.lines().empty());

    PowerController missing(runner, dir.path("absent-pmset").string());
    EXPECT_EQ(missing.readBattery(), std::nullopt);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(missing.runPmset({"-a", "disablesleep", "1"}));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("MAVUHelper pmset failed: ", 0), 0u);
    EXPECT_NE(log.lines()[0].find("No such file or directory"), std::string::npos);
}

TEST_F(PowerControllerTest, ToolThatNeverExitsIsKilledAtTheLimit) {
    PowerController power(runner, dir.writeScript("pmset", "exec sleep 30\n"), 500ms);
    const auto start = Clock::now();
    EXPECT_FALSE(power.runPmset({"-a", "disablesleep", "1"}));
    EXPECT_EQ(power.readBattery(), std::nullopt);
    EXPECT_LT(Clock::now() - start, 6s);
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "MAVUHelper pmset did not finish within 0.5 s and was killed: -a disablesleep 1");
    EXPECT_EQ(lines[1], "MAVUHelper pmset did not finish within 0.5 s and was killed: -g batt");
}

}  // namespace
}  // namespace mavu::helper
