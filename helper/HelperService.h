#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "helper/LidMonitor.h"
#include "helper/PowerController.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/dispatch/Timer.h"
#include "platform/hardware/PowerRegistry.h"
#include "platform/hardware/ThermalSource.h"
#include "platform/process/ProcessRunner.h"
#include "protocol/HelperProtocol.h"

namespace mavu::helper {

// The daemon's one controller: the keep-awake session the app arms and disarms, the
// decision when sleep is held off with the lid closed, the countdown and the safety
// watches. All session state lives on stateQueue; every operation runs there and replies
// from there.
class HelperService final : public protocol::HelperProtocol,
                            public std::enable_shared_from_this<HelperService> {
  public:
    using VersionSource = std::function<protocol::HelperVersion()>;

    // What the service runs on. Everything referenced must outlive the service.
    struct Environment {
        dispatch::Dispatch& dispatch;
        process::ProcessRunner& processes;
        std::string powerTool;
        hardware::ThermalSource& thermal;
        hardware::PowerRegistry& registry;
        VersionSource version = {};
        dispatch::Duration powerToolTimeLimit = PowerController::kDefaultTimeLimit;
    };

    // Runs the start-up on the calling thread (the main thread in the daemon): restores
    // normal sleep, starts the watches and the lid monitor, which reports the lid at once.
    static std::shared_ptr<HelperService> create(Environment environment);
    ~HelperService() override;
    HelperService(const HelperService&) = delete;
    HelperService& operator=(const HelperService&) = delete;

    void armWithDurationSeconds(double durationSeconds, bool hasExternalDisplay,
                                protocol::MessageReply reply) override;
    void disarm(protocol::MessageReply reply) override;
    void heartbeat(bool hasExternalDisplay, protocol::MessageReply reply) override;
    void forceSafeOff(protocol::EmptyReply reply) override;
    void status(protocol::StatusReply reply) override;
    void helperVersion(protocol::VersionReply reply) override;

  private:
    using Check = void (HelperService::*)();

    explicit HelperService(Environment& environment);
    void startUp();
    template <class F>
    void onStateQueue(F operation);

    void arm(double durationSeconds, bool hasExternalDisplay);
    void disarmNow();
    void handleLidChange(bool closed);
    void applyHoldIfNeeded();
    void releaseHold();
    void releaseHold(std::string message);
    std::optional<std::string> batteryObjection();
    bool thermalCritical() const;
    void cancelCountdown();
    void countdownFired();
    std::optional<std::string> takeMessage();

    std::shared_ptr<dispatch::Timer> startRepeatingTimer(dispatch::Duration interval,
                                                         Check handler);
    void checkHeartbeat();
    void checkBattery();
    void checkThermal();

    dispatch::Dispatch& dispatch_;
    hardware::ThermalSource& thermal_;
    hardware::PowerRegistry& registry_;
    VersionSource version_;

    PowerController power_;
    std::shared_ptr<LidMonitor> lidMonitor_;
    std::shared_ptr<dispatch::Queue> stateQueue_;
    bool armed_ = false;
    bool lidClosed_ = false;
    bool hasExternalDisplay_ = false;
    double durationSeconds_ = 0;
    std::shared_ptr<dispatch::Timer> countdown_;
    std::shared_ptr<dispatch::Timer> watchdog_;
    std::shared_ptr<dispatch::Timer> batteryWatch_;
    std::shared_ptr<dispatch::Timer> thermalWatch_;
    dispatch::WallTime lastHeartbeat_ = dispatch::WallTime::min();
    bool activeHold_ = false;
    std::optional<std::string> lastMessage_;
};

}  // namespace mavu::helper
