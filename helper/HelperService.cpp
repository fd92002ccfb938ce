#include "helper/HelperService.h"

#include <cmath>

#include "helper/HelperMessages.h"
#include "helper/PowerToolArguments.h"
#include "platform/dispatch/Weak.h"
#include "platform/log/Log.h"

namespace mavu::helper {
namespace {

constexpr char kStateQueueLabel[] = "group.com.norvel.mavu.helper.state";

protocol::HelperVersion unknownVersion() {
    return {"?", "?"};
}

}  // namespace

std::shared_ptr<HelperService> HelperService::create(Environment environment) {
    auto service = std::shared_ptr<HelperService>(new HelperService(environment));
    service->startUp();
    return service;
}

HelperService::HelperService(Environment& environment)
    : dispatch_(environment.dispatch),
      thermal_(environment.thermal),
      registry_(environment.registry),
      version_(environment.version ? std::move(environment.version) : unknownVersion),
      power_(environment.processes, std::move(environment.powerTool),
             environment.powerToolTimeLimit),
      stateQueue_(dispatch_.makeSerialQueue(kStateQueueLabel)) {}

HelperService::~HelperService() = default;

void HelperService::startUp() {
    // Undo whatever an earlier daemon process may have left held.
    power_.runPmset(pmset::kRestoreSleep);

    watchdog_ = startRepeatingTimer(std::chrono::seconds(30), &HelperService::checkHeartbeat);
    batteryWatch_ = startRepeatingTimer(std::chrono::seconds(20), &HelperService::checkBattery);
    thermalWatch_ = startRepeatingTimer(std::chrono::seconds(20), &HelperService::checkThermal);

    lidMonitor_ = LidMonitor::create(
        registry_, dispatch_.mainQueue(),
        dispatch::weakly(weak_from_this(), [](HelperService& service, bool closed) {
            service.onStateQueue([closed](HelperService& s) { s.handleLidChange(closed); });
        }));
    lidMonitor_->start();
}

template <class F>
void HelperService::onStateQueue(F operation) {
    // A service that is gone answers nothing; the caller's bounded wait covers that.
    stateQueue_->async(dispatch::weakly(weak_from_this(), std::move(operation)));
}

void HelperService::armWithDurationSeconds(double durationSeconds, bool hasExternalDisplay,
                                           protocol::MessageReply reply) {
    onStateQueue([=, reply = std::move(reply)](HelperService& s) {
        s.arm(durationSeconds, hasExternalDisplay);
        reply(true, s.takeMessage());
    });
}

void HelperService::disarm(protocol::MessageReply reply) {
    onStateQueue([reply = std::move(reply)](HelperService& s) {
        s.disarmNow();
        reply(true, std::nullopt);
    });
}

void HelperService::forceSafeOff(protocol::EmptyReply reply) {
    onStateQueue([reply = std::move(reply)](HelperService& s) {
        s.disarmNow();
        reply();
    });
}

void HelperService::heartbeat(bool hasExternalDisplay, protocol::MessageReply reply) {
    onStateQueue([=, reply = std::move(reply)](HelperService& s) {
        s.lastHeartbeat_ = s.dispatch_.clock().wallNow();
        // Takes effect at the next hold evaluation only.
        s.hasExternalDisplay_ = hasExternalDisplay;
        reply(true, s.takeMessage());
    });
}

void HelperService::status(protocol::StatusReply reply) {
    onStateQueue([reply = std::move(reply)](HelperService& s) {
        reply({s.armed_, s.lidClosed_, s.activeHold_, s.durationSeconds_, s.lastMessage_});
    });
}

void HelperService::helperVersion(protocol::VersionReply reply) {
    reply(version_());
}

void HelperService::arm(double durationSeconds, bool hasExternalDisplay) {
    armed_ = true;
    // Negative, not-a-number and infinite lengths all mean "no end"; an infinite one
    // would otherwise make a deadline that cannot be represented.
    durationSeconds_ = std::isfinite(durationSeconds) && durationSeconds >= 0 ? durationSeconds : 0;
    hasExternalDisplay_ = hasExternalDisplay;
    lastHeartbeat_ = dispatch_.clock().wallNow();
    lastMessage_.reset();
    if (lidClosed_) {
        applyHoldIfNeeded();
    }
}

void HelperService::disarmNow() {
    armed_ = false;
    releaseHold();
}

std::optional<std::string> HelperService::takeMessage() {
    return std::exchange(lastMessage_, std::nullopt);
}

void HelperService::handleLidChange(bool closed) {
    lidClosed_ = closed;
    if (!closed) {
        releaseHold();
    } else if (armed_) {
        applyHoldIfNeeded();
    }
}

void HelperService::applyHoldIfNeeded() {
    cancelCountdown();
    if (!(armed_ && lidClosed_)) {
        return;
    }
    if (auto objection = batteryObjection()) {
        releaseHold(std::move(*objection));
        return;
    }
    if (thermalCritical()) {
        releaseHold(kCriticalTemperatureMessage);
        return;
    }
    if (!power_.runPmset(pmset::kDisableSleep)) {
        // A run that failed may still have taken effect (a tool killed at its time limit,
        // or a hold from an earlier evaluation still in place). Nothing would watch such
        // a hold, so put normal sleep back.
        releaseHold(kDisableSleepFailedMessage);
        return;
    }
    activeHold_ = true;
    if (!hasExternalDisplay_) {
        power_.runPmset(pmset::kDisplaySleepNow);
    }
    if (durationSeconds_ > 0) {
        // The countdown measures closed-lid time, so it runs on the monotonic clock. A
        // length too large for the clock saturates to a deadline that never comes.
        countdown_ = dispatch::Timer::create(*stateQueue_);
        countdown_->schedule(dispatch::addSaturating(stateQueue_->clock().monotonicNow(),
                                                     dispatch::fromSeconds(durationSeconds_)));
        countdown_->setEventHandler(
            dispatch::weakly(weak_from_this(), [](HelperService& s) { s.countdownFired(); }));
        countdown_->resume();
    }
}

std::optional<std::string> HelperService::batteryObjection() {
    const auto reading = power_.readBattery();
    if (!reading) {
        return kBatteryUnreadableMessage;
    }
    if (!reading->onACPower && reading->percent <= kBatteryFloorPercent) {
        return kBatteryLowMessage;
    }
    return std::nullopt;
}

bool HelperService::thermalCritical() const {
    return thermal_.thermalState() == hardware::ThermalState::critical;
}

void HelperService::releaseHold(std::string message) {
    // Every hold that ends (or is refused) on its own leaves one line saying why.
    log::line("MAVUHelper: " + message);
    lastMessage_ = std::move(message);
    releaseHold();
}

void HelperService::releaseHold() {
    cancelCountdown();
    activeHold_ = false;
    power_.runPmset(pmset::kRestoreSleep);
}

void HelperService::cancelCountdown() {
    if (countdown_) {
        countdown_->setEventHandler([] {});
        countdown_->cancel();
        countdown_.reset();
    }
}

void HelperService::countdownFired() {
    releaseHold(kTimerEndedMessage);
}

}  // namespace mavu::helper
