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

class PowerControllerTest : public ::testing::Test {
  protected:
    PowerController toolPrinting(const std::string& report) {
        dir.writeFile("report", report);
        // The exit status of "-g batt" is not looked at: every case here exits with 2.
        return PowerController(runner,
                               dir.writeScript("pmset", "cat \"${0%/*}/report\"; exit 2\n"));
    }

    testing::TempDir dir;
    process::SpawnProcessRunner runner;
    testing::LogCapture log;
};

TEST_F(PowerControllerTest, ReadsPowerSourceAndFirstPercentage) {
    struct Case {
        std::string report;
        std::optional<BatteryReading> expected;
    };
    const Case cases[] = {
        {"Now drawing from 'AC Power'\n -InternalBattery-0 (id=4653155)\t3%; charging; "
         "2:10 remaining present: true\n",
         BatteryReading{3, true}},
        {"Now drawing from 'Battery Power'\n -InternalBattery-0 (id=4653155)\t85%; "
         "discharging; 4:12 remaining present: true\n",
         BatteryReading{85, false}},
        {"now drawing from 'ac power'\n -InternalBattery-0\t50%;\n", BatteryReading{50, true}},
        {"Battery Power\n 12% first, then 97%\n", BatteryReading{12, false}},
        {"battery at 1234%\n", BatteryReading{234, false}},
        {"Now drawing from 'AC Power'\n no battery here\n", std::nullopt},
        {"Now drawing from 'AC Power' \xff\xfe 40%\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        EXPECT_EQ(toolPrinting(c.report).readBattery(), c.expected);
    }
}

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

TEST_F(PowerControllerTest, ToolWritingMoreThanAPipeHoldsIsReadWhileItRuns) {
    PowerController power(runner,
                          dir.writeScript("pmset",
                                          "head -c 1048576 /dev/zero | tr '\\0' x\n"
                                          "head -c 1048576 /dev/zero >&2\n"
                                          "printf \"\\nNow drawing from 'AC Power' 42%%\\n\"\n"),
                          5s);
    EXPECT_EQ(power.readBattery(), (BatteryReading{42, true}));
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
