// The three repeating checks that end a hold on their own: a quiet app, a low or
// unreadable battery (or a hold the power tool can no longer keep), a critical temperature.
#include <chrono>

#include "helper/HelperMessages.h"
#include "helper/HelperService.h"
#include "helper/PowerToolArguments.h"
#include "platform/dispatch/Weak.h"

namespace mavu::helper {
namespace {

// The app sends a heartbeat every 25 s; three missed ones end the session.
constexpr auto kHeartbeatTimeout = std::chrono::seconds(90);

}  // namespace

std::shared_ptr<dispatch::Timer> HelperService::startRepeatingTimer(dispatch::Duration interval,
                                                                    Check handler) {
    auto timer = dispatch::Timer::create(*stateQueue_);
    timer->schedule(dispatch::addSaturating(stateQueue_->clock().monotonicNow(), interval),
                    interval);
    timer->setEventHandler(
        dispatch::weakly(weak_from_this(), [handler](HelperService& s) { (s.*handler)(); }));
    timer->resume();
    return timer;
}

void HelperService::checkHeartbeat() {
    if (!armed_) {
        return;
    }
    const dispatch::WallTime now = dispatch_.clock().wallNow();
    if (now < lastHeartbeat_) {
        // The wall clock was set back past the last heartbeat. Counting from that
        // heartbeat would stretch the lease by the size of the jump; count from now.
        lastHeartbeat_ = now;
        return;
    }
    if (lastHeartbeat_ < now - kHeartbeatTimeout) {
        armed_ = false;
        releaseHold(kLostContactMessage);
    }
}

void HelperService::checkBattery() {
    if (!(armed_ && lidClosed_ && activeHold_)) {
        return;
    }
    if (auto objection = batteryObjection()) {
        releaseHold(std::move(*objection));
        return;
    }
    // On Linux the setting is a lock a process of the power tool holds, and a restart of
    // logind can take it away; applying it again does nothing while it holds and takes it
    // again when it does not. A hold that cannot be taken again is not believed in.
    if (!power_.runPmset(pmset::kDisableSleep)) {
        releaseHold(kDisableSleepFailedMessage);
    }
}

void HelperService::checkThermal() {
    if (!(armed_ && lidClosed_ && activeHold_)) {
        return;
    }
    if (thermalCritical()) {
        releaseHold(kCriticalTemperatureMessage);
    }
}

}  // namespace mavu::helper
