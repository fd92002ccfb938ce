// Faults around a hold, with the real daemon, the real power tool and logind's stand-in
// on a private system bus, against a fake laptop: the bus or logind gone, a crowd of
// calls, and the laptop's files going bad. Each must end with the machine sleeping
// normally or the hold truly in place, never in between. (A daemon killed while holding
// is CrashSafety's.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <sstream>
#include <thread>

#include "tests/system/LaptopBed.h"

namespace mavu::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string kBatteryUnreadable =
    "MAVU restored normal sleep — could not read the battery state.";
const std::string kCouldNotSet = "Could not set disablesleep.";

Lines linesOf(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class DaemonFaultTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The helper and the holders outlive the bus daemon and the tool runs that start
        // them; as their subreaper the test sees how they end.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    void TearDown() override {
        bed.stopHelper();
        EXPECT_THAT(bed.log(), AllOf(Not(HasSubstr("Sanitizer")), Not(HasSubstr("runtime error"))));
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    // mavu-ctl's reply lines, without its pid.
    Lines client(const std::vector<std::string>& commands) {
        Lines lines = linesOf(runProcess(MAVU_TEST_SIGNED_CLIENT, commands, bed.environment()).out);
        if (!lines.empty() && lines.front().rfind("pid ", 0) == 0) {
            lines.erase(lines.begin());
        }
        return lines;
    }
    std::string status() {
        const auto lines = client({"status"});
        return lines.empty() ? "" : lines.front();
    }
    bool waitForStatus(const std::string& part, std::chrono::milliseconds limit = 5s) {
        return eventually([&] { return status().find(part) != std::string::npos; }, limit);
    }

    // Armed with the lid closed: a holder with logind's lock, the panel dark.
    void hold() {
        ASSERT_TRUE(bed.ready()) << bed.log();
        ASSERT_TRUE(bed.laptop({"lid", "closed"}));
        ASSERT_TRUE(waitForStatus("lid=1")) << bed.log();
        ASSERT_THAT(client({"arm", "0", "0", "status"}),
                    ElementsAre("arm 1 -", "status armed=1 lid=1 hold=1 duration=0 message=-"));
        ASSERT_TRUE(bed.holderPid());
        ASSERT_EQ(bed.inhibitorCount(), 1);
        ASSERT_EQ(bed.panelPower(), "4");
    }
    // Normal sleep: no holder, no lock, the panel lit.
    void expectNormalSleep() {
        EXPECT_TRUE(eventually([&] { return !bed.holderPid(); }, 10s));
        EXPECT_TRUE(eventually([&] { return bed.inhibitorCount() == 0; }, 10s));
        EXPECT_EQ(bed.panelPower(), "0");
    }

    LaptopBed bed{{MAVU_TEST_HELPER, MAVU_TEST_PMSET, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY,
                   MAVU_TEST_FAKE_LAPTOP}};
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
    EXPECT_FALSE(bed.holderPid());
    EXPECT_EQ(bed.panelPower(), "0");
}

// logind forgets every lock when it restarts. The holder takes its lock again from the
// new logind; once that is impossible the holder ends, and the daemon's next battery tick,
// which applies the hold again, fails and ends the hold with a message.
TEST_F(DaemonFaultTest, AHoldLogindDroppedIsTakenAgainOrEndedNeverBelievedIn) {
    hold();
    const auto holder = bed.holderPid();
    ASSERT_TRUE(bed.startLogind());
    EXPECT_TRUE(eventually([&] { return bed.inhibitorCount() == 1; }, 10s));
    EXPECT_EQ(bed.holderPid(), holder);
    EXPECT_THAT(status(), HasSubstr("hold=1"));

    bed.killLogind();
    // The holder tries for 10 s, the battery tick comes every 20 s.
    EXPECT_TRUE(waitForStatus("hold=0 duration=0 message=" + kCouldNotSet, 45s)) << status();
    EXPECT_FALSE(bed.holderPid());
    EXPECT_EQ(occurrences(bed.log(), "MAVUHelper: " + kCouldNotSet), 1u);
}

