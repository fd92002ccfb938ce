#include <gtest/gtest.h>

#include "helper/PowerController.h"
#include "tests/support/ScriptedProcessRunner.h"

namespace mavu::helper {
namespace {

TEST(PowerControllerTest, ReadsPowerSourceAndFirstPercentageWhateverTheExitStatus) {
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
        testing::ScriptedProcessRunner runner;
        runner.results[{"-g", "batt"}] = testing::ScriptedProcessRunner::exited(2, c.report);
        EXPECT_EQ(PowerController(runner, "pmset").readBattery(), c.expected);
    }
}

}  // namespace
}  // namespace mavu::helper
