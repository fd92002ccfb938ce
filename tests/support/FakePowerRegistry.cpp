#include "tests/support/FakePowerRegistry.h"

namespace mavu::testing {
namespace {

struct FakePort final : hardware::RegistryNotificationPort {
    explicit FakePort(dispatch::MainQueue& q) : queue(q) {}
    ~FakePort() override { *alive = false; }
    dispatch::MainQueue& queue;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

}  // namespace

hardware::RegistryObject FakePowerRegistry::newHandle() {
    live_.insert(nextHandle_);
    return nextHandle_++;
}

hardware::RegistryObject FakePowerRegistry::findService(const std::string& name) {
    if (!rootDomainPresent || name != hardware::kRootPowerDomain) {
        return 0;
    }
    // Every lookup hands out a handle of its own, as the registry does.
    return newHandle();
}

std::optional<hardware::RegistryValue> FakePowerRegistry::readProperty(
    hardware::RegistryObject service, const std::string& key) {
    if (!live_.count(service) || key != hardware::kClamshellStateKey) {
        return std::nullopt;
    }
    return clamshell;
}

std::unique_ptr<hardware::RegistryNotificationPort> FakePowerRegistry::createNotificationPort(
    dispatch::MainQueue& queue) {
    return portsAvailable ? std::make_unique<FakePort>(queue) : nullptr;
}

int FakePowerRegistry::addInterestNotification(hardware::RegistryNotificationPort& port,
                                               hardware::RegistryObject service,
                                               const std::string& interestType,
                                               std::function<void()> onNotification,
                                               hardware::RegistryObject& notifier) {
    if (registrationError != 0) {
        return registrationError;
    }
    if (!live_.count(service) || interestType != hardware::kGeneralInterest) {
        return -1;
    }
    auto& fake = dynamic_cast<FakePort&>(port);
    notifier = newHandle();
    registrations_[notifier] = {&fake.queue, fake.alive, std::move(onNotification)};
    return 0;
}

void FakePowerRegistry::release(hardware::RegistryObject object) {
    strayReleases_ += live_.erase(object) == 0 ? 1 : 0;
    registrations_.erase(object);
}

void FakePowerRegistry::sendNotification() {
    for (const auto& [notifier, registration] : registrations_) {
        registration.queue->async([this, notifier, alive = registration.portAlive] {
            // Gone by delivery time: a released registration or a destroyed port.
            const auto found = registrations_.find(notifier);
            if (*alive && found != registrations_.end()) {
                auto callback = found->second.callback;
                callback();
            }
        });
    }
}

}  // namespace mavu::testing