// Two clients send 500 calls each without waiting for replies. The helper answers every
// call, each client's in the order sent, and a status shows the client's own latest arm
// (or the other client's, never an older or a later one of its own).
TEST_F(DaemonFaultTest, TwoClientsWith500CallsInFlightEachAreAnsweredInOrder) {
    ASSERT_TRUE(bed.ready()) << bed.log();
    constexpr int kCalls = 500;
    auto commands = [](int base) {
        std::vector<std::string> list;
        for (int i = 0; i < kCalls; ++i) {
            switch (i % 4) {
                case 0:
                    list.insert(list.end(), {"heartbeat", "0"});
                    break;
                case 1:
                    list.push_back("status");
                    break;
                case 2:
                    list.push_back("disarm");
                    break;
                case 3:
                    list.insert(list.end(), {"arm", std::to_string(base + i), "0"});
                    break;
            }
        }
        return list;
    };
    const int bases[2] = {10000, 20000};
    std::string outputs[2];
    std::thread first([&] {
        outputs[0] = runProcess(MAVU_TEST_BURST_CLIENT, commands(bases[0]), bed.environment()).out;
    });
    outputs[1] = runProcess(MAVU_TEST_BURST_CLIENT, commands(bases[1]), bed.environment()).out;
    first.join();

    for (int client = 0; client < 2; ++client) {
        SCOPED_TRACE(client);
        Lines lines = linesOf(outputs[client]);
        ASSERT_EQ(lines.size(), kCalls + 2u) << bed.log();
        EXPECT_EQ(lines.back(), "done");
        int latestArm = -1;
        for (int i = 0; i < kCalls; ++i) {
            const std::string& line = lines[i + 1];
            ASSERT_EQ(line.substr(0, line.find(' ')), std::to_string(i))
                << "answered out of order:\n"
                << outputs[client].substr(0, 1000);
            const std::string reply = line.substr(line.find(' ') + 1);
            if (i % 4 == 1) {
                ASSERT_THAT(reply, HasSubstr("status armed="));
                const double shown = std::stod(reply.substr(reply.find("duration=") + 9));
                const bool own = shown >= bases[client] && shown < bases[client] + kCalls;
                if (own) {
                    EXPECT_EQ(shown, latestArm) << reply;
                }
            } else {
                EXPECT_EQ(reply, i % 4 == 0   ? "heartbeat 1 -"
                                 : i % 4 == 2 ? "disarm 1 -"
                                              : "arm 1 -");
            }
            if (i % 4 == 3) {
                latestArm = bases[client] + i;
            }
        }
    }
    // Both ended with an arm; the state is the one of whichever came last.
    const std::string last = status();
    EXPECT_THAT(last, HasSubstr("status armed=1 lid=0 hold=0"));
    EXPECT_TRUE(last.find("duration=" + std::to_string(bases[0] + kCalls - 1)) !=
                    std::string::npos ||
                last.find("duration=" + std::to_string(bases[1] + kCalls - 1)) != std::string::npos)
        << last;
}

// Files the daemon and its tool read go away or hold garbage. A thermal zone that cannot
// be read gives no verdict and a panel that vanished cannot be lit again: neither ends the
// hold. A battery that cannot be read ends it at the next battery tick, and a lid that
// cannot be read counts as open; each says so in one log line.
TEST_F(DaemonFaultTest, LaptopFilesThatVanishOrHoldGarbageEndTheHoldSafely) {
    hold();
    const pid_t helper = bed.helperPid();
    writeFile(bed.laptopFile("sys/class/thermal/thermal_zone0/temp"), "hot\n");
    std::filesystem::remove_all(bed.laptopFile("sys/class/backlight"));
    std::filesystem::remove_all(bed.laptopFile("sys/class/power_supply/BAT0"));
    EXPECT_TRUE(waitForStatus("hold=0 duration=0 message=" + kBatteryUnreadable, 30s)) << status();
    EXPECT_FALSE(bed.holderPid());
    EXPECT_EQ(bed.inhibitorCount(), 0);
    EXPECT_EQ(occurrences(bed.log(), kBatteryUnreadable), 1u);

    // A fresh laptop (its lid open), a new hold, then a lid file full of garbage.
    ASSERT_EQ(runProcess(MAVU_TEST_FAKE_LAPTOP, {"init", (bed.dir() / "laptop").string()}).status,
              0);
    ASSERT_TRUE(waitForStatus("lid=0")) << status();
    ASSERT_TRUE(bed.laptop({"lid", "closed"}));
    ASSERT_TRUE(waitForStatus("lid=1 hold=1")) << status();
    writeFile(bed.laptopFile("proc/acpi/button/lid/LID0/state"), "\x01\x02 garbage\n");
    EXPECT_TRUE(waitForStatus("armed=1 lid=0 hold=0")) << status();
    expectNormalSleep();
    EXPECT_EQ(occurrences(bed.log(), "MAVUHelper: the lid state cannot be read"), 1u);
    EXPECT_EQ(bed.helperPid(), helper);
}

}  // namespace
}  // namespace mavu::testing
