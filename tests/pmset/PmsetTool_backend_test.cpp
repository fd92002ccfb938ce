#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include "helper/PowerController.h"
#include "helper/pmset/HolderRecord.h"
#include "platform/process/SpawnProcessRunner.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSystemBus.h"

namespace mavu::pmset {
namespace {

using ::testing::AllOf;
using testing::eventually;
using ::testing::HasSubstr;
using testing::runProcess;
using ::testing::StartsWith;
using Args = std::vector<std::string>;

// Set by ctest: the built tool and the fake-laptop script.
const std::string kTool = std::getenv("MAVU_PMSET") ? std::getenv("MAVU_PMSET") : "";
const std::string kFakeLaptop =
    std::getenv("MAVU_FAKE_LAPTOP") ? std::getenv("MAVU_FAKE_LAPTOP") : "";
constexpr char kPanelPower[] = "laptop/sys/class/backlight/intel_backlight/bl_power";

// What "-g batt" prints: the power source, then the battery line when there is one.
std::string report(const std::string& source, const std::string& battery = "") {
    return "Now drawing from '" + source + "'\n" +
           (battery.empty() ? ""
                            : " -InternalBattery-0 (id=9155752)\t" + battery + " present: true\n");
}

// The tool on a fresh fake laptop (lid open, on AC, 85 % charging with 0:45 to full) with
// a runtime folder of its own and, unless a test provides one, no system bus.
class PmsetTool : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Holders outlive the tool run that starts them; as subreaper the test reaps them.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    void SetUp() override {
        setenv("MAVU_HARDWARE_ROOT", tree.path("laptop").c_str(), 1);
        setenv("MAVU_RUNTIME_DIR", tree.path("run").c_str(), 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + tree.path("no-bus").string()).c_str(), 1);
        ASSERT_EQ(runProcess(kFakeLaptop, {"init", tree.path("laptop")}).status, 0);
    }
    testing::ProcessResult tool(Args args) { return runProcess(kTool, std::move(args)); }
    std::optional<HolderRecord> holder() const {
        return readHolderRecord(tree.path("run/sleep-hold"));
    }

    testing::TempDir tree;
};

// Each row changes the laptop further (a shell step in its power_supply folder, where
// "laptop" runs fake-laptop on it), then the report must show the power source and the
// battery line, and the daemon must read the same from it.
TEST_F(PmsetTool, TheBatteryReportFollowsTheLaptopsOwnBatteryAndAdapter) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "AC 85%; charging; 0:45 remaining"},
        {"laptop ac off; laptop battery 42", "Battery 42%; discharging; 2:06 remaining"},
        {"echo 0 >BAT0/power_now", "Battery 42%; discharging; (no estimate)"},
        // Numbers no battery has are read without overflowing (the sanitizer build checks).
        {"echo -9223372036854775808 >BAT0/power_now", "Battery 42%; discharging; 0:00 remaining"},
        {"echo 1 >BAT0/power_now", "Battery 42%; discharging; (no estimate)"},
        {"laptop ac on; laptop battery 100; echo Full >BAT0/status",
         "AC 100%; charged; 0:00 remaining"},
        {"echo Not charging >BAT0/status", "AC 100%; AC attached; not charging"},
        // A mouse's nearly empty battery must not stand in for the laptop's. Without a
        // capacity file the charge comes from the energy counters (42.5 of 50 Wh).
        {"\"$F\" init \"$L\"; cd \"$S\"; mkdir 0-mouse; echo Battery >0-mouse/type; "
         "echo Device >0-mouse/scope; echo 3 >0-mouse/capacity; rm BAT0/capacity",
         "AC 85%; charging; 0:45 remaining"},
        {"echo 9223372036854775000 >BAT0/energy_now; echo 9223372036854775807 >BAT0/energy_full",
         "AC 99%; charging; 0:00 remaining"},
        {"rm -r BAT0", "AC"},
        {"laptop ac off", "Battery"},
    };
    process::SpawnProcessRunner runner;
    helper::PowerController power{runner, kTool};
    for (const auto& [changes, shown] : rows) {
        const auto step = runProcess(
            "/bin/sh",
            {"-c",
             "F=$0 L=$1 S=$1/sys/class/power_supply; laptop() { \"$F\" \"$L\" \"$@\"; }; "
             "set -e; cd \"$S\"; " +
                 changes,
             kFakeLaptop, tree.path("laptop")});
        ASSERT_EQ(step.status, 0) << changes << step.err;
        const auto source = shown.substr(0, shown.find(' '));
        const auto battery = shown.size() > source.size() ? shown.substr(source.size() + 1) : "";
        EXPECT_EQ(tool({"-g", "batt"}).out, report(source + " Power", battery));
        EXPECT_EQ(power.readBattery(), battery.empty() ? std::nullopt
                                                       : std::optional<helper::BatteryReading>(
                                                             {std::stoi(battery), source == "AC"}))
            << shown;
    }
}

