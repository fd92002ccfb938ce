#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "helper/HelperService.h"
#include "tests/support/FakePowerRegistry.h"
#include "tests/support/FakeThermalSource.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedProcessRunner.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::helper {
namespace {

using namespace std::chrono_literals;
using hardware::ThermalState;
using testing::ScriptedProcessRunner;
using Runs = std::vector<std::string>;

const std::string kRestore = "-a disablesleep 0";
const std::string kDisable = "-a disablesleep 1";
const std::string kDisplay = "displaysleepnow";
const std::string kBattery = "-g batt";

const std::string kTimerEnded = "MAVU's Keep Awake timer ended; the Mac now sleeps normally.";
const std::string kLostContact = "MAVU restored normal sleep — lost contact with the app.";
const std::string kBatteryLow = "MAVU restored normal sleep — battery dropped to 5%.";
const std::string kUnreadable = "MAVU restored normal sleep — could not read the battery state.";
const std::string kCritical =
    "MAVU restored normal sleep — the Mac reached a critical temperature.";
const std::string kCouldNotSet = "Could not set disablesleep.";

using Reply = std::pair<bool, std::optional<std::string>>;
// What of the status most cases compare: armed, holding, the pending message.
using State = std::tuple<bool, bool, std::optional<std::string>>;

class HelperServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setBattery(80, false);
        start();
    }

    void start() {
        service = HelperService::create({.dispatch = d,
                                         .processes = tool,
                                         .powerTool = "/opt/mavu/mavu-pmset",
                                         .thermal = thermal,
                                         .registry = registry});
        d.runUntilIdle();
    }
    // A negative percent: the report names no battery.
    void setBattery(int percent, bool onAC) {
        std::string report =
            std::string("Now drawing from '") + (onAC ? "AC Power" : "Battery Power") + "'\n";
        if (percent >= 0) {
            report += " -InternalBattery-0 (id=4653155)\t" + std::to_string(percent) +
                      "%; discharging; 3:20 remaining present: true\n";
        }
        tool.respond({"-g", "batt"}, ScriptedProcessRunner::exited(0, report));
    }
    void setLid(bool closed) {
        registry.setLid(closed);
        registry.sendNotification();
        d.runUntilIdle();
    }

    // Replies come from the state queue, never from inside the call.
    template <class Call>
    Reply call(Call operation) {
        std::optional<Reply> reply;
        operation([&](bool success, std::optional<std::string> message) {
            reply = Reply{success, std::move(message)};
        });
        EXPECT_FALSE(reply);
        d.runUntilIdle();
        EXPECT_TRUE(reply);
        return reply.value_or(Reply{});
    }
    Reply arm(double seconds, bool external = false) {
        return call([&](auto r) { service->armWithDurationSeconds(seconds, external, r); });
    }
    Reply heartbeat(bool external = false) {
        return call([&](auto r) { service->heartbeat(external, r); });
    }
    Reply disarm() {
        return call([&](auto r) { service->disarm(r); });
    }
    protocol::HelperStatus status() {
        protocol::HelperStatus result;
        service->status([&](protocol::HelperStatus s) { result = std::move(s); });
        d.runUntilIdle();
        return result;
    }
    State state() {
        const auto s = status();
        return {s.armed, s.activeHold, s.message};
    }
    // Lets time pass as a live app would, with a heartbeat every 25 s; returns what the
    // heartbeats delivered.
    std::vector<std::string> keepAlive(double seconds) {
        std::vector<std::string> delivered;
        for (double left = seconds; left > 0; left -= 25) {
            d.advance(std::min(left, 25.0));
            if (auto message = heartbeat().second) {
                delivered.push_back(*message);
            }
        }
        return delivered;
    }
    long count(const std::string& run) { return std::ranges::count(tool.runs(), run); }

    testing::VirtualDispatch d;
    ScriptedProcessRunner tool;
    testing::FakeThermalSource thermal;
    testing::FakePowerRegistry registry;
    testing::LogCapture log;
    std::shared_ptr<HelperService> service;
};

TEST_F(HelperServiceTest, StartUpRestoresNormalSleepBeforeAnythingElse) {
    service.reset();
    tool.clearRuns();
    registry.setLid(true);
    start();
    EXPECT_EQ(tool.runs(), Runs{kRestore});
    EXPECT_EQ(tool.executables(), Runs{"/opt/mavu/mavu-pmset"});
    EXPECT_TRUE(status().lidClosed);
    EXPECT_EQ(state(), (State{false, false, {}}));
}

