// Faults around a hold, with the real daemon, the real power tool and logind's stand-in
// on a private system bus, against a fake laptop: the bus or logind gone. (A daemon killed
// while holding is undone by the next start's release, which the whole-daemon and power
// tool tests show.) Each must end with the machine sleeping normally or the hold truly in place,
// never in between.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include "helper/pmset/HolderRecord.h"
#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

class DaemonFaultTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The helper and the holders outlive the bus daemon and the tool runs that start
        // them; as their subreaper the test sees how they end.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    void TearDown() override {
        bed.stopHelper();
        if (const auto holder = holderPid()) {
            endProcess(*holder, SIGKILL);
        }
        EXPECT_THAT(bed.log(), AllOf(Not(HasSubstr("Sanitizer")), Not(HasSubstr("runtime error"))));
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    // The sleep holder the power tool recorded, while that process still runs.
    std::optional<pid_t> holderPid() const {
        const auto record = pmset::readHolderRecord(bed.dir() / "run" / pmset::kHolderRecordName);
        if (!record || pmset::runningProcessStartTime(record->pid) != record->startTime) {
            return std::nullopt;
        }
        return record->pid;
    }
    // The locks logind lists: the number after "a(ssssuu) " in busctl's answer.
    int inhibitors() const {
        const auto out = runProcess("busctl", {"--address=" + bed.bus().address(), "call",
                                               "org.freedesktop.login1", "/org/freedesktop/login1",
                                               "org.freedesktop.login1.Manager", "ListInhibitors"})
                             .out;
        return out.rfind("a(ssssuu) ", 0) == 0 ? std::stoi(out.substr(10)) : -1;
    }
    std::string panel() const {
        return readFile(bed.dir() / "laptop/sys/class/backlight/intel_backlight/bl_power");
    }

    // Armed with the lid closed: a holder with logind's lock, the panel dark.
    void hold() {
        ASSERT_TRUE(bed.laptop({"lid", "closed"}));
        ASSERT_TRUE(bed.waitForStatus("lid=1")) << bed.log();
        ASSERT_THAT(bed.call({"arm", "0", "0", "status"}),
                    Contains("status armed=1 lid=1 hold=1 duration=0 message=-"));
        ASSERT_TRUE(holderPid());
        ASSERT_EQ(inhibitors(), 1);
        ASSERT_EQ(panel(), "4\n");
    }

    HelperBed bed{{.helper = MAVU_TEST_HELPER,
                   .anchor = MAVU_TEST_ANCHOR,
                   .policy = MAVU_TEST_BUS_POLICY,
                   .powerTool = MAVU_TEST_PMSET,
                   .client = MAVU_TEST_SIGNED_CLIENT}};
};

TEST_F(DaemonFaultTest, LosingTheBusWhileHoldingReleasesTheHoldAndExitsWithStatus1) {
    hold();
    const pid_t helper = bed.helperPid();
    bed.killBus();
    int exit = 0;
    bool reaped = false;
    ASSERT_TRUE(eventually(
        [&] { return reaped = reaped || waitpid(helper, &exit, WNOHANG) == helper; }, 20s));
    EXPECT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 1) << exit;
    EXPECT_THAT(bed.log(), HasSubstr("MAVUHelper: lost the system bus"));
    EXPECT_FALSE(holderPid());
    EXPECT_EQ(panel(), "0\n");
}

// logind forgets every lock when it restarts. The holder takes its lock again from the
// new logind; once that is impossible the holder ends, and the daemon's next battery tick,
// which applies the hold again, fails and ends the hold with a message.
TEST_F(DaemonFaultTest, AHoldLogindDroppedIsTakenAgainOrEndedNeverBelievedIn) {
    hold();
    const auto holder = holderPid();
    ASSERT_TRUE(bed.restartLogind());
    EXPECT_TRUE(eventually([&] { return inhibitors() == 1; }, 10s));
    EXPECT_EQ(holderPid(), holder);

    bed.killLogind();
    // The holder tries for 10 s, the battery tick comes every 20 s.
    const std::string couldNotSet = "Could not set disablesleep.";
    EXPECT_TRUE(bed.waitForStatus("hold=0 duration=0 message=" + couldNotSet, 45s)) << bed.status();
    EXPECT_FALSE(holderPid());
    const auto log = bed.log();
    EXPECT_EQ(log.find("MAVUHelper: " + couldNotSet), log.rfind("MAVUHelper: " + couldNotSet));
    EXPECT_NE(log.find("MAVUHelper: " + couldNotSet), std::string::npos);
}

}  // namespace
}  // namespace mavu::testing
