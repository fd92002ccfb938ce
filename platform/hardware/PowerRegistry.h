#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/dispatch/Queue.h"

namespace mavu::hardware {

// Handles into the registry; 0 means none.
using RegistryObject = std::uint32_t;

// A property as the registry stores it: a Boolean, a number, or something else
// (kept as text, for diagnostics only).
using RegistryValue = std::variant<bool, std::int64_t, std::string>;

inline constexpr char kRootPowerDomain[] = "IOPMrootDomain";
inline constexpr char kClamshellStateKey[] = "AppleClamshellState";
inline constexpr char kGeneralInterest[] = "IOGeneralInterest";

// Delivers interest notifications on the queue it was attached to; destroying it stops
// every delivery through it.
class RegistryNotificationPort {
  public:
    virtual ~RegistryNotificationPort() = default;
};

// The power-management registry: named services with properties, and change
// notifications for a service.
class PowerRegistry {
  public:
    virtual ~PowerRegistry() = default;

    // The service with this name, or 0 when there is none. The caller releases it.
    virtual RegistryObject findService(const std::string& name) = 0;
    // The property, or nothing when the service does not have it.
    virtual std::optional<RegistryValue> readProperty(RegistryObject service,
                                                      const std::string& key) = 0;
    // A port attached to queue, or null when none can be made.
    virtual std::unique_ptr<RegistryNotificationPort> createNotificationPort(
        dispatch::MainQueue& queue) = 0;
    // Registers onNotification for interestType messages of service, delivered through
    // port. Returns 0 and sets notifier on success, or a non-zero code.
    virtual int addInterestNotification(RegistryNotificationPort& port, RegistryObject service,
                                        const std::string& interestType,
                                        std::function<void()> onNotification,
                                        RegistryObject& notifier) = 0;
    virtual void release(RegistryObject object) = 0;
};

}  // namespace mavu::hardware
