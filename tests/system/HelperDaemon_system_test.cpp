// The real mavu-helper, activated on demand on a private system bus, against a fake
// laptop and a fake power tool, called by mavu-ctl as the build signed it and by a copy
// of it the helper must refuse.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Lines = std::vector<std::string>;

class HelperDaemonTest : public ::testing::Test {
  protected:
    // The client's output lines: "pid N", then one line per reply.
    Lines client(const Lines& commands, const std::string& program = MAVU_TEST_SIGNED_CLIENT) {
        Lines lines;
        std::istringstream out(runProcess(program, commands, bed.environment()).out);
        for (std::string line; std::getline(out, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    std::string status() {
        const auto lines = client({"status"});
        return lines.size() == 2 ? lines[1] : "";
    }
    // The helper follows the lid on its own: polls its status until it shows part.
    void setLidAndWait(const std::string& lid, const std::string& part) {
        ASSERT_TRUE(bed.laptop({"lid", lid}));
        ASSERT_TRUE(eventually([&] { return status().find(part) != std::string::npos; }))
            << status();
    }
    // The power tool's runs since the last call.
    Lines newRuns() {
        const auto runs = bed.powerToolRuns();
        const Lines fresh(runs.begin() + static_cast<long>(seen_), runs.end());
        seen_ = runs.size();
        return fresh;
    }

    // Sanitizer builds report from inside the helper into the bus log.
    void TearDown() override {
        bed.stopHelper();
        EXPECT_THAT(bed.log(), AllOf(Not(HasSubstr("Sanitizer")), Not(HasSubstr("runtime error"))));
    }

    HelperBed bed{{MAVU_TEST_HELPER, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY}};
    std::size_t seen_ = 0;
};

TEST_F(HelperDaemonTest, ASignedClientHoldsWhileTheLidIsClosedUntilItOpensDisarmsOrStops) {
    const auto replies = client({"arm", "3600", "0", "heartbeat", "0", "status", "version"});
    ASSERT_EQ(replies.size(), 5u) << bed.log();
    EXPECT_THAT(
        Lines(replies.begin() + 1, replies.end()),
        ElementsAre(
            "arm 1 -", "heartbeat 1 -", "status armed=1 lid=0 hold=0 duration=3600 message=-",
            // from the Info.plist of the bundle the helper was built into
            std::string("version ") + MAVU_TEST_PROJECT_VERSION + " " + MAVU_TEST_BUILD_NUMBER));
    // Start-up and the first report of an open lid restore normal sleep; arming with the
    // lid open runs nothing.
    eventually([&] { return bed.powerToolRuns().size() >= 2; });
    EXPECT_THAT(newRuns(), ElementsAre("-a disablesleep 0", "-a disablesleep 0"));

    setLidAndWait("closed", "armed=1 lid=1 hold=1 duration=3600 message=-");
    EXPECT_THAT(newRuns(), ElementsAre("-g batt", "-a disablesleep 1", "displaysleepnow"));
    setLidAndWait("open", "armed=1 lid=0 hold=0");
    EXPECT_THAT(newRuns(), ElementsAre("-a disablesleep 0"));
    EXPECT_THAT(client({"disarm", "status"}),
                ElementsAre(HasSubstr("pid "), "disarm 1 -",
                            "status armed=0 lid=0 hold=0 duration=3600 message=-"));
    EXPECT_THAT(newRuns(), ElementsAre("-a disablesleep 0"));

    // Closing the lid while disarmed holds nothing; arming then holds at once (the panel
    // stays on for an external display), forcing it off releases, and a stop signal
    // releases the hold before the helper exits.
    setLidAndWait("closed", "armed=0 lid=1 hold=0");
    EXPECT_THAT(client({"arm", "60", "1", "forcesafeoff", "status", "arm", "60", "0", "status"}),
                ElementsAre(HasSubstr("pid "), "arm 1 -", "forcesafeoff",
                            "status armed=0 lid=1 hold=0 duration=60 message=-", "arm 1 -",
                            "status armed=1 lid=1 hold=1 duration=60 message=-"));
    EXPECT_TRUE(bed.stopHelper());
    EXPECT_THAT(newRuns(),
                ElementsAre("-g batt", "-a disablesleep 1", "-a disablesleep 0", "-g batt",
                            "-a disablesleep 1", "displaysleepnow", "-a disablesleep 0"));
}

// One refusal kind here; the bus and gate tests hold every way and every member.
TEST_F(HelperDaemonTest, ARefusedClientIsLoggedOnceWithItsPidAndChangesNothing) {
    ASSERT_THAT(client({"arm", "3600", "1"}), ElementsAre(HasSubstr("pid "), "arm 1 -"));
    const auto runsBefore = bed.powerToolRuns();
    const auto run = client({"disarm", "status"}, MAVU_TEST_UNSIGNED_CLIENT);
    ASSERT_THAT(run, ElementsAre(HasSubstr("pid "), "error org.freedesktop.DBus.Error.AccessDenied",
                                 "error org.freedesktop.DBus.Error.AccessDenied"));
    const std::string line =
        "MAVUHelper: rejected XPC connection from unauthorized " + run[0] + "\n";
    const std::string log = bed.log();
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line), log.rfind(line)) << "logged more than once";
    EXPECT_EQ(status(), "status armed=1 lid=0 hold=0 duration=3600 message=-");
    EXPECT_EQ(bed.powerToolRuns(), runsBefore);
}

// systemd's own checker, without a complaint, on the unit as the build configured it but
// starting the helper just built (the installed one may not exist yet). It also exits 0
// on settings it ignores, so its words count as much as its status. The manual page the
// unit names comes with the package, not the build tree.
TEST(HelperResources, SystemdAcceptsTheUnit) {
    std::string unit = readFile(MAVU_TEST_SYSTEMD_UNIT);
    const auto line = unit.find("\nExecStart=");
    ASSERT_NE(line, std::string::npos) << unit;
    unit.replace(line, unit.find('\n', line + 1) - line, "\nExecStart=" MAVU_TEST_HELPER);
    TempDir dir;
    const auto path =
        dir.write(std::filesystem::path(MAVU_TEST_SYSTEMD_UNIT).filename().string(), unit);
    const auto result = runProcess("systemd-analyze", {"verify", "--man=no", path});
    EXPECT_EQ(result.status, 0) << "systemd-analyze (package systemd) missing or failing";
    EXPECT_EQ(result.out + result.err, "");
}

}  // namespace
}  // namespace mavu::testing
