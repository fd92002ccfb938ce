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

    void setLid(bool closed) { clamshell = closed; }
    // Queues one general-interest message for every live registration, on the queue its
    // port is attached to, as the registry would; one released by delivery time gets nothing.
    void sendNotification() {
        for (const auto& [notifier, registration] : registrations_) {
            registration.first->async([this, notifier] {
                if (registrations_.count(notifier)) {
                    auto callback = registrations_[notifier].second;
                    callback();
                }
            });
        }
    }
    std::size_t liveHandles() const { return live_.size(); }

    hardware::RegistryObject findService(const std::string& name) override {
        // Every lookup hands out a handle of its own, as the registry does.
        return rootDomainPresent && name == hardware::kRootPowerDomain ? newHandle() : 0;
    }
    std::optional<hardware::RegistryValue> readProperty(hardware::RegistryObject service,
                                                        const std::string& key) override {
        return live_.count(service) && key == hardware::kClamshellStateKey ? clamshell
                                                                           : std::nullopt;
    }
    std::unique_ptr<hardware::RegistryNotificationPort> createNotificationPort(
        dispatch::MainQueue& queue) override {
        return std::make_unique<Port>(queue);
    }
    int addInterestNotification(hardware::RegistryNotificationPort& port,
                                hardware::RegistryObject service, const std::string& interestType,
                                std::function<void()> onNotification,
                                hardware::RegistryObject& notifier) override {
        if (!live_.count(service) || interestType != hardware::kGeneralInterest) {
            return -1;
        }
        notifier = newHandle();
        registrations_[notifier] = {&dynamic_cast<Port&>(port).queue, std::move(onNotification)};
        return 0;
    }
    void release(hardware::RegistryObject object) override {
        live_.erase(object);
        registrations_.erase(object);
    }

  private:
    struct Port final : hardware::RegistryNotificationPort {
        explicit Port(dispatch::MainQueue& q) : queue(q) {}
        dispatch::MainQueue& queue;
    };

    hardware::RegistryObject newHandle() {
        live_.insert(nextHandle_);
        return nextHandle_++;
    }

    hardware::RegistryObject nextHandle_ = 100;
    std::set<hardware::RegistryObject> live_;
    // By notifier: the queue of its port and its callback.
    std::map<hardware::RegistryObject, std::pair<dispatch::MainQueue*, std::function<void()>>>
        registrations_;
};

}  // namespace mavu::testing
