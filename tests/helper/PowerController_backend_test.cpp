#include <gtest/gtest.h>

#include <chrono>

#include "helper/PowerController.h"
#include "platform/process/SpawnProcessRunner.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace mavu::helper {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// The real tool runs; what its report means is the unit test's business.
TEST(PowerControllerBackend, ReportsTheExitStatusAndLogsAMissingToolOrOneKilledAtTheLimit) {
    testing::TempDir dir;
    process::SpawnProcessRunner runner;
    testing::LogCapture log;
    PowerController power(runner, dir.writeScript("pmset",
                                                  "echo \"$*\" > \"${0%/*}/args\"\n"
                                                  "[ \"$3\" = 1 ] && exit 1\nexit 0\n"));
    EXPECT_TRUE(power.runPmset({"-a", "disablesleep", "0"}));
    EXPECT_EQ(dir.read("args"), "-a disablesleep 0\n");
    EXPECT_FALSE(power.runPmset({"-a", "disablesleep", "1"}));

    const std::string absent = dir.path("absent-pmset").string();
    PowerController missing(runner, absent);
    EXPECT_EQ(missing.readBattery(), std::nullopt);
    EXPECT_FALSE(missing.runPmset({"-a", "disablesleep", "1"}));
    PowerController hanging(runner, dir.writeScript("hang", "exec sleep 30\n"), 500ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(hanging.runPmset({"-a", "disablesleep", "1"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
    EXPECT_EQ(log.lines(),
              (Lines{"MAVUHelper pmset failed: " + absent + ": No such file or directory",
                     "MAVUHelper pmset did not finish within 0.5 s and was killed: -a disablesleep "
                     "1"}));
}

}  // namespace
}  // namespace mavu::helper
