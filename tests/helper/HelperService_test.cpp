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

const std::string kRestore = "-a disablesleep 0", kDisable = "-a disablesleep 1",
                  kDisplay = "displaysleepnow";
const std::string kTimerEnded = "MAVU's Keep Awake timer ended; the Mac now sleeps normally.";

using Reply = std::pair<bool, std::optional<std::string>>;
// What of the status most cases compare: armed, holding, the pending message.
using State = std::tuple<bool, bool, std::optional<std::string>>;

class HelperServiceTest : public ::testing::Test {
  protected:
    HelperServiceTest() {
        setBattery(80, false);
        start();
    }
    // A fresh service: its watches count from now.
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
        tool.results[{"-g", "batt"}] = ScriptedProcessRunner::exited(
            0, std::string("Now drawing from '") + (onAC ? "AC" : "Battery") + " Power'\n" +
                   (percent < 0 ? "" : " -InternalBattery-0\t" + std::to_string(percent) + "%;\n"));
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

    testing::VirtualDispatch d;
    ScriptedProcessRunner tool;
    testing::FakeThermalSource thermal;
    testing::FakePowerRegistry registry;
    testing::LogCapture log;
    std::shared_ptr<HelperService> service;
};

// What refuses a hold at a closing ends one at the next tick of the 20 s watches, which
// apply the hold again each time (logind may have dropped it).
TEST_F(HelperServiceTest, HoldNeedsBatteryAboveTheFloorOrACPowerNoCriticalHeatAndTheTool) {
    const std::string restored = "MAVU restored normal sleep — ";
    const std::tuple<int, bool, ThermalState, bool, std::optional<std::string>> cases[] = {
        {5, false, ThermalState::nominal, false, restored + "battery dropped to 5%."},
        {6, false, ThermalState::nominal, false, {}},
        {3, true, ThermalState::nominal, false, {}},
        {-1, true, ThermalState::nominal, false, restored + "could not read the battery state."},
        {80, false, ThermalState::serious, false, {}},
        {80, false, ThermalState::critical, false,
         restored + "the Mac reached a critical temperature."},
        {80, false, ThermalState::nominal, true, "Could not set disablesleep."},
    };
    std::size_t logged = 0;
    for (const auto& [percent, onAC, level, failing, refusal] : cases) {
        SCOPED_TRACE(refusal.value_or("holds"));
        setLid(false);
        setBattery(80, false);
        thermal.level = ThermalState::nominal;
        tool.results[{"-a", "disablesleep", "1"}] = ScriptedProcessRunner::exited(0);
        service.reset();
        start();
        arm(0);
        setLid(true);
        setBattery(percent, onAC);
        thermal.level = level;
        tool.results[{"-a", "disablesleep", "1"}] = ScriptedProcessRunner::exited(failing);
        d.advance(19.75);
        EXPECT_TRUE(status().activeHold);
        d.advance(0.25);
        EXPECT_EQ(tool.runs.back(), refusal ? kRestore : kDisable);
        EXPECT_EQ(state(), (State{true, !refusal, refusal}));
        EXPECT_EQ(heartbeat(), (Reply{true, refusal}));
        setLid(false);
        setLid(true);
        EXPECT_EQ(tool.runs.back(), refusal ? kRestore : kDisplay);
        EXPECT_EQ(state(), (State{true, !refusal, refusal}));
        EXPECT_EQ(log.lines().size(), logged += refusal ? 2 : 0);
    }

    // Without a hold the watches run no tool, whatever the battery and temperature.
    setLid(false);
    tool.runs.clear();
    keepAlive(200);
    EXPECT_TRUE(tool.runs.empty());
}

TEST_F(HelperServiceTest, DurationsThatMakeNoDeadlineNeverEndTheHold) {
    setLid(true);
    for (double seconds :
         {0.0, -5.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300}) {
        arm(seconds);
        EXPECT_EQ(status().durationSeconds, seconds == 1e300 ? seconds : 0);
        EXPECT_TRUE(keepAlive(600).empty());
        EXPECT_EQ(state(), (State{true, true, {}}));
    }
}

TEST_F(HelperServiceTest, CountdownMeasuresClosedLidTimeFromTheLastClosing) {
    for (double seconds : {0.5, 1.0, 3600.0}) {
        SCOPED_TRACE(seconds);
        arm(seconds);
        setLid(true);
        keepAlive(seconds / 2);
        setLid(false);
        setLid(true);
        EXPECT_TRUE(keepAlive(seconds - 0.5).empty());
        d.advance(0.25);
        EXPECT_TRUE(status().activeHold);
        tool.runs.clear();
        d.advance(0.25);
        EXPECT_EQ(tool.runs, Runs{kRestore});
        EXPECT_EQ(state(), (State{true, false, kTimerEnded}));
        EXPECT_EQ(heartbeat(), (Reply{true, kTimerEnded}));
        EXPECT_EQ(heartbeat(), (Reply{true, {}}));
        setLid(false);
    }
}

TEST_F(HelperServiceTest, OpeningTheLidDisarmForceSafeOffAndDestructionRestoreNormalSleep) {
    arm(100);
    setLid(true);
    tool.runs.clear();
    setLid(false);  // quietly, and the countdown stops
    EXPECT_EQ(tool.runs, Runs{kRestore});
    EXPECT_EQ(state(), (State{true, false, {}}));
    EXPECT_TRUE(keepAlive(200).empty());

    setLid(true);
    arm(60);
    d.advance(20.0);
    arm(30);  // a new full countdown replaces the running one
    d.advance(29.0);
    EXPECT_TRUE(status().activeHold);
    d.advance(1.0);
    // The message waits through status and disarm, not through arm.
    EXPECT_EQ(call([&](auto r) { service->disarm(r); }), (Reply{true, {}}));
    EXPECT_EQ(state(), (State{false, false, kTimerEnded}));
    EXPECT_EQ(arm(100), (Reply{true, {}}));
    EXPECT_EQ(heartbeat(), (Reply{true, {}}));
    tool.runs.clear();
    bool replied = false;
    service->forceSafeOff([&] { replied = true; });
    d.runUntilIdle();
    EXPECT_TRUE(replied);
    EXPECT_EQ(tool.runs, Runs{kRestore});
    EXPECT_EQ(state(), (State{false, false, {}}));

    // Nothing runs once the service is gone.
    arm(60);
    service.reset();
    tool.runs.clear();
    setLid(false);
    d.advance(600.0);
    EXPECT_TRUE(tool.runs.empty());
    EXPECT_EQ(registry.liveHandles(), 0u);
}

// The watchdog looks every 30 s and ends a session quiet for more than 90 s, so a heartbeat
// at 0.5 s is still fresh at the tick of 90 s (89.5 s) and stale at 120 s.
TEST_F(HelperServiceTest, WatchdogEndsASessionQuietForMoreThan90SecondsAtItsNextTick) {
    const std::pair<double, double> cases[] = {{0.5, 120}, {29.5, 120}, {30, 150}};
    for (const auto& [heartbeatAt, endsAt] : cases) {
        SCOPED_TRACE(heartbeatAt);
        service.reset();
        start();
        arm(0);
        d.advance(heartbeatAt);
        heartbeat();
        d.advance(endsAt - 0.25 - heartbeatAt);
        EXPECT_TRUE(status().armed);
        tool.runs.clear();
        d.advance(0.25);
        EXPECT_EQ(state(),
                  (State{false, false, "MAVU restored normal sleep — lost contact with the app."}));
        EXPECT_EQ(tool.runs, Runs{kRestore});  // even with the lid open
    }

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

}  // namespace
}  // namespace mavu::helper
