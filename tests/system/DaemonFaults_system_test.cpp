// Faults around a hold, with the real daemon, the real power tool and logind's stand-in
// on a private system bus, against a fake laptop: the daemon killed, the bus or logind
// gone, a crowd of calls, the laptop's files going bad. Each must end with the machine
// sleeping normally or the hold truly in place, never in between.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <sdbus-c++/sdbus-c++.h>

#include <mutex>
#include <thread>

#include "helper/pmset/HolderRecord.h"
#include "protocol/HelperProtocol.h"
#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

// One client's burst over a connection of its own: up to 100 calls in flight (the system
// bus lets a connection wait for 128 replies), the next sent as each reply arrives. Call i
// is a heartbeat, a status, a disarm or an arm for base + i seconds, by i % 4. Returns, in
// the order the replies arrived, each call's index and, for a status, the duration it
// showed (-1 for the others, -2 for an error, after which no more calls are sent).
std::vector<std::pair<int, double>> burst(int base, int calls) {
    auto connection = sdbus::createSystemBusConnection();
    auto proxy = sdbus::createProxy(*connection, protocol::kBusName, protocol::kObjectPath);
    std::mutex mutex;
    std::vector<std::pair<int, double>> replies;
    std::function<void(int)> send = [&](int i) {
        static const char* const kMembers[] = {"Heartbeat", "Status", "Disarm", "Arm"};
        auto call = proxy->createMethodCall(protocol::kInterface, kMembers[i % 4]);
        if (i % 4 == 0) {
            call << false;
        } else if (i % 4 == 3) {
            call << static_cast<double>(base + i) << false;
        }
        const auto replied = [&, i](sdbus::MethodReply& reply, const sdbus::Error* error) {
            double duration = error ? -2 : -1;
            if (!error && i % 4 == 1) {
                bool armed, lid, hold;
                reply >> armed >> lid >> hold >> duration;
            }
            std::lock_guard lock(mutex);
            replies.emplace_back(i, duration);
            if (i + 100 < calls && !error) {
                send(i + 100);
            }
        };
        proxy->callMethod(call, replied, 30s);
    };
    // The first calls go out before the event loop runs, the rest from its thread: sd-bus
    // is used by one thread at a time.
    for (int i = 0; i < std::min(calls, 100); ++i) {
        send(i);
    }
    connection->enterEventLoopAsync();
    eventually(
        [&] {
            std::lock_guard lock(mutex);
            return replies.size() == std::size_t(calls);
        },
        60s);
    connection->leaveEventLoop();
    return replies;
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
    bool loggedOnce(const std::string& line) const {
        const auto log = bed.log();
        return log.find(line) != std::string::npos && log.find(line) == log.rfind(line);
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
    // Normal sleep: no holder, no lock, the panel lit.
    void expectNormalSleep() {
        EXPECT_TRUE(eventually([&] { return !holderPid(); }, 10s));
        EXPECT_TRUE(eventually([&] { return inhibitors() == 0; }, 10s));
        EXPECT_EQ(panel(), "0\n");
    }

    HelperBed bed{{.powerTool = MAVU_TEST_PMSET}};
};

// A helper killed while holding is undone by the next start; one that loses the bus
// releases the hold and exits with status 1.
TEST_F(DaemonFaultTest, AHelperKilledOrLosingTheBusWhileHoldingLeavesNormalSleep) {
    hold();
    ASSERT_EQ(kill(bed.helperPid(), SIGKILL), 0);
    ASSERT_TRUE(eventually([&] { return bed.helperPid() <= 0; }, 10s));
    ASSERT_TRUE(bed.laptop({"lid", "open"}));
    // The next call starts the helper again, which restores normal sleep first.
    EXPECT_THAT(bed.status(), HasSubstr("armed=0 lid=0 hold=0"));
    expectNormalSleep();
    EXPECT_FALSE(std::filesystem::exists(bed.dir() / "run/sleep-hold"));

    hold();
    const pid_t helper = bed.helperPid();
    kill(bed.bus().pid(), SIGKILL);  // its clients lose their connection
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
    EXPECT_TRUE(loggedOnce("MAVUHelper: " + couldNotSet));
}

// Two clients send 500 calls each without waiting for every reply. The helper answers
// every call, each client's in the order sent, and a status shows the client's own latest
// arm (or the other client's, never an older or a later one of its own).
TEST_F(DaemonFaultTest, TwoClientsWith500CallsInFlightEachAreAnsweredInOrder) {
    ASSERT_THAT(bed.status(), HasSubstr("armed=0")) << bed.log();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bed.bus().address().c_str(), 1);
    constexpr int kCalls = 500;
    const int bases[2] = {10000, 20000};
    std::vector<std::pair<int, double>> replies[2];
    std::thread other([&] { replies[1] = burst(bases[1], kCalls); });
    replies[0] = burst(bases[0], kCalls);
    other.join();
    for (int client = 0; client < 2; ++client) {
        SCOPED_TRACE(client);
        ASSERT_EQ(replies[client].size(), std::size_t(kCalls)) << bed.log();
        int latestArm = -1;
        for (int i = 0; i < kCalls; ++i) {
            const auto [index, shown] = replies[client][i];
            ASSERT_EQ(index, i) << "answered out of order";
            if (i % 4 == 1 && shown >= bases[client] && shown < bases[client] + kCalls) {
                EXPECT_EQ(shown, latestArm);
            }
            latestArm = i % 4 == 3 ? bases[client] + i : latestArm;
        }
    }
    // Both ended with an arm; the state is the one of whichever came last.
    EXPECT_THAT(bed.status(), ContainsRegex("armed=1 lid=0 hold=0 duration=[12]0499 "));
}

// Files the daemon and its tool read go away or hold garbage. A thermal zone that cannot
// be read gives no verdict and a panel that vanished cannot be lit again: neither ends the
// hold. A battery that cannot be read ends it at the next battery tick, and a lid that
// cannot be read counts as open; each says so in one log line.
TEST_F(DaemonFaultTest, LaptopFilesThatVanishOrHoldGarbageEndTheHoldSafely) {
    const auto laptop = bed.dir() / "laptop";
    hold();
    writeFile(laptop / "sys/class/thermal/thermal_zone0/temp", "hot\n");
    std::filesystem::remove_all(laptop / "sys/class/backlight");
    std::filesystem::remove_all(laptop / "sys/class/power_supply/BAT0");
    const std::string unreadable = "MAVU restored normal sleep — could not read the battery state.";
    EXPECT_TRUE(bed.waitForStatus("hold=0 duration=0 message=" + unreadable, 30s)) << bed.status();
    EXPECT_FALSE(holderPid());
    EXPECT_EQ(inhibitors(), 0);
    EXPECT_TRUE(loggedOnce(unreadable));

    // A fresh laptop (its lid open), a new hold, then a lid file full of garbage.
    ASSERT_EQ(runProcess(MAVU_FAKE_LAPTOP, {"init", laptop.string()}).status, 0);
    hold();
    writeFile(laptop / "proc/acpi/button/lid/LID0/state", "\x01\x02 garbage\n");
    EXPECT_TRUE(bed.waitForStatus("armed=1 lid=0 hold=0")) << bed.status();
    expectNormalSleep();
    EXPECT_TRUE(loggedOnce("MAVUHelper: the lid state cannot be read"));
}

}  // namespace
}  // namespace mavu::testing
