#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>

#include "platform/hardware/PowerRegistry.h"

namespace mavu::testing {

// An in-memory registry with at most one root power domain, whose clamshell property a
// test sets, and notifications a test sends. Keeps count of handles not yet released.
class FakePowerRegistry final : public hardware::PowerRegistry {
  public:
    bool rootDomainPresent = true;
    std::optional<hardware::RegistryValue> clamshell = false;
    bool portsAvailable = true;
    int registrationError = 0;

    void setLid(bool closed) { clamshell = closed; }
    // Queues one general-interest message for every live registration, on the queue its
    // port is attached to, as the registry would.
    void sendNotification();
    std::size_t liveHandles() const { return live_.size(); }
    int strayReleases() const { return strayReleases_; }

    hardware::RegistryObject findService(const std::string& name) override;
    std::optional<hardware::RegistryValue> readProperty(hardware::RegistryObject service,
                                                        const std::string& key) override;
    std::unique_ptr<hardware::RegistryNotificationPort> createNotificationPort(
        dispatch::MainQueue& queue) override;
    int addInterestNotification(hardware::RegistryNotificationPort& port,
                                hardware::RegistryObject service, const std::string& interestType,
                                std::function<void()> onNotification,
                                hardware::RegistryObject& notifier) override;
    void release(hardware::RegistryObject object) override;

  private:
    struct Registration {
        dispatch::MainQueue* queue;
        std::shared_ptr<bool> portAlive;
        std::function<void()> callback;
    };

    hardware::RegistryObject newHandle();

    hardware::RegistryObject nextHandle_ = 100;
    std::set<hardware::RegistryObject> live_;
    std::map<hardware::RegistryObject, Registration> registrations_;  // by notifier
    int strayReleases_ = 0;
};

}  // namespace mavu::testing
