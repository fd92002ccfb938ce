#include "platform/hardware/LinuxPowerRegistry.h"

namespace mavu::hardware {

// The watches of one notification port, by notifier. Shared so that a notifier released
// after its port (or a port destroyed before its notifiers) is harmless.
struct LinuxPowerRegistry::PortWatches {
    std::map<RegistryObject, std::unique_ptr<dispatch::ReadableWatch>> byNotifier;
};

class LinuxPowerRegistry::Port final : public RegistryNotificationPort {
  public:
    explicit Port(dispatch::MainQueue& queue)
        : queue(queue), watches(std::make_shared<PortWatches>()) {}

    dispatch::MainQueue& queue;
    std::shared_ptr<PortWatches> watches;
};

LinuxPowerRegistry::LinuxPowerRegistry(std::filesystem::path hardwareRoot, EvdevLidProbe probe)
    : root_(std::move(hardwareRoot)), probe_(std::move(probe)) {}

LinuxPowerRegistry::~LinuxPowerRegistry() = default;

RegistryObject LinuxPowerRegistry::findService(const std::string& name) {
    if (name != kRootPowerDomain) {
        return 0;
    }
    auto lid = findLidSwitch(root_, probe_);
    if (!lid) {
        return 0;
    }
    const RegistryObject object = nextObject_++;
    objects_[object].lid = std::move(lid);
    return object;
}

std::optional<RegistryValue> LinuxPowerRegistry::readProperty(RegistryObject service,
                                                              const std::string& key) {
    const auto found = objects_.find(service);
    if (found == objects_.end() || !found->second.lid || key != kClamshellStateKey) {
        return std::nullopt;
    }
    const auto closed = found->second.lid->closed();
    if (!closed) {
        return std::nullopt;
    }
    return RegistryValue(*closed);
}

std::unique_ptr<RegistryNotificationPort> LinuxPowerRegistry::createNotificationPort(
    dispatch::MainQueue& queue) {
    return std::make_unique<Port>(queue);
}

int LinuxPowerRegistry::addInterestNotification(RegistryNotificationPort& port,
                                                RegistryObject service,
                                                const std::string& interestType,
                                                std::function<void()> onNotification,
                                                RegistryObject& notifier) {
    auto* ours = dynamic_cast<Port*>(&port);
    const auto found = objects_.find(service);
    if (!ours || found == objects_.end() || !found->second.lid ||
        interestType != kGeneralInterest || !onNotification) {
        return kBadArgument;
    }
    std::shared_ptr<LidSwitch> lid = found->second.lid;
    if (lid->changeFd() < 0) {
        return kNoChangeSignal;
    }
    const RegistryObject object = nextObject_++;
    std::weak_ptr<PortWatches> watches = ours->watches;
    auto onReadable = [lid, watches, object, onNotification = std::move(onNotification)] {
        if (!lid->drainChanges()) {
            // The device is gone and its descriptor would report readable for ever.
            if (auto strong = watches.lock()) {
                strong->byNotifier.erase(object);
            }
        }
        onNotification();
    };
    ours->watches->byNotifier[object] =
        ours->queue.watchReadable(lid->changeFd(), std::move(onReadable));
    objects_[object].notifierPort = ours->watches;
    notifier = object;
    return 0;
}

void LinuxPowerRegistry::release(RegistryObject object) {
    const auto found = objects_.find(object);
    if (found == objects_.end()) {
        return;
    }
    if (auto watches = found->second.notifierPort.lock()) {
        watches->byNotifier.erase(object);
    }
    objects_.erase(found);
}

}  // namespace mavu::hardware