TEST_F(HelperServiceTest, ArmWithTheLidOpenRunsNoToolAndDoesNotHold) {
    tool.clearRuns();
    EXPECT_EQ(arm(3600), (Reply{true, {}}));
    EXPECT_TRUE(tool.runs().empty());
    EXPECT_EQ(state(), (State{true, false, {}}));
    EXPECT_EQ(status().durationSeconds, 3600);
}

TEST_F(HelperServiceTest, DurationsThatMakeNoDeadlineNeverEndTheHold) {
    setLid(true);
    for (double seconds : {-5.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300}) {
        arm(seconds);
        EXPECT_EQ(status().durationSeconds, seconds == 1e300 ? seconds : 0);
        EXPECT_TRUE(keepAlive(600).empty());
        EXPECT_EQ(state(), (State{true, true, {}}));
    }
}

TEST_F(HelperServiceTest, HoldNeedsBatteryAboveTheFloorOrACPowerAndNoCriticalTemperature) {
    arm(0);
    const std::tuple<int, bool, ThermalState, std::optional<std::string>> cases[] = {
        {5, false, ThermalState::nominal, kBatteryLow},
        {6, false, ThermalState::nominal, {}},
        {3, true, ThermalState::nominal, {}},
        {-1, true, ThermalState::nominal, kUnreadable},
        {80, false, ThermalState::serious, {}},
        {80, false, ThermalState::critical, kCritical},
    };
    for (const auto& [percent, onAC, level, refusal] : cases) {
        SCOPED_TRACE(::testing::Message() << percent << "% on AC " << onAC);
        setLid(false);
        setBattery(percent, onAC);
        thermal.level = level;
        setLid(true);
        EXPECT_EQ(state(), (State{true, !refusal, refusal}));
        EXPECT_EQ(heartbeat(), (Reply{true, refusal}));
    }
    EXPECT_EQ(count(kDisable), 3);
}

TEST_F(HelperServiceTest, DisplaySleepsOnlyWithoutAnExternalDisplayOncePerHold) {
    arm(0, true);
    setLid(true);
    heartbeat(false);  // takes effect at the next evaluation only
    EXPECT_EQ(count(kDisplay), 0);
    tool.clearRuns();
    setLid(false);
    setLid(true);
    EXPECT_EQ(tool.runs(), (Runs{kRestore, kBattery, kDisable, kDisplay}));
    keepAlive(60);
    arm(0);
    EXPECT_EQ(count(kDisplay), 2);
}

TEST_F(HelperServiceTest, FailedDisableSleepIsReportedUndoneAndRetriedAtTheNextClosing) {
    arm(0);
    tool.respond({"-a", "disablesleep", "1"}, ScriptedProcessRunner::exited(1));
    tool.clearRuns();
    setLid(true);
    EXPECT_EQ(tool.runs(), (Runs{kBattery, kDisable, kRestore}));
    EXPECT_EQ(state(), (State{true, false, kCouldNotSet}));
    tool.respond({"-a", "disablesleep", "1"}, ScriptedProcessRunner::exited(0));
    setLid(false);
    setLid(true);
    EXPECT_TRUE(status().activeHold);

    // Every battery tick applies the hold again (logind may have dropped it); when that
    // fails, the hold ends the same way.
    tool.clearRuns();
    d.advance(20.0);
    EXPECT_EQ(tool.runs(), (Runs{kBattery, kDisable}));
    tool.respond({"-a", "disablesleep", "1"}, ScriptedProcessRunner::exited(1));
    tool.clearRuns();
    d.advance(20.0);
    EXPECT_EQ(tool.runs(), (Runs{kBattery, kDisable, kRestore}));
    EXPECT_EQ(state(), (State{true, false, kCouldNotSet}));
}

TEST_F(HelperServiceTest, CountdownMeasuresClosedLidTimeFromTheLastClosing) {
    arm(3600);
    setLid(true);
    keepAlive(1000);
    setLid(false);
    setLid(true);
    EXPECT_TRUE(keepAlive(3599).empty());
    tool.clearRuns();
    d.advance(1.0);
    EXPECT_EQ(tool.runs(), Runs{kRestore});
    EXPECT_EQ(state(), (State{true, false, kTimerEnded}));
    EXPECT_EQ(heartbeat(), (Reply{true, kTimerEnded}));
    EXPECT_EQ(heartbeat(), (Reply{true, {}}));
}

