#pragma once

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/hardware/LidSwitch.h"
#include "platform/hardware/PowerRegistry.h"

namespace mavu::hardware {

// The power registry of a Linux laptop. Its one service, the root power domain, exists
// when the machine has a lid switch; its clamshell property is the lid's state, and its
// interest notifications are the switch's events (input devices only: the ACPI button
// has none, and registering for it fails with kNoChangeSignal).
//
// Used from one thread: the main queue the notifications are delivered on.
class LinuxPowerRegistry final : public PowerRegistry {
  public:
    // Codes addInterestNotification returns.
    static constexpr int kNoChangeSignal = ENOTSUP;
    static constexpr int kBadArgument = EINVAL;

    // hardwareRoot is "/" on a real machine, a fake tree in tests and the demo.
    explicit LinuxPowerRegistry(std::filesystem::path hardwareRoot = "/",
                                EvdevLidProbe probe = probeEvdevLid);
    ~LinuxPowerRegistry() override;

    RegistryObject findService(const std::string& name) override;
    std::optional<RegistryValue> readProperty(RegistryObject service,
                                              const std::string& key) override;
    std::unique_ptr<RegistryNotificationPort> createNotificationPort(
        dispatch::MainQueue& queue) override;
    int addInterestNotification(RegistryNotificationPort& port, RegistryObject service,
                                const std::string& interestType,
                                std::function<void()> onNotification,
                                RegistryObject& notifier) override;
    void release(RegistryObject object) override;

  private:
    class Port;
    struct PortWatches;
    struct Object {
        std::shared_ptr<LidSwitch> lid;           // the root domain
        std::weak_ptr<PortWatches> notifierPort;  // a notifier: the port holding its watch
    };

    std::filesystem::path root_;
    EvdevLidProbe probe_;
    std::map<RegistryObject, Object> objects_;
    RegistryObject nextObject_ = 1;
};

}  // namespace mavu::hardware