TEST_F(PmsetTool, ReleaseTurnsBackOnOnlyThePanelsItSwitchedOff) {
    // With nothing held and nothing recorded, a release is a success that touches nothing.
    EXPECT_EQ(tool({"-a", "disablesleep", "0"}).status, 0);
    tree.write("laptop/sys/class/backlight/acpi_video0/bl_power", "4\n");  // already dark
    EXPECT_EQ(tool({"displaysleepnow"}).status, 0);
    EXPECT_EQ(tree.read(kPanelPower), "4\n");
    EXPECT_EQ(tool({"displaysleepnow"}).status, 0);  // must not forget the value from before
    EXPECT_EQ(tool({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_EQ(tree.read(kPanelPower), "0\n");
    EXPECT_EQ(tree.read("laptop/sys/class/backlight/acpi_video0/bl_power"), "4\n");
    EXPECT_FALSE(tree.exists("run/backlight"));
}

TEST_F(PmsetTool, NoLockOrBadArgumentsNoSuccessAndARecordOfAnotherProgramIsNotActedOn) {
    const auto result = tool({"-a", "disablesleep", "1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err, "");
    EXPECT_FALSE(holder());
    EXPECT_EQ(tool({"-a", "disablesleep", "2"}).status, 64);  // a usage error, not a hold

    const pid_t stranger = testing::startProcess("/bin/sleep", {"30"});
    const auto startTime = runningProcessStartTime(stranger);
    ASSERT_TRUE(startTime);
    tree.write("run/sleep-hold", formatHolderRecord({stranger, *startTime}));
    EXPECT_EQ(tool({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_EQ(runningProcessStartTime(stranger), startTime);
    EXPECT_FALSE(tree.exists("run/sleep-hold"));
    testing::endProcess(stranger);
}

// With python-dbusmock's logind on a private system bus.
class PmsetWithLogind : public PmsetTool {
  protected:
    static void SetUpTestSuite() {
        PmsetTool::SetUpTestSuite();
        bus = new testing::TestSystemBus();
        logind = testing::startDbusMock(bus->address(), "logind", "org.freedesktop.login1");
    }
    static void TearDownTestSuite() {
        testing::endProcess(logind);
        delete bus;
    }
    void SetUp() override {
        PmsetTool::SetUp();
        setenv("DBUS_SYSTEM_BUS_ADDRESS", bus->address().c_str(), 1);
        ASSERT_GT(logind, 0) << "no logind stand-in on " << bus->address();
    }
    void TearDown() override {
        if (const auto record = holder()) {
            tool({"-a", "disablesleep", "0"});
            testing::endProcess(record->pid, SIGKILL);
        }
    }
    // The locks: 'a(ssssuu) COUNT "WHAT" "WHO" "WHY" "MODE" UID PID ...'.
    static std::string locks() {
        return runProcess("busctl", {"--address=" + bus->address(), "call",
                                     "org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "ListInhibitors"})
            .out;
    }

    static inline testing::TestSystemBus* bus = nullptr;
    static inline pid_t logind = 0;
};

// Holding again keeps the one holder; a dead one is replaced; releasing ends it.
TEST_F(PmsetWithLogind, OneHolderKeepsOneLockUntilReleasedAndADeadOneIsReplaced) {
    const std::string noLock = "a(ssssuu) 0\n",
                      ourLock = "a(ssssuu) 1 \"handle-lid-switch:sleep:idle\" \"MAVU\" ";
    std::vector<pid_t> holders;
    for (int run = 0; run < 3; ++run) {
        ASSERT_EQ(tool({"-a", "disablesleep", "1"}).status, 0);
        ASSERT_TRUE(holder());
        holders.push_back(holder()->pid);
        EXPECT_THAT(locks(), AllOf(StartsWith(ourLock), HasSubstr("\"block\"")));
        if (run == 1) {
            testing::endProcess(holders[1], SIGKILL);
            ASSERT_TRUE(eventually([&] { return locks() == noLock; }));
        }
    }
    EXPECT_EQ(holders[1], holders[0]);
    EXPECT_NE(holders[2], holders[0]);
    ASSERT_EQ(tool({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_FALSE(holder());
    EXPECT_FALSE(runningProcessStartTime(holders[2]));
    EXPECT_TRUE(eventually([&] { return locks() == noLock; }));
}

}  // namespace
}  // namespace mavu::pmset
