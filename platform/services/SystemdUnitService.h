#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/services/ServiceManagement.h"

namespace sdbus {
class IConnection;
}

namespace mavu::services {

// Reported when systemd cannot be asked or gives an answer with no meaning here; callers
// treat every value outside 0–3 as unknown.
inline constexpr int kStatusUnknown = 4;

// Opens a fresh connection to the bus systemd listens on; throws sdbus::Error when there
// is none. The default honours DBUS_SYSTEM_BUS_ADDRESS.
using BusConnector = std::function<std::unique_ptr<sdbus::IConnection>()>;
BusConnector systemBusConnector();

// A system unit managed through systemd's D-Bus API. Enabled maps to 1, disabled to 0, a
// unit systemd does not know to 3. Polkit decides who may change it: a refusal is
// reported in kServiceErrorDomain, and from then on the status reads 2 (requires
// approval) until the unit is found enabled, because only an administrator can finish
// what was asked.
//
// Each operation uses a connection of its own, so the blocking calls and the background
// unregister never share one.
class SystemdUnitService final : public AppService {
  public:
    // mainQueue and worker must outlive every unregister still in progress.
    SystemdUnitService(std::string unit, dispatch::MainQueue& mainQueue,
                       std::shared_ptr<dispatch::Queue> worker,
                       BusConnector connect = systemBusConnector());

    int status() override;
    // Enables the unit, then starts it.
    std::optional<ServiceError> registerService() override;
    // Stops the unit, then disables it.
    std::optional<ServiceError> unregisterService() override;
    // Runs on the worker queue; completes on the main queue.
    void unregisterService(std::function<void(std::optional<ServiceError>)> completion) override;

  private:
    struct Core;
    std::shared_ptr<Core> core_;
    dispatch::MainQueue& mainQueue_;
    std::shared_ptr<dispatch::Queue> worker_;
};

}  // namespace mavu::services