TEST_F(HelperServiceTest, PendingMessageStaysThroughStatusAndDisarmButNotArm) {
    setLid(true);
    arm(60);
    d.advance(20.0);
    arm(30);  // a new full countdown replaces the running one
    d.advance(29.0);
    EXPECT_TRUE(status().activeHold);
    d.advance(1.0);
    EXPECT_EQ(status().message, kTimerEnded);
    EXPECT_EQ(disarm(), (Reply{true, {}}));
    EXPECT_EQ(state(), (State{false, false, kTimerEnded}));
    EXPECT_EQ(arm(100), (Reply{true, {}}));
    EXPECT_EQ(heartbeat(), (Reply{true, {}}));
}

TEST_F(HelperServiceTest, DisarmAndForceSafeOffRestoreNormalSleepInEveryState) {
    tool.clearRuns();
    EXPECT_EQ(disarm(), (Reply{true, {}}));
    arm(0);
    setLid(true);
    bool replied = false;
    service->forceSafeOff([&] { replied = true; });
    d.runUntilIdle();
    EXPECT_TRUE(replied);
    EXPECT_EQ(tool.runs(), (Runs{kRestore, kBattery, kDisable, kDisplay, kRestore}));
    EXPECT_EQ(state(), (State{false, false, {}}));
}

TEST_F(HelperServiceTest, OpeningTheLidEndsTheHoldQuietlyAndStopsTheCountdown) {
    arm(100);
    setLid(true);
    tool.clearRuns();
    setLid(false);
    EXPECT_EQ(tool.runs(), Runs{kRestore});
    EXPECT_EQ(state(), (State{true, false, {}}));
    EXPECT_TRUE(keepAlive(200).empty());
}

TEST_F(HelperServiceTest, WatchdogDisarmsAnAppQuietForMoreThan90SecondsOfWallClock) {
    d.advance(1.0);
    arm(0);
    d.advance(89.0);  // the tick at 90 s sees 89 s
    heartbeat();
    d.advance(90.0);  // exactly 90 s is not yet too long
    EXPECT_TRUE(status().armed);
    tool.clearRuns();
    d.advance(30.0);
    EXPECT_EQ(state(), (State{false, false, kLostContact}));
    EXPECT_EQ(tool.runs(), Runs{kRestore});  // even with the lid open

    // A forward jump trips at the next tick; a backward one does not stretch the lease.
    arm(0);
    d.advance(10.0);
    d.jumpWallClock(91s);
    d.advance(19.0);
    EXPECT_TRUE(status().armed);
    d.advance(1.0);
    EXPECT_FALSE(status().armed);
    arm(0);
    d.jumpWallClock(-3600s);
    d.advance(90.0);
    EXPECT_TRUE(status().armed);
    d.advance(60.0);
    EXPECT_FALSE(status().armed);
}

TEST_F(HelperServiceTest, WatchesRunNoToolUnlessHoldingThenEndItOnLowBatteryOrCriticalHeat) {
    arm(0);
    setBattery(2, false);
    thermal.level = ThermalState::critical;
    tool.clearRuns();
    EXPECT_TRUE(keepAlive(200).empty());
    EXPECT_TRUE(tool.runs().empty());

    setBattery(2, true);
    thermal.level = ThermalState::serious;
    setLid(true);
    keepAlive(100);
    setBattery(7, false);
    d.advance(20.0);
    EXPECT_TRUE(status().activeHold);
    setBattery(5, false);
    d.advance(20.0);
    EXPECT_EQ(state(), (State{true, false, kBatteryLow}));

    setBattery(80, false);
    setLid(false);
    setLid(true);
    thermal.level = ThermalState::critical;
    d.advance(20.0);
    EXPECT_EQ(state(), (State{true, false, kCritical}));
    // Each end leaves one line in the log.
    EXPECT_EQ(log.lines(), (Runs{"MAVUHelper: " + kBatteryLow, "MAVUHelper: " + kCritical}));
}

TEST_F(HelperServiceTest, NothingRunsOnceTheServiceIsGone) {
    arm(60);
    setLid(true);
    service.reset();
    tool.clearRuns();
    setLid(false);
    d.advance(600.0);
    EXPECT_TRUE(tool.runs().empty());
    EXPECT_EQ(registry.liveHandles(), 0u);
}

}  // namespace
}  // namespace mavu::helper
