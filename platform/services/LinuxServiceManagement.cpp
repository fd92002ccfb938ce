#include "platform/services/LinuxServiceManagement.h"

#include <filesystem>
#include <system_error>

#include "platform/services/LoginItemsSettings.h"
#include "platform/services/XdgAutostartService.h"

namespace mavu::services {

namespace {

// The running image, even if its file has been replaced since.
std::string runningExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

}  // namespace

std::string unitNameForPlist(const std::string& plistName) {
    constexpr std::string_view suffix = ".plist";
    std::string base = plistName;
    if (base.size() > suffix.size() && base.ends_with(suffix)) {
        base.resize(base.size() - suffix.size());
    }
    return base + ".service";
}

LinuxServiceManagement::LinuxServiceManagement(dispatch::Dispatch& dispatch, BusConnector connect)
    : dispatch_(dispatch),
      connect_(std::move(connect)),
      worker_(dispatch.makeSerialQueue("service-management")) {}

std::shared_ptr<AppService> LinuxServiceManagement::daemonService(const std::string& plistName) {
    const std::string unit = unitNameForPlist(plistName);
    auto& handle = daemons_[unit];
    if (!handle) {
        handle =
            std::make_shared<SystemdUnitService>(unit, dispatch_.mainQueue(), worker_, connect_);
    }
    return handle;
}

std::shared_ptr<AppService> LinuxServiceManagement::mainAppService() {
    return std::make_shared<XdgAutostartService>(autostartDirectory(), runningExecutable(),
                                                 dispatch_.mainQueue());
}

void LinuxServiceManagement::openSystemSettingsLoginItems() {
    openLoginItemsSettings(autostartDirectory());
}

}  // namespace mavu::services
