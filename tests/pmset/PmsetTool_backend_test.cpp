#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>
#include <sys/prctl.h>

#include "helper/PowerController.h"
#include "helper/pmset/HolderRecord.h"
#include "platform/process/SpawnProcessRunner.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSystemBus.h"

namespace mavu::pmset {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::runProcess;
using Args = std::vector<std::string>;

// Set by ctest: the built tool and the fake-laptop script.
const std::string kTool = std::getenv("MAVU_PMSET") ? std::getenv("MAVU_PMSET") : "";
const std::string kFakeLaptop =
    std::getenv("MAVU_FAKE_LAPTOP") ? std::getenv("MAVU_FAKE_LAPTOP") : "";
const std::string kBattery = "laptop/sys/class/power_supply/BAT0/";
const std::string kMouse = "laptop/sys/class/power_supply/0-mouse/";
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
    process::SpawnProcessRunner runner;
};

// Each row changes the laptop further ("-" removes a file or folder, a command is
// fake-laptop's), then the report is compared (on AC or not, the battery's percent or -1
// for none, its state), and what the daemon reads from it.
TEST_F(PmsetTool, TheBatteryReportFollowsTheLaptopsOwnBatteryAndAdapter) {
    const struct {
        std::vector<Args> changes;
        bool ac;
        int percent;
        const char* state;
    } rows[] = {
        {{}, true, 85, "charging; 0:45 remaining"},
        {{{"ac", "off"}, {"battery", "42"}}, false, 42, "discharging; 2:06 remaining"},
        {{{kBattery + "power_now", "0"}}, false, 42, "discharging; (no estimate)"},
        // Numbers no battery has are read without overflowing (the sanitizer build checks).
        {{{kBattery + "power_now", "-9223372036854775808"}},
         false,
         42,
         "discharging; 0:00 remaining"},
        {{{kBattery + "power_now", "1"}}, false, 42, "discharging; (no estimate)"},
        {{{"ac", "on"}, {"battery", "100"}, {kBattery + "status", "Full"}},
         true,
         100,
         "charged; 0:00 remaining"},
        {{{kBattery + "status", "Not charging"}}, true, 100, "AC attached; not charging"},
        // A mouse's nearly empty battery must not stand in for the laptop's. Without a
        // capacity file the charge comes from the energy counters (42.5 of 50 Wh).
        {{{"init"},
          {kMouse + "type", "Battery"},
          {kMouse + "scope", "Device"},
          {kMouse + "capacity", "3"},
          {"-" + kBattery + "capacity"}},
         true,
         85,
         "charging; 0:45 remaining"},
        {{{kBattery + "energy_now", "9223372036854775000"},
          {kBattery + "energy_full", "9223372036854775807"}},
         true,
         99,
         "charging; 0:00 remaining"},
        {{{"-" + kBattery}}, true, -1, ""},
        {{{"ac", "off"}}, false, -1, ""},
    };
    helper::PowerController power{runner, kTool};
    for (const auto& row : rows) {
        for (Args change : row.changes) {
            if (change[0].starts_with("-")) {
                std::filesystem::remove_all(tree.path(change[0].substr(1)));
            } else if (change[0].starts_with("laptop/")) {
                tree.write(change[0], change[1] + "\n");
            } else {
                change.insert(change.begin() + (change[0] == "init"), tree.path("laptop"));
                ASSERT_EQ(runProcess(kFakeLaptop, change).status, 0);
            }
        }
        const auto battery = std::to_string(row.percent) + "%; " + row.state;
        EXPECT_EQ(tool({"-g", "batt"}).out,
                  report(row.ac ? "AC Power" : "Battery Power", row.percent < 0 ? "" : battery));
        EXPECT_EQ(power.readBattery(),
                  row.percent < 0 ? std::nullopt
                                  : std::optional<helper::BatteryReading>({row.percent, row.ac}))
            << battery;
    }
}

