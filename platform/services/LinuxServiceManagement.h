#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/dispatch/Dispatch.h"
#include "platform/services/ServiceManagement.h"
#include "platform/services/SystemdUnitService.h"

namespace mavu::services {

// The daemon as a systemd system unit, the login item as an XDG autostart entry.
class LinuxServiceManagement final : public ServiceManagement {
  public:
    // dispatch must outlive this object; connect reaches the bus systemd listens on.
    explicit LinuxServiceManagement(dispatch::Dispatch& dispatch,
                                    BusConnector connect = systemBusConnector());

    // The unit shares the property list's name: "x.plist" is managed as "x.service". One
    // handle per name, so what a handle remembers lasts as long as the process.
    std::shared_ptr<AppService> daemonService(const std::string& plistName) override;
    // The entry in the autostart folder of the current environment, starting the
    // executable this process runs.
    std::shared_ptr<AppService> mainAppService() override;
    void openSystemSettingsLoginItems() override;

  private:
    dispatch::Dispatch& dispatch_;
    BusConnector connect_;
    // Unit calls block; the background unregister runs here, off the main queue.
    std::shared_ptr<dispatch::Queue> worker_;
    std::map<std::string, std::shared_ptr<AppService>> daemons_;
};

// The unit name for a launchd-style property list name.
std::string unitNameForPlist(const std::string& plistName);

}  // namespace mavu::services
