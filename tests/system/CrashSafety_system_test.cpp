// The real helper and power tool, killed in the middle of a hold: what they leave behind
// lets the next start put the machine back as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::HasSubstr;

std::string run(const HelperBed& bed, std::vector<std::string> commands) {
    return runProcess(MAVU_TEST_SIGNED_CLIENT, std::move(commands), bed.environment()).out;
}

TEST(CrashSafety, AHelperKilledWhileHoldingWithThePanelOffIsUndoneByTheNextStart) {
    HelperBedSetup setup{MAVU_TEST_HELPER, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY};
    setup.powerTool = MAVU_TEST_PMSET;
    HelperBed bed(setup);
    const auto panel = bed.dir() / "laptop/sys/class/backlight/panel/bl_power";
    writeFile(panel, "0\n");
    bed.setLid(true);
    ASSERT_TRUE(eventually([&] { return run(bed, {"status"}).find("lid=1") != std::string::npos; }))
        << bed.log();
    ASSERT_THAT(run(bed, {"arm", "3600", "0", "status"}), HasSubstr("hold=1")) << bed.log();
    ASSERT_EQ(readFile(panel), "4\n");
    const auto record = readFile(bed.dir() / "run/sleep-hold");
    ASSERT_THAT(record, HasSubstr("pid="));
    const pid_t holder = std::stoi(record.substr(record.find("pid=") + 4));

    ASSERT_TRUE(bed.killHelper());
    bed.setLid(false);
    // The next call starts the helper again, which restores normal sleep first.
    EXPECT_THAT(run(bed, {"status"}), HasSubstr("armed=0 lid=0 hold=0"));
    EXPECT_EQ(readFile(panel), "0\n");
    EXPECT_FALSE(std::filesystem::exists(bed.dir() / "run/sleep-hold"));
    EXPECT_TRUE(eventually([&] {
        const auto stat = readFile("/proc/" + std::to_string(holder) + "/stat");
        return stat.empty() || stat.find(") Z ") != std::string::npos;
    })) << "the holder still runs";
}

}  // namespace
}  // namespace mavu::testing