TEST_F(PmsetTool, AnythingElseIsAUsageError) {
    for (const Args& args : std::vector<Args>{{},
                                              {"-a", "disablesleep", "2"},
                                              {"-a", "disablesleep"},
                                              {"-g", "batt", "extra"},
                                              {"displaysleepnow", "now"},
                                              {"-g", "ps"}}) {
        const auto result = tool(args);
        EXPECT_EQ(result.status, 64) << ::testing::PrintToString(args);
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
        EXPECT_EQ(result.out, "");
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

TEST_F(PmsetTool, NoLockNoSuccessAndARecordOfAnotherProgramIsNotActedOn) {
    const auto result = tool({"-a", "disablesleep", "1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err, "");
    EXPECT_FALSE(holder());

    const pid_t stranger = testing::startProcess("/bin/sleep", {"30"});
    const auto startTime = runningProcessStartTime(stranger);
    ASSERT_TRUE(startTime);
    tree.write("run/sleep-hold", formatHolderRecord({stranger, *startTime}));
    EXPECT_EQ(tool({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_EQ(runningProcessStartTime(stranger), startTime);
    EXPECT_FALSE(tree.exists("run/sleep-hold"));
    testing::endProcess(stranger);
}

using Inhibitor =
    sdbus::Struct<std::string, std::string, std::string, std::string, uint32_t, uint32_t>;

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
    static std::vector<Inhibitor> inhibitors() {
        auto connection = sdbus::createSystemBusConnection();
        std::vector<Inhibitor> list;
        sdbus::createProxy(*connection, "org.freedesktop.login1", "/org/freedesktop/login1")
            ->callMethod("ListInhibitors")
            .onInterface("org.freedesktop.login1.Manager")
            .storeResultsTo(list);
        return list;
    }

    static inline testing::TestSystemBus* bus = nullptr;
    static inline pid_t logind = 0;
};

TEST_F(PmsetWithLogind, OneHolderKeepsOneLockUntilReleasedAndADeadOneIsReplaced) {
    ASSERT_EQ(tool({"-a", "disablesleep", "1"}).status, 0);
    const auto first = holder();
    ASSERT_TRUE(first);
    EXPECT_EQ(runningProcessStartTime(first->pid), first->startTime);
    const auto list = inhibitors();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].get<0>(), "handle-lid-switch:sleep:idle");
    EXPECT_EQ(list[0].get<1>(), "MAVU");
    EXPECT_EQ(list[0].get<3>(), "block");

    ASSERT_EQ(tool({"-a", "disablesleep", "1"}).status, 0);
    EXPECT_EQ(holder()->pid, first->pid);
    EXPECT_EQ(inhibitors().size(), 1u);

    testing::endProcess(first->pid, SIGKILL);
    ASSERT_TRUE(eventually([] { return inhibitors().empty(); }));
    ASSERT_EQ(tool({"-a", "disablesleep", "1"}).status, 0);
    const auto second = holder();
    ASSERT_TRUE(second);
    EXPECT_NE(second->pid, first->pid);
    EXPECT_EQ(inhibitors().size(), 1u);

    ASSERT_EQ(tool({"-a", "disablesleep", "0"}).status, 0);
    EXPECT_FALSE(holder());
    EXPECT_FALSE(runningProcessStartTime(second->pid));
    EXPECT_TRUE(eventually([] { return inhibitors().empty(); }));
}

// logind answering only after the daemon has given up on the tool: the tool and its holder
// go together, and no lock is taken for a hold nobody is watching.
TEST_F(PmsetWithLogind, AToolKilledWhileLogindIsSlowLeavesNoHolder) {
    const auto mock = [](Args call) {
        call.insert(call.begin(), {"--address=" + bus->address(), "call", "org.freedesktop.login1",
                                   "/org/freedesktop/login1", "org.freedesktop.DBus.Mock"});
        return runProcess("busctl", call).status == 0;
    };
    ASSERT_TRUE(mock({"AddMethod", "sssss", "org.freedesktop.login1.Manager", "Inhibit", "ssss",
                      "h", "time.sleep(2); ret = 0"}));
    EXPECT_TRUE(runner.run(kTool, {"-a", "disablesleep", "1"}, 500ms).timedOut);
    // This test's tools only: other tests may run the same tool at the same time, each
    // with a runtime folder of its own.
    const std::string ownRuntime = "MAVU_RUNTIME_DIR=" + tree.path("run").string() + '\0';
    const auto runningTools = [&] {
        int count = 0;
        for (const auto& process : std::filesystem::directory_iterator("/proc")) {
            std::error_code ignored;
            count +=
                std::filesystem::equivalent(process.path() / "exe", kTool, ignored) &&
                testing::readFile(process.path() / "environ").find(ownRuntime) != std::string::npos;
        }
        return count;
    };
    EXPECT_TRUE(eventually([&] { return runningTools() == 0; }, 2s));
    // Resetting waits for the slow answer; no holder took it.
    EXPECT_TRUE(mock({"Reset"}));
    EXPECT_FALSE(holder());
    EXPECT_EQ(runningTools(), 0);
}

}  // namespace
}  // namespace mavu::pmset
